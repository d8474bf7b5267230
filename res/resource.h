// Resource IDs. Dialog control IDs are grouped per template.
#ifndef TARV_RESOURCE_H
#define TARV_RESOURCE_H

#define IDI_SETUP               500

// Replace confirmation
#define IDD_REPLACE             600
#define IDC_REPLACE_ICON        1007
#define IDC_FILE_NAME           1008
#define IDC_OLD_SIZE            1009
#define IDC_OLD_TIME            1010
#define IDC_NEW_SIZE            1011
#define IDC_NEW_TIME            1012
#define IDC_REPLACE_YES         1013
#define IDC_REPLACE_NO          1014

// Copy progress (shares IDC_FILE_NAME)
#define IDD_COPY                602
#define IDC_COPY_FROM           1015
#define IDC_COPY_TO             1016
#define IDC_COPY_PROGRESS       1017

// Completion
#define IDD_COMPLETE            604

// Port selection
#define IDD_PORT                608
#define IDC_PORT_LIST           1018

// Message catalogue
#define IDS_APP_TITLE           1
#define IDS_USAGE_CAPTION       5
#define IDS_USAGE_TEXT          7
#define IDS_CONFIRM_COMPLETE_SETUP     9
#define IDS_CONFIRM_COMPLETE_DELETION  11
#define IDS_DELETION_TITLE      13
#define IDS_CONFIRM_SIMPLE_DELETION    17
#define IDS_CONFIRM_SIMPLE_SETUP       19
#define IDS_COPY_INSTALL        21
#define IDS_COPY_BACKUP         23
#define IDS_BACKUP_FAILED       25
#define IDS_COPY_FAILED         27
#define IDS_SETUP_FAILURE       100
#define IDS_NO_CLASS            102
#define IDS_NO_WINDOW           104
#define IDS_NO_MEMORY           106
#define IDS_NO_VERSION          108
#define IDS_UNSUPPORTED         110
#define IDS_UNKNOWN_VERSION     112
#define IDS_NO_FOLDERS          114
#define IDS_FACTS_UNKNOWN       116
#define IDS_INVALID_DATA        118
#define IDS_SOURCE_OPEN         120
#define IDS_TARGET_CREATE       122
#define IDS_READ_FAILED         124
#define IDS_WRITE_FAILED        126
#define IDS_DRIVER_FAILED       128
#define IDS_PRINTER_FAILED      132
#define IDS_DELETE_STEP1        142
#define IDS_DELETE_STEP2        144
#define IDS_DRIVER_DELETE       148
#define IDS_FILE_NOT_DELETED    150
#define IDS_FORM_NOT_DELETED    158
#define IDS_DELETION_FAILURE    160
#define IDS_PATH_TOO_LONG       162
#define IDS_DLL_MISSING         164
#define IDS_FUNCTION_MISSING    166
#define IDS_LOG_NOT_OPENED      168
#define IDS_ALREADY_RUNNING     170
#define IDS_RESTART_NEEDED      172
#define IDS_SERVICE_NOT_REMOVED 174
#define IDS_VERIFY_TITLE        176
#define IDS_VERIFY_SAME         178
#define IDS_VERIFY_NOT_INSTALLED 180
#define IDS_VERIFY_DIFFERS      182
#define IDS_VERIFY_FAILED       184
#define IDS_UNDO_PENDING        186

#endif

// English texts of the file copy's reports and questions, as the tests of
// deployment and installation expect them.
#ifndef TARV_E2E_COPY_MESSAGES_H
#define TARV_E2E_COPY_MESSAGES_H

namespace e2e {

inline constexpr char kBackupFailed[] =
    "Backup copy has failed.\r\nThis failure will not disturb next setup steps.\r\n\r\nDo you want to continue?";
inline constexpr char kCopyFailed[] =
    "The file has not been copied on the target folder.\r\nThis can disturb next setup steps.\r\n\r\n"
    "Do you want to continue?";
inline constexpr char kSourceOpen[] = "Cannot copy : source file can't be opened...";
inline constexpr char kTargetCreate[] = "Cannot copy : target file can't be created...";
inline constexpr char kReadFailed[] = "Cannot copy : failure while reading data...";
inline constexpr char kWriteFailed[] = "Cannot copy : failure while writing data...";
inline constexpr char kPathTooLong[] = "Cannot copy : a path of this file is too long...";

}  // namespace e2e

#endif

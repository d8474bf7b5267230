# Portable logic: no <windows.h>; built into Setup.exe and into the host unit tests.
set(LOGIC_SOURCES
  app/switches.cpp
  app/text.cpp
  app/descriptor.cpp
  app/unattended.cpp
  catalog/catalog.cpp
  deploy/names.cpp
  install/journal_records.cpp
  install/port_line.cpp
  install/records.cpp
  remove/datafile.cpp
  remove/purge_names.cpp
)

# Win32 front end.
set(WIN32_SOURCES
  app/accounts.cpp
  app/cmdline.cpp
  app/confirm.cpp
  app/lead_byte.cpp
  app/log.cpp
  app/log_file.cpp
  app/main.cpp
  app/media_rights.cpp
  app/messages.cpp
  app/run_lock.cpp
  app/state_folder.cpp
  app/system_dlls.cpp
  app/unique_name.cpp
  app/whole_file.cpp
  catalog/folders.cpp
  catalog/version_folders.cpp
  deploy/copy_dialog.cpp
  deploy/deploy.cpp
  deploy/file_copy.cpp
  deploy/replace_dialog.cpp
  install/completion_dialog.cpp
  install/install.cpp
  install/journal.cpp
  install/journal_copies.cpp
  install/journal_end.cpp
  install/kernel_service.cpp
  install/model_inf.cpp
  install/port_dialog.cpp
  install/ports.cpp
  install/preflight.cpp
  install/spooler.cpp
  install/undo.cpp
  install/verify.cpp
  remove/purge.cpp
  remove/purge_inf.cpp
  remove/purge_service.cpp
  remove/remove.cpp
  remove/spooler.cpp
)

# Start-up code and memory helpers of a program linked without a C runtime
# (MinGW builds; an MSVC build keeps its own runtime's).
set(NO_CRT_SOURCES
  app/entry.cpp
  app/runtime.cpp
)

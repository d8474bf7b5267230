# Portable logic: no <windows.h>; built into Setup.exe and into the host unit
# tests. Each list goes from the top layer down (docs/layers.md).
set(LOGIC_SOURCES
  app/switches.cpp
  install/port_line.cpp
  remove/datafile.cpp
  undo/journal_records.cpp
  run/unattended.cpp
  catalog/catalog.cpp
  catalog/names.cpp
  catalog/product_names.cpp
  catalog/records.cpp
  base/descriptor.cpp
  base/paths.cpp
  base/text.cpp
)

# Win32 front end.
set(WIN32_SOURCES
  app/cmdline.cpp
  app/confirm.cpp
  app/main.cpp
  install/completion_dialog.cpp
  install/install.cpp
  install/kernel_service.cpp
  install/port_dialog.cpp
  install/ports.cpp
  install/spooler.cpp
  remove/purge.cpp
  remove/purge_file.cpp
  remove/purge_inf.cpp
  remove/purge_service.cpp
  remove/remove.cpp
  remove/spooler.cpp
  check/media_rights.cpp
  check/preflight.cpp
  check/verify.cpp
  deploy/copy_dialog.cpp
  deploy/deploy.cpp
  deploy/file_copy.cpp
  deploy/replace_dialog.cpp
  undo/journal.cpp
  undo/journal_copies.cpp
  undo/journal_end.cpp
  undo/undo.cpp
  machine/folders.cpp
  machine/kernel_service.cpp
  machine/model_inf.cpp
  machine/pending.cpp
  machine/spooler_lists.cpp
  machine/version_folders.cpp
  run/log.cpp
  run/log_file.cpp
  run/log_open.cpp
  run/messages.cpp
  run/run_lock.cpp
  base/accounts.cpp
  base/lead_byte.cpp
  base/state_folder.cpp
  base/system_dlls.cpp
  base/unique_name.cpp
  base/whole_file.cpp
)

# Start-up code and memory helpers of a program linked without a C runtime
# (MinGW builds, cmake/win32.cmake: app/entry.cpp and base/runtime.cpp; an
# MSVC build keeps its own runtime's).

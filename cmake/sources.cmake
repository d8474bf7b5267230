# Portable logic: no <windows.h>; built into Setup.exe and into the host unit tests.
set(LOGIC_SOURCES
  app/switches.cpp
  app/text.cpp
  catalog/catalog.cpp
  deploy/names.cpp
  install/port_line.cpp
  install/records.cpp
  remove/datafile.cpp
)

# Win32 front end.
set(WIN32_SOURCES
  app/cmdline.cpp
  app/confirm.cpp
  app/main.cpp
  app/messages.cpp
  app/system_dlls.cpp
  catalog/folders.cpp
  deploy/copy_dialog.cpp
  deploy/deploy.cpp
  deploy/replace_dialog.cpp
  install/completion_dialog.cpp
  install/install.cpp
  install/kernel_service.cpp
  install/port_dialog.cpp
  install/spooler.cpp
  remove/remove.cpp
  remove/spooler.cpp
)

# Portable logic: no <windows.h>; built into Setup.exe and into the host unit tests.
set(LOGIC_SOURCES
  app/switches.cpp
  app/text.cpp
  catalog/catalog.cpp
  deploy/names.cpp
  remove/datafile.cpp
)

# Win32 front end.
set(WIN32_SOURCES
  app/cmdline.cpp
  app/confirm.cpp
  app/main.cpp
  app/messages.cpp
  catalog/folders.cpp
  deploy/copy_dialog.cpp
  deploy/deploy.cpp
  deploy/replace_dialog.cpp
  install/install.cpp
  remove/remove.cpp
  remove/spooler.cpp
)

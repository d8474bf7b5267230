# Portable logic: no <windows.h>; built into Setup.exe and into the host unit tests.
set(LOGIC_SOURCES
  app/switches.cpp
  app/text.cpp
  catalog/catalog.cpp
)

# Win32 front end.
set(WIN32_SOURCES
  app/cmdline.cpp
  app/confirm.cpp
  app/main.cpp
  app/messages.cpp
  catalog/folders.cpp
  install/install.cpp
  remove/remove.cpp
)

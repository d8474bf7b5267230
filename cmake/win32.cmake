# Windows build: Setup.exe, the test tools and the sample media.
enable_language(RC)
set(CMAKE_CXX_STANDARD 11)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(MINGW)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c65001")
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-format-nonliteral
                      -Os -ffunction-sections -fdata-sections
                      -fno-asynchronous-unwind-tables
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
  # Static runtime: only system DLLs may be imported.
  set(TARV_STATIC_LINK -static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s)
endif()

add_executable(Setup WIN32 ${LOGIC_SOURCES} ${WIN32_SOURCES} res/setup.rc)
target_include_directories(Setup PRIVATE ${CMAKE_SOURCE_DIR})
# winspool.drv and comctl32.dll are not known DLLs: they are bound at first use,
# after start-up has made sure they come from the system folder, never from the
# media or the working folder.
if(MINGW)
  set(TARV_DELAY_LIBS)
  foreach(lib winspool comctl32)
    file(READ ${CMAKE_SOURCE_DIR}/cmake/delay/${lib}.def def_text)
    if(NOT MINGW_ARCH STREQUAL "i686")
      string(REGEX REPLACE "@[0-9]+" "" def_text "${def_text}")
    endif()
    file(WRITE ${CMAKE_BINARY_DIR}/delay/${lib}.def "${def_text}")
    string(REGEX MATCH "LIBRARY ([^\n]+)" _ "${def_text}")
    set(dll_name ${CMAKE_MATCH_1})
    set(delay_lib ${CMAKE_BINARY_DIR}/delay/lib${lib}_delay.a)
    add_custom_command(OUTPUT ${delay_lib}
      COMMAND ${MINGW_ARCH}-w64-mingw32-dlltool --input-def ${CMAKE_BINARY_DIR}/delay/${lib}.def
              --dllname ${dll_name} --output-delaylib ${delay_lib} $<$<STREQUAL:${MINGW_ARCH},i686>:--kill-at>
      DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delay/${lib}.def)
    list(APPEND TARV_DELAY_LIBS ${delay_lib})
  endforeach()
  add_custom_target(delay_libs DEPENDS ${TARV_DELAY_LIBS})
  add_dependencies(Setup delay_libs)
  target_link_libraries(Setup PRIVATE ${TARV_STATIC_LINK} ${TARV_DELAY_LIBS} advapi32 user32 gdi32 kernel32)
else()
  target_link_libraries(Setup PRIVATE comctl32 winspool advapi32 user32 gdi32 kernel32 delayimp)
  target_link_options(Setup PRIVATE /DELAYLOAD:winspool.drv /DELAYLOAD:comctl32.dll)
endif()
if(MINGW)
  # The system C runtime's formatting is enough (and keeps the program small).
  target_compile_definitions(Setup PRIVATE __USE_MINGW_ANSI_STDIO=0)
endif()

file(GLOB TARV_TOOL_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*)
foreach(dir ${TARV_TOOL_DIRS})
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
if(EXISTS ${CMAKE_SOURCE_DIR}/media/CMakeLists.txt)
  add_subdirectory(media)
endif()

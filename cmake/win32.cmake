# Windows build: Setup.exe, the test tools and the sample media.
enable_language(RC)
set(CMAKE_CXX_STANDARD 11)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(MINGW)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c65001")
  # No -fdata-sections: MinGW then places zero-filled variables in .data
  # sections that take their full size in the file, instead of in .bss.
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-format-nonliteral
                      -Os -ffunction-sections -fno-asynchronous-unwind-tables
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
  # Static runtime: only system DLLs may be imported. A linker warning (an entry
  # symbol not found, say) fails the build instead of yielding a broken image.
  set(TARV_STATIC_LINK -static -static-libgcc -static-libstdc++ -Wl,--gc-sections -Wl,--fatal-warnings -s)
endif()

# Reproducible images: GNU ld takes the PE time stamp from SOURCE_DATE_EPOCH,
# which the host build sets to the commit's time (or the one it was given).
set(TARV_LINK_ENV)
if(TARV_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  set(TARV_LINK_ENV ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TARV_SOURCE_DATE_EPOCH})
  set(CMAKE_C_LINKER_LAUNCHER ${TARV_LINK_ENV})
  set(CMAKE_CXX_LINKER_LAUNCHER ${TARV_LINK_ENV})
endif()

configure_file(res/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h @ONLY)
if(MINGW)
  # One translation unit, compiled as the whole program: the compiler makes
  # every function but the entry point local, inlines and drops across files
  # as link-time optimisation would (binutils 2.40's ld crashes with the LTO
  # plugin on this link). The start-up code's memory helpers stay apart: the
  # compiler itself calls them.
  set(TARV_WHOLE_PROGRAM ${CMAKE_BINARY_DIR}/generated/whole_program.cpp)
  set(whole "// Generated from cmake/sources.cmake: Setup.exe as one translation unit.\n")
  foreach(source ${LOGIC_SOURCES} ${WIN32_SOURCES} app/entry.cpp)
    string(APPEND whole "#include \"${source}\"\n")
  endforeach()
  file(CONFIGURE OUTPUT ${TARV_WHOLE_PROGRAM} CONTENT "${whole}")
  # Smallest code: a step called once stays a call rather than a copy in
  # its caller's frame; on i686 the stack keeps the 4-byte alignment the
  # Win32 ABI gives, instead of realigning to 16 in every caller.
  set(whole_options -fwhole-program -Oz -fno-inline-functions-called-once)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    list(APPEND whole_options -mpreferred-stack-boundary=2)
  endif()
  set_source_files_properties(${TARV_WHOLE_PROGRAM} PROPERTIES COMPILE_OPTIONS "${whole_options}")
  add_executable(Setup WIN32 ${TARV_WHOLE_PROGRAM} res/setup.rc)
else()
  add_executable(Setup WIN32 ${LOGIC_SOURCES} ${WIN32_SOURCES} res/setup.rc)
endif()
target_include_directories(Setup PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
# Signed right after each link, before anything packages it.
function(tarv_sign_after_link target)
  if(TARV_SIGN_PFX)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${TARV_LINK_ENV} ${CMAKE_SOURCE_DIR}/package/sign.sh $<TARGET_FILE:${target}> ${TARV_SIGN_PFX}
              ${TARV_SIGN_PASSWORD_FILE} ${TARV_SIGN_TIMESTAMP_URL}
      VERBATIM)
  endif()
endfunction()
tarv_sign_after_link(Setup)
# For the benchmark only, never shipped: a quiet setup without its checks and
# undo journal, to measure what they cost.
option(TARV_MEASURE_WITHOUT_UNDO "Build Setup.exe without the quiet setup's checks and undo journal (benchmark)" OFF)
if(TARV_MEASURE_WITHOUT_UNDO)
  target_compile_definitions(Setup PRIVATE TARV_MEASURE_WITHOUT_UNDO)
endif()
# winspool.drv, comctl32.dll and SetupApi.DLL are bound at run time from the
# system folder (base/system_dlls.cpp): nothing here links them.
if(MINGW)
  # No C runtime: its DLL is missing on the oldest systems the program must
  # start on. The entry point and the memory helpers are the program's own;
  # libgcc, a static library, supplies the helpers the compiler may call
  # (stack probes, 64-bit arithmetic on i686).
  target_sources(Setup PRIVATE base/runtime.cpp)
  set_source_files_properties(base/runtime.cpp PROPERTIES
                              COMPILE_OPTIONS "-fno-builtin;-fno-tree-loop-distribute-patterns")
  # Header fields every platform of the catalogue loads: subsystem version
  # 3.10 (Windows NT 3.51 refuses anything newer than itself), relocations
  # kept for Win32s, 4 KiB sections and the 4 MiB base of the linker defaults.
  target_link_options(Setup PRIVATE -nostdlib -Wl,--subsystem,windows:3.10
                      -Wl,--major-os-version,3 -Wl,--minor-os-version,10
                      -Wl,--gc-sections -Wl,--fatal-warnings -s)
  target_link_libraries(Setup PRIVATE advapi32 user32 gdi32 kernel32 gcc)
else()
  target_link_libraries(Setup PRIVATE advapi32 user32 gdi32 kernel32)
endif()

# The package's custom-action DLL, beside the media and never in them: it
# lives only in the package.
# It trusts a kept copy of Setup.exe the way Setup.exe trusts its state folder.
add_library(TarvCA SHARED package/ca/tarv_ca.cpp base/accounts.cpp base/descriptor.cpp)
target_include_directories(TarvCA PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(TarvCA PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/package)
if(MINGW)
  # Exported as "RunSetup", the name the CustomAction table gives, not "RunSetup@4".
  target_link_libraries(TarvCA PRIVATE ${TARV_STATIC_LINK} -Wl,--kill-at msi advapi32 user32 kernel32)
else()
  target_sources(TarvCA PRIVATE package/ca/tarv_ca.def)
  target_link_libraries(TarvCA PRIVATE msi advapi32 user32 kernel32)
endif()
tarv_sign_after_link(TarvCA)

if(EXISTS ${CMAKE_SOURCE_DIR}/media/CMakeLists.txt)
  add_subdirectory(media)
endif()

# Test tools go to a folder of their own, away from Setup.exe and its media,
# so that nothing meant for the tests is shipped with the product.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-tools)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-tools)
file(GLOB TARV_TOOL_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*)
foreach(dir ${TARV_TOOL_DIRS})
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

# Host build: unit tests of the portable logic, the Windows programs built with
# the cross toolchain, and the end-to-end tests that run them under Wine.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
include(ExternalProject)

option(TARV_SANITIZE "Build the host unit tests with ASan and UBSan" OFF)
option(TARV_HOST_ONLY "Build and test the portable logic only (no Windows programs, no Wine)" OFF)
option(TARV_FUZZ "Build the libFuzzer target (clang) and a short fuzzing test" OFF)

# Unit tests.
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
set(TEST_SUPPORT_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/catalogue.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES} ${TEST_SUPPORT_SOURCES} ${LOGIC_SOURCES})
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(unit_tests PRIVATE TARV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(unit_tests PRIVATE GTest::gtest GTest::gtest_main)
if(TARV_SANITIZE)
  target_compile_options(unit_tests PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all)
  target_link_options(unit_tests PRIVATE -fsanitize=address,undefined)
endif()
gtest_discover_tests(unit_tests TEST_PREFIX "unit.")
# The folders call only down, and no files in a circle (docs/layers.md); the
# check itself fails on a tree that breaks either rule.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layers.FoldersCallOnlyDownAndNoFilesInACircle
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check-layers.py ${CMAKE_SOURCE_DIR})
add_test(NAME layers.TheCheckFailsOnAnUpwardIncludeAndOnACircle
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check-layers.py --self-test)

if(TARV_FUZZ)
  add_executable(fuzz_logic ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_logic.cpp ${TEST_SUPPORT_SOURCES} ${LOGIC_SOURCES})
  target_include_directories(fuzz_logic PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(fuzz_logic PRIVATE TARV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  # It compares the formatter with snprintf over the catalogue's formats.
  target_compile_options(fuzz_logic PRIVATE -Wno-format-security)
  target_compile_options(fuzz_logic PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(fuzz_logic PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME fuzz.logic_smoke COMMAND fuzz_logic -runs=300000 -seed=1 -max_len=2048)
  # The undo journal's reader: real journals cut and bit-flipped first, then
  # a million inputs.
  add_executable(fuzz_journal ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_journal.cpp ${LOGIC_SOURCES})
  target_include_directories(fuzz_journal PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(fuzz_journal PRIVATE TARV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_compile_options(fuzz_journal PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(fuzz_journal PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME fuzz.journal COMMAND fuzz_journal -runs=1000000 -seed=1 -max_len=4096)
endif()

if(TARV_HOST_ONLY)
  return()
endif()

# The product is 32-bit. End-to-end tests run the same sources built for the
# architecture Wine can execute here: a kernel without 32-bit support only
# runs wine64, so the tests then use an x86_64 twin of every program.
if(NOT TARV_E2E_ARCH)
  execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE wine32_result
                  OUTPUT_QUIET ERROR_QUIET)
  if(wine32_result EQUAL 0)
    set(TARV_E2E_ARCH i686)
  else()
    set(TARV_E2E_ARCH x86_64)
  endif()
endif()
set(TARV_E2E_ARCH ${TARV_E2E_ARCH} CACHE STRING "Architecture of the programs run under Wine (i686 or x86_64)")
message(STATUS "End-to-end tests run ${TARV_E2E_ARCH} programs under Wine")

# One time for everything built from these sources (PE time stamps, the
# package): SOURCE_DATE_EPOCH, or the time of the last commit, so that the same
# commit builds the same files anywhere.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TARV_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE TARV_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # A new commit configures again, and takes its time.
  if(EXISTS ${CMAKE_SOURCE_DIR}/.git/logs/HEAD)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/.git/logs/HEAD)
  endif()
endif()
if(TARV_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "Build time of the images and the package: ${TARV_SOURCE_DATE_EPOCH} (SOURCE_DATE_EPOCH)")
else()
  message(STATUS "No SOURCE_DATE_EPOCH and no commit time: the images carry the time they are linked")
  set(TARV_SOURCE_DATE_EPOCH "")
endif()

# Signing: Setup.exe before it is packaged, then the package (package/sign.sh).
set(TARV_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file (certificate and key) that signs Setup.exe and the package")
set(TARV_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of TARV_SIGN_PFX")
set(TARV_SIGN_TIMESTAMP_URL "" CACHE STRING "Timestamp server for the signatures (optional; needs the network)")
if(TARV_SIGN_PFX)
  if(NOT TARV_SIGN_PASSWORD_FILE)
    message(FATAL_ERROR "TARV_SIGN_PFX needs TARV_SIGN_PASSWORD_FILE, the file holding its password")
  endif()
  find_program(TARV_OSSLSIGNCODE osslsigncode REQUIRED)
  message(STATUS "Signed build: Setup.exe and the package are signed with ${TARV_SIGN_PFX}")
else()
  message(STATUS "Unsigned build: -DTARV_SIGN_PFX= and -DTARV_SIGN_PASSWORD_FILE= sign Setup.exe and the package")
endif()

# The cross build reads the password file and the timestamp server only when
# it signs: they are passed only then, or CMake warns that they went unused.
set(TARV_SIGN_ARGS -DTARV_SIGN_PFX=${TARV_SIGN_PFX})
if(TARV_SIGN_PFX)
  list(APPEND TARV_SIGN_ARGS -DTARV_SIGN_PASSWORD_FILE=${TARV_SIGN_PASSWORD_FILE}
                             -DTARV_SIGN_TIMESTAMP_URL=${TARV_SIGN_TIMESTAMP_URL})
endif()

function(tarv_cross_build arch)
  ExternalProject_Add(win32-${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${arch}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw.cmake
               -DMINGW_ARCH=${arch} -DCMAKE_BUILD_TYPE=MinSizeRel
               -DTARV_SOURCE_DATE_EPOCH=${TARV_SOURCE_DATE_EPOCH}
               ${TARV_SIGN_ARGS}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endfunction()

tarv_cross_build(i686)
if(NOT TARV_E2E_ARCH STREQUAL "i686")
  tarv_cross_build(${TARV_E2E_ARCH})
endif()

# A test program that reads or runs the cross-built programs: it is built
# after them and knows where they are.
function(tarv_built_program_test target)
  add_executable(${target} ${ARGN} ${TEST_SUPPORT_SOURCES})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main)
  target_compile_definitions(${target} PRIVATE
    TARV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TARV_BUILD_DIR="${CMAKE_BINARY_DIR}"
    TARV_E2E_ARCH="${TARV_E2E_ARCH}")
  add_dependencies(${target} win32-i686)
  if(NOT TARV_E2E_ARCH STREQUAL "i686")
    add_dependencies(${target} win32-${TARV_E2E_ARCH})
  endif()
endfunction()

# Checks of the built images, read from the files: they need no Wine and run
# on every machine, whatever architecture Wine can execute.
find_program(TARV_OBJDUMP_I686 i686-w64-mingw32-objdump REQUIRED)
find_program(TARV_OBJDUMP_X86_64 x86_64-w64-mingw32-objdump REQUIRED)
file(GLOB IMAGE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/image/*.cpp)
tarv_built_program_test(image_tests ${IMAGE_TEST_SOURCES})
target_compile_definitions(image_tests PRIVATE
  TARV_OBJDUMP_I686="${TARV_OBJDUMP_I686}"
  TARV_OBJDUMP_X86_64="${TARV_OBJDUMP_X86_64}")
gtest_discover_tests(image_tests TEST_PREFIX "image." DISCOVERY_TIMEOUT 30)

# End-to-end tests under Wine; they share one Wine prefix, so they run one at a time.
file(GLOB E2E_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
tarv_built_program_test(e2e_tests ${E2E_TEST_SOURCES})
target_compile_definitions(e2e_tests PRIVATE
  TARV_WIN_BIN="${CMAKE_BINARY_DIR}/${TARV_E2E_ARCH}/bin"
  TARV_TOOLS_BIN="${CMAKE_BINARY_DIR}/${TARV_E2E_ARCH}/test-tools")
# The test names carry the architecture of the programs they ran.
gtest_discover_tests(e2e_tests TEST_PREFIX "e2e.${TARV_E2E_ARCH}." DISCOVERY_TIMEOUT 30
                     PROPERTIES RESOURCE_LOCK wineprefix TIMEOUT 300 FIXTURES_REQUIRED wine_runs)
# After every test that runs Wine: none of them wrote or read a Windows path
# as a Unix one (a folder named "C:\windows\..." in the build folder).
add_test(NAME e2e.${TARV_E2E_ARCH}.NoWindowsPathWasUsedAsAUnixPath
         COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/windows_paths.sh ${CMAKE_BINARY_DIR})
set_tests_properties(e2e.${TARV_E2E_ARCH}.NoWindowsPathWasUsedAsAUnixPath PROPERTIES FIXTURES_CLEANUP wine_runs)
# The check of the signing test, on what osslsigncode 2.5 and 2.9 print.
add_test(NAME release.SignatureCheckReadsTheOutputOfOsslsigncode2.5And2.9
         COMMAND ${CMAKE_SOURCE_DIR}/tests/release/signatures_test.sh)
include(cmake/package.cmake)

# The Windows Installer package of the product, build/i686/Tarv.msi: the
# whole media of build/i686/bin, beside it rather than in it, since bin holds
# what the distribution media holds and nothing else. package/build-msi.sh
# makes it with wixl and msitools; without them the build goes on without it.
# Where the end-to-end tests run the x86_64 twin, the same script makes
# build/x86_64/Tarv.msi of the twin's media (an x64 package) for the package
# tests; the shipped package is still the i686 one, built on every machine.
# Made by the host build, so that TARV_MSI_PORT is set where the build is
# configured (cmake -S . -B build -DTARV_MSI_PORT=COM2:).
set(TARV_MSI_PORT "LPT1:" CACHE STRING "Default of the package's PORT property: the port of the new queue")
# The package tests read these; an empty TARV_MSI tells them none was built.
target_compile_definitions(e2e_tests PRIVATE TARV_PRODUCT_VERSION="${PROJECT_VERSION}"
                           TARV_MSI_PORT="${TARV_MSI_PORT}")

find_program(TARV_WIXL wixl)
find_program(TARV_WIXL_HEAT wixl-heat)
find_program(TARV_MSIBUILD msibuild)
find_program(TARV_MSIINFO msiinfo)
if(NOT TARV_WIXL OR NOT TARV_WIXL_HEAT OR NOT TARV_MSIBUILD OR NOT TARV_MSIINFO)
  message(STATUS "No Windows Installer package: wixl, wixl-heat, msibuild or msiinfo not found "
                 "(Debian packages wixl and msitools)")
  target_compile_definitions(e2e_tests PRIVATE TARV_MSI="")
  return()
endif()

# The media are built by the cross builds, so their files are named here from
# the sources. The settings file changes only with the settings, and rebuilds
# the packages when they do.
file(GLOB_RECURSE TARV_MEDIA_FILES CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/media/drivers
     ${CMAKE_SOURCE_DIR}/media/drivers/*)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/settings.txt
     CONTENT "version ${PROJECT_VERSION}\nport ${TARV_MSI_PORT}\ntime ${TARV_SOURCE_DATE_EPOCH}\nsigned with ${TARV_SIGN_PFX}\n")
set(TARV_MSI_ENV)
if(TARV_SOURCE_DATE_EPOCH)
  set(TARV_MSI_ENV ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TARV_SOURCE_DATE_EPOCH})
endif()

# The package of one cross build's media, build/ARCH/Tarv.msi.
function(tarv_package arch)
  set(bin ${CMAKE_BINARY_DIR}/${arch}/bin)
  set(msi ${CMAKE_BINARY_DIR}/${arch}/Tarv.msi)
  set(ca ${CMAKE_BINARY_DIR}/${arch}/package/TarvCA.dll)
  set(commands COMMAND ${TARV_MSI_ENV} ${CMAKE_SOURCE_DIR}/package/build-msi.sh ${PROJECT_VERSION} ${TARV_MSI_PORT}
                       ${bin} ${ca} ${msi})
  if(TARV_SIGN_PFX)
    list(APPEND commands COMMAND ${TARV_MSI_ENV} ${CMAKE_SOURCE_DIR}/package/sign.sh ${msi} ${TARV_SIGN_PFX}
                                 ${TARV_SIGN_PASSWORD_FILE} ${TARV_SIGN_TIMESTAMP_URL})
  endif()
  set(media ${TARV_MEDIA_FILES})
  list(TRANSFORM media PREPEND ${bin}/drivers/)
  add_custom_command(OUTPUT ${msi}
    ${commands}
    DEPENDS ${bin}/Setup.exe ${media} ${bin}/drivers/Commun/hwbridge.sys ${ca}
            ${CMAKE_SOURCE_DIR}/package/build-msi.sh ${CMAKE_SOURCE_DIR}/package/tarv.wxs
            ${CMAKE_SOURCE_DIR}/package/sign.sh
            ${CMAKE_BINARY_DIR}/package/settings.txt
    VERBATIM)
  add_custom_target(tarv_msi_${arch} ALL DEPENDS ${msi})
  add_dependencies(tarv_msi_${arch} win32-${arch})
  add_dependencies(e2e_tests tarv_msi_${arch})  # the package tests install it
endfunction()

tarv_package(i686)
if(NOT TARV_E2E_ARCH STREQUAL "i686")
  tarv_package(${TARV_E2E_ARCH})
endif()
set(TARV_MSI ${CMAKE_BINARY_DIR}/${TARV_E2E_ARCH}/Tarv.msi)
message(STATUS "Windows Installer package: ${CMAKE_BINARY_DIR}/i686/Tarv.msi, version ${PROJECT_VERSION}, "
               "default port ${TARV_MSI_PORT}; the package tests install ${TARV_MSI}")
target_compile_definitions(e2e_tests PRIVATE TARV_MSI="${TARV_MSI}")

# The same commit built twice, in two folders, gives the same files. It builds
# alone: two more cross builds would slow the timed end-to-end tests.
if(TARV_SOURCE_DATE_EPOCH)
  add_test(NAME release.ImagesAndPackageAreReproducible
           COMMAND ${CMAKE_SOURCE_DIR}/tests/release/reproducible.sh ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR}/reproducible ${TARV_SOURCE_DATE_EPOCH} ${PROJECT_VERSION} ${TARV_MSI_PORT})
  set_tests_properties(release.ImagesAndPackageAreReproducible PROPERTIES RUN_SERIAL ON TIMEOUT 900)
endif()

# A build signed with a throwaway certificate: the signatures verify, and the
# signed files pass the image checks, run and install under Wine.
find_program(TARV_OPENSSL openssl)
find_program(TARV_OSSLSIGNCODE_FOUND osslsigncode)
if(TARV_SOURCE_DATE_EPOCH AND TARV_OPENSSL AND TARV_OSSLSIGNCODE_FOUND)
  add_test(NAME release.SignedImageAndPackageVerifyRunAndInstall
           COMMAND ${CMAKE_SOURCE_DIR}/tests/release/signed.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
                   ${CMAKE_BINARY_DIR}/signed ${TARV_E2E_ARCH} ${TARV_SOURCE_DATE_EPOCH} ${PROJECT_VERSION}
                   ${TARV_MSI_PORT})
  set_tests_properties(release.SignedImageAndPackageVerifyRunAndInstall PROPERTIES RUN_SERIAL ON TIMEOUT 900
                       FIXTURES_REQUIRED wine_runs)
else()
  message(STATUS "No signing test: openssl or osslsigncode not found (Debian packages openssl, osslsigncode)")
endif()


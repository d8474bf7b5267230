# The Windows Installer package of the product, build/i686/Tarv.msi: the
# whole media of build/i686/bin, beside it rather than in it, since bin holds
# what the distribution media holds and nothing else. package/build-msi.sh
# makes it with wixl and msitools; without them the build goes on without it.
# Made by the host build, so that TARV_MSI_PORT is set where the build is
# configured (cmake -S . -B build -DTARV_MSI_PORT=COM2:).
set(TARV_MSI_PORT "LPT1:" CACHE STRING "Default of the package's PORT property: the port of the new queue")
set(TARV_MSI ${CMAKE_BINARY_DIR}/i686/Tarv.msi)
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
message(STATUS "Windows Installer package: ${TARV_MSI}, version ${PROJECT_VERSION}, default port ${TARV_MSI_PORT}")
target_compile_definitions(e2e_tests PRIVATE TARV_MSI="${TARV_MSI}")

# The media are built by the i686 cross build, so their files are named here
# from the sources. The settings file changes only with the settings, and
# rebuilds the package when they do.
file(GLOB_RECURSE TARV_MEDIA_FILES CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/media/drivers
     ${CMAKE_SOURCE_DIR}/media/drivers/*)
list(TRANSFORM TARV_MEDIA_FILES PREPEND ${CMAKE_BINARY_DIR}/i686/bin/drivers/)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/settings.txt
     CONTENT "version ${PROJECT_VERSION}\nport ${TARV_MSI_PORT}\n")
add_custom_command(OUTPUT ${TARV_MSI}
  COMMAND ${CMAKE_SOURCE_DIR}/package/build-msi.sh ${PROJECT_VERSION} ${TARV_MSI_PORT}
          ${CMAKE_BINARY_DIR}/i686/bin ${TARV_MSI}
  DEPENDS ${CMAKE_BINARY_DIR}/i686/bin/Setup.exe ${TARV_MEDIA_FILES}
          ${CMAKE_BINARY_DIR}/i686/bin/drivers/Commun/hwbridge.sys
          ${CMAKE_SOURCE_DIR}/package/build-msi.sh ${CMAKE_SOURCE_DIR}/package/tarv.wxs
          ${CMAKE_BINARY_DIR}/package/settings.txt
  VERBATIM)
add_custom_target(tarv_msi ALL DEPENDS ${TARV_MSI})
add_dependencies(tarv_msi win32-i686)
add_dependencies(e2e_tests tarv_msi)  # the package tests install it

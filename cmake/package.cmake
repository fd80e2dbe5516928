# Packages of what `cmake --install` installs (cmake/install.cmake), made with CPack:
#   Linux build:    cpack -G DEB   -> stowkeeper_<version>_amd64.deb
#   Windows build:  cpack -G NSIS  -> stowkeeper-<version>-win64-setup.exe
#                   cpack -G ZIP   -> stowkeeper-<version>-win64.zip
# scripts/package.sh builds both programs and runs these.

set(SK_PACKAGE_MAINTAINER "Stowkeeper authors <stowkeeper@stowkeeper.invalid>"
    CACHE STRING "Maintainer of the packages: Name <mail address>")

set(CPACK_PACKAGE_NAME stowkeeper)
set(CPACK_PACKAGE_VENDOR "Stowkeeper authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop backup tool with restore points")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Stowkeeper)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Only what the install rules name; nothing of the build folder.
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR "NSIS;ZIP")
  set(CPACK_PACKAGE_FILE_NAME stowkeeper-${PROJECT_VERSION}-win64)
  set(CPACK_NSIS_PACKAGE_NAME "Stowkeeper ${PROJECT_VERSION}")
  set(CPACK_NSIS_DISPLAY_NAME Stowkeeper)
  set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
  set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/win32/stowkeeper.ico)
  set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/win32/stowkeeper.ico)
  # The installer is made from packaging/windows/NSIS.template.in, which CPack takes in
  # place of its own.
  set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging/windows)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/cpack-generator.cmake)
else()
  set(CPACK_GENERATOR DEB)
  # A package installs below /usr, whatever prefix the build folder has (the program finds
  # its catalogs relative to itself); scripts/package.sh builds it with that prefix too.
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SK_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The toolkit's own translations: Yes, No and Cancel in the language of the catalog.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wx3.2-i18n)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  # The extended description; CPack puts the summary before it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Stowkeeper backs up folders into one backup folder. Every source folder gets
a backup set there: a full backup of the whole tree, then updates, each of
which records what was removed, added and changed as a new restore point.
Any restore point can be restored into a folder, and every volume can be
verified against the CRC-32 of its files.
.
It runs as a desktop program (wxWidgets) or from the command line, where
one switch creates, updates or restores a backup and ends, for scripts and
timers. Three compression engines are offered (Densepress, JCalG1 and ZLIB),
and its texts come in English, German, French and Spanish. Backups are the
same files on Linux and Windows.")
  # A package's history, in Debian's changelog format.
  sk_install_compressed(${CMAKE_SOURCE_DIR}/packaging/changelog.in changelog
                        share/doc/stowkeeper)
endif()

include(CPack)

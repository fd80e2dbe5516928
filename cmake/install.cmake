# What `cmake --install` puts where.
#
# Linux: the program in <prefix>/bin, its catalogs in <prefix>/share/stowkeeper/Catalogs
# (where an installed program looks for them), the README the About window links to, the
# copyright file, the manual page, a menu entry and its icon (the drawing, and pictures of
# it at the sizes launchers ask for).
#
# Windows: one folder, as the installer and the zip ship it: stowkeeper.exe with its
# Catalogs folder, the README and the notices of the libraries linked into it beside it.
include(GNUInstallDirs)

if(TARGET stowkeeper)
  # In the build tree the README sits beside the program, as the catalogs do.
  add_custom_command(TARGET stowkeeper POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/README.md
            $<TARGET_FILE_DIR:stowkeeper>/README.md)
endif()

if(WIN32)
  if(TARGET stowkeeper)
    install(TARGETS stowkeeper RUNTIME DESTINATION .)
  endif()
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/catalogs/ DESTINATION Catalogs
          FILES_MATCHING PATTERN "*.catalog")
  # The program is linked statically: the notices of the libraries inside it travel with it.
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/windows/Notices.txt
          DESTINATION .)
  return()
endif()

# Installed folders are world-readable whatever the umask of the one who installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(TARGET stowkeeper)
  install(TARGETS stowkeeper RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/catalogs/ DESTINATION share/stowkeeper/Catalogs
        FILES_MATCHING PATTERN "*.catalog")
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION share/doc/stowkeeper)
install(FILES ${CMAKE_SOURCE_DIR}/desktop/stowkeeper.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/desktop/stowkeeper.svg
        DESTINATION share/icons/hicolor/scalable/apps)

# Installs the text file input (configured with the project's version) compressed as
# destination/name.gz, as man and Debian's documentation expect it.
function(sk_install_compressed input name destination)
  set(text ${CMAKE_BINARY_DIR}/compressed/${name})
  configure_file(${input} ${text} @ONLY)
  find_program(SK_GZIP gzip REQUIRED)
  add_custom_command(
    OUTPUT ${text}.gz
    COMMAND ${SK_GZIP} -9 -n -f -k ${text}
    DEPENDS ${text}
    COMMENT "Compressing ${name}")
  add_custom_target(stowkeeper_${name}_gz ALL DEPENDS ${text}.gz)
  install(FILES ${text}.gz DESTINATION ${destination})
endfunction()

sk_install_compressed(${CMAKE_SOURCE_DIR}/doc/stowkeeper.1.in stowkeeper.1
                      ${CMAKE_INSTALL_MANDIR}/man1)

# The icon is drawn on a 16-pixel grid: launchers that scale it themselves blur it, so
# pictures at 48 and 256 pixels are rendered from the drawing (rsvg-convert, Debian package
# librsvg2-bin). Without the tool only the drawing is installed.
find_program(SK_RSVG_CONVERT rsvg-convert)
if(SK_RSVG_CONVERT)
  set(SK_ICON_PICTURES)
  foreach(size 48 256)
    set(picture ${CMAKE_BINARY_DIR}/icons/${size}x${size}/stowkeeper.png)
    add_custom_command(
      OUTPUT ${picture}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${SK_RSVG_CONVERT} --width=${size} --height=${size} --format=png
              --output=${picture} ${CMAKE_SOURCE_DIR}/desktop/stowkeeper.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/desktop/stowkeeper.svg
      COMMENT "Rendering the ${size}-pixel icon")
    list(APPEND SK_ICON_PICTURES ${picture})
    install(FILES ${picture} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(stowkeeper_icons ALL DEPENDS ${SK_ICON_PICTURES})
else()
  message(STATUS "rsvg-convert not found: the icon is installed as a drawing only")
endif()

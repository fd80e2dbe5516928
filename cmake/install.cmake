# What `cmake --install` puts where a Linux desktop finds it: the program, its catalogs
# (<prefix>/share/stowkeeper/Catalogs, where an installed program looks for them), the
# README the About window links to, a menu entry and an icon.
include(GNUInstallDirs)

if(TARGET stowkeeper)
  install(TARGETS stowkeeper RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # In the build tree the README sits beside the program, as the catalogs do.
  add_custom_command(TARGET stowkeeper POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/README.md
            $<TARGET_FILE_DIR:stowkeeper>/README.md)
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/catalogs/ DESTINATION share/stowkeeper/Catalogs
        FILES_MATCHING PATTERN "*.catalog")
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/stowkeeper)
install(FILES ${CMAKE_SOURCE_DIR}/desktop/stowkeeper.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/desktop/stowkeeper.svg
        DESTINATION share/icons/hicolor/scalable/apps)

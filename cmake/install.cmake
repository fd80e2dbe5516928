# What `cmake --install` puts where a Linux desktop finds it: the program, its catalogs, the
# README the About window links to, a menu entry and an icon.
include(GNUInstallDirs)

if(TARGET stowkeeper)
  install(TARGETS stowkeeper RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/catalogs/ DESTINATION share/stowkeeper/Catalogs
        FILES_MATCHING PATTERN "*.catalog")

# What `cmake --install` puts under the prefix besides the program itself (app/ and the player
# module install their own files): the command, the desktop entry, the icons, the AppStream
# metadata. The program finds its files relative to <prefix>/bin.
include(GNUInstallDirs)

if(TARGET tavimo-scan)
  install(TARGETS tavimo-scan RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/tavimo.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/io.github.tavimo.Tavimo.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The help page and the manual pages are generated and installed by cmake/Manual.cmake.

# The launcher icon is the tray icon picture of the skin, drawn at each size from it.
if(TARGET tavimo_icongen)
  set(tavimo_icon_sizes 16 32 48 64 128 256)
  set(tavimo_icon_dir ${CMAKE_BINARY_DIR}/icons)
  set(tavimo_icon_files "")
  foreach(size IN LISTS tavimo_icon_sizes)
    list(APPEND tavimo_icon_files ${tavimo_icon_dir}/${size}x${size}/apps/tavimo.png)
  endforeach()
  add_custom_command(OUTPUT ${tavimo_icon_files}
    COMMAND tavimo_icongen ${CMAKE_SOURCE_DIR}/resources/skin/trayicon.jpg ${tavimo_icon_dir}
      ${tavimo_icon_sizes}
    DEPENDS tavimo_icongen ${CMAKE_SOURCE_DIR}/resources/skin/trayicon.jpg
    COMMENT "Drawing the launcher icons from the tray icon picture"
    VERBATIM)
  add_custom_target(tavimo_icons ALL DEPENDS ${tavimo_icon_files})
  install(DIRECTORY ${tavimo_icon_dir}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
endif()

# `make package`: a Debian package of what `cmake --install` puts under /usr. dpkg-shlibdeps
# names the libraries the program and the player module link; the rest are what is opened at
# run time (libcurl for downloads, the web engine's helper process for the preview).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavimo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavimo developers <tavimo@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, preview and save the Flash movies of web pages")
set(CPACK_PACKAGE_DESCRIPTION
  "Tavimo lists the Flash movies (SWF files) a web page and its frames refer to, adds the\n\
ones found in the browsers' disk caches, plays them in a preview and saves the chosen ones\n\
into folders by category. tavimo-scan runs the same scan from the command line, over web\n\
archives (WARC files) and in batch pipelines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/tavimo/tavimo")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, libqt6webenginecore6-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

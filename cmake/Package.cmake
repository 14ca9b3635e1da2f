# A Debian package of what `cmake --install` puts in place: the program and
# its Data/ in /usr/lib/vantaro, the launcher in /usr/bin, the desktop entry
# and the icon. Built with `cpack -G DEB` in the build folder (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantaro")
set(CPACK_PACKAGE_CONTACT "Vantaro developers <vantaro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Card game for two on a board of 3 x 3 squares")
set(CPACK_PACKAGE_DESCRIPTION
    "Two players take turns placing cards with four ranked edges on a 3 x 3 board; a card captures the neighbours whose facing rank is lower. Optional rules Same, Same Wall, Plus, Combo, Elemental and Sudden Death.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the program links (Qt 6 among them, whose package also
# holds the X11 platform plugin) come from dpkg-shlibdeps; the font for the
# card names and the frame counter is loaded at run time, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
include(${CMAKE_CURRENT_LIST_DIR}/ServerPackage.cmake)
include(CPack)

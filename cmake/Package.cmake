# Debian packages of what `cmake --install` puts in place, one per install
# component; built with `cpack -G DEB` in the build folder (scripts/package).
#
# `game` (package vantaro): the program, the analysis command and their Data/
# in /usr/lib/vantaro, the launchers in /usr/games, the desktop entry, the
# icon, the manual pages, the copyright and the changelog. Every install()
# without a COMPONENT of its own lands here (CMAKE_INSTALL_DEFAULT_COMPONENT_NAME
# in the top-level CMakeLists). A further package is one more component in
# CPACK_COMPONENTS_ALL with its own CPACK_DEBIAN_<COMPONENT>_* fields.
include(GNUInstallDirs)

set(VANTARO_DEBIAN_RELEASE 1)
set(VANTARO_DEBIAN_VERSION ${PROJECT_VERSION}-${VANTARO_DEBIAN_RELEASE})
set(VANTARO_MAINTAINER "Vantaro Developers <developers@vantaro.org>")

# The documents Debian expects of every package, gzip'd without a time stamp
# so that two builds of the same sources give the same bytes.
function(vantaro_gzip source target)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    execute_process(COMMAND gzip -9nc INPUT_FILE ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip could not compress ${source}")
    endif()
endfunction()

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_documents ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_documents})
configure_file(${_packaging}/changelog.Debian.in ${_documents}/changelog.Debian @ONLY)
vantaro_gzip(${_documents}/changelog.Debian ${_documents}/changelog.Debian.gz)
foreach(page vantaro.6 vantaro-solve.6)
    vantaro_gzip(${_packaging}/${page} ${_documents}/${page}.gz)
    install(FILES ${_documents}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT game)
endforeach()
install(FILES ${_packaging}/copyright ${_documents}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantaro COMPONENT game)
install(FILES ${_packaging}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vantaro COMPONENT game)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantaro")
set(CPACK_PACKAGE_CONTACT ${VANTARO_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL game)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANTARO_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VANTARO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantaro.org/")
# The shared libraries a package's programs link (Qt 6 among them, whose
# package also holds the X11 platform plugin) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_GAME_PACKAGE_NAME vantaro)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
# The font for the card names and the frame counter is loaded at run time;
# the sounds are played through Qt Multimedia's plugins, which come with it.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "fonts-dejavu-core")
# The first line is the summary; lines stay within 80 columns.
set(CPACK_DEBIAN_GAME_DESCRIPTION "card game for two on a board of 3 x 3 squares
Two players take turns placing cards with four ranked edges on a 3 x 3
board; a card captures the neighbours whose facing rank is lower. Optional
rules Same, Same Wall, Plus, Combo, Elemental and Sudden Death.

Play two at one keyboard, against the computer at three levels, or across
a network. The package also holds vantaro-solve, which scores every move of
a position given as JSON.")
include(${CMAKE_CURRENT_LIST_DIR}/ServerPackage.cmake)
include(CPack)

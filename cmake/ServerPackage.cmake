# The server in a Debian package of its own, vantaro-server, from the same
# CPack run as the game: what server/ installs as component "server" goes
# into vantaro-server, which needs no GUI library. Included by Package.cmake
# just before CPack, whichever way that names the game's component.
set(CPACK_DEB_COMPONENT_INSTALL ON)
if(DEFINED CPACK_COMPONENTS_ALL)
    list(APPEND CPACK_COMPONENTS_ALL server)
else()
    # Everything installed without a component stays the game's package.
    set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME vantaro)
    set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)
endif()

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vantaro-server)
set(CPACK_DEBIAN_SERVER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# The SQL drivers are plugins, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "libqt6sql6-psql, postgresql")
set(CPACK_DEBIAN_SERVER_PACKAGE_SHLIBDEPS ON)
# The first line is the summary; lines stay within 80 columns.
set(CPACK_DEBIAN_SERVER_DESCRIPTION "server for the Vantaro card game
A lobby where players find each other, tables to sit at or watch, and
matches decided on the server, kept in SQLite or PostgreSQL, over TLS
with certificates it makes itself. Runs as a systemd service.")

# The manual page, and the copyright and changelog where the packaging
# keeps them, gzip'd without a time stamp.
set(_vantaro_server_docs ${CMAKE_BINARY_DIR}/server-package)
file(MAKE_DIRECTORY ${_vantaro_server_docs})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/server/vantaro-server.8)
execute_process(COMMAND gzip -9nc INPUT_FILE ${PROJECT_SOURCE_DIR}/server/vantaro-server.8
                OUTPUT_FILE ${_vantaro_server_docs}/vantaro-server.8.gz)
install(FILES ${_vantaro_server_docs}/vantaro-server.8.gz DESTINATION share/man/man8 COMPONENT server)
if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/copyright)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/vantaro-server COMPONENT server)
endif()
if(EXISTS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz DESTINATION share/doc/vantaro-server
            COMPONENT server)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vantaro-server.lintian-overrides
        DESTINATION share/lintian/overrides RENAME vantaro-server COMPONENT server)

# The server in a Debian package of its own, vantaro-server, from the same
# CPack run as the game: everything installed without a component stays the
# game's package (vantaro); what server/ installs as component "server" goes
# into vantaro-server, which needs no GUI library. Included by Package.cmake
# before CPack.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME vantaro)
set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)

set(CPACK_DEBIAN_SERVER_DESCRIPTION
    "Server for the Vantaro card game\n A lobby to find an opponent, tables to sit at or watch, and matches decided on the server, kept in SQLite or PostgreSQL, over TLS with certificates it makes itself.")
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vantaro-server)
set(CPACK_DEBIAN_SERVER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION games)
# The SQL drivers are plugins, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "libqt6sql6-psql, postgresql")
set(CPACK_DEBIAN_SERVER_PACKAGE_SHLIBDEPS ON)

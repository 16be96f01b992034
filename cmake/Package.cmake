# The Debian package (scripts/package): the program folder under
# /opt/tavrin, with the systemd user unit, the application-menu entry and its
# icon where systemd and the desktop find them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin-server)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrin <support@tavrin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tavrin service host")
set(CPACK_PACKAGE_DESCRIPTION
    "The background process of the Tavrin desktop suite: starts its services, keeps their ports and serves its web client.")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/tavrin)
# Installed with the real prefix into a staging root, so the unit and the menu
# entry name /opt/tavrin and not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /opt/tavrin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program folder's own libraries are found through $ORIGIN.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${TAVRIN_SERVER_DIR})
# libsqlite3-0 is loaded at run time (not linked), so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "iproute2, procps, libsqlite3-0")
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageSystemFiles.cmake)
include(CPack)

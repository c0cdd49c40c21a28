# Debian packages, one per install component: `cpack -G DEB` in a build
# folder configured with CMAKE_INSTALL_PREFIX=/usr.
set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VENDOR "The Tessel developers")
set(CPACK_PACKAGE_CONTACT "Tessel developers <tessel@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Data-access components for SQL Server through DB-Library")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENTS_ALL libtessel libtessel-dev tessel-sqld tessel-tools)

set(CPACK_DEBIAN_LIBTESSEL_PACKAGE_NAME libtessel)
set(CPACK_DEBIAN_LIBTESSEL_DESCRIPTION
  "Tessel run-time libraries\n The connection, query and update components and libntwdblib.so, DB-Library with\n Microsoft's conventions on FreeTDS.")
set(CPACK_DEBIAN_LIBTESSEL_PACKAGE_DEPENDS "libsybdb5, freetds-common")

set(CPACK_DEBIAN_LIBTESSEL-DEV_PACKAGE_NAME libtessel-dev)
set(CPACK_DEBIAN_LIBTESSEL-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBTESSEL-DEV_DESCRIPTION
  "Tessel development files\n Headers, static libraries, the CMake package (find_package(Tessel)) and tessel.pc.")
set(CPACK_DEBIAN_LIBTESSEL-DEV_PACKAGE_DEPENDS "libtessel (= ${PROJECT_VERSION}), libicu-dev")

set(CPACK_DEBIAN_TESSEL-SQLD_PACKAGE_NAME tessel-sqld)
set(CPACK_DEBIAN_TESSEL-SQLD_PACKAGE_SECTION database)
set(CPACK_DEBIAN_TESSEL-SQLD_DESCRIPTION
  "SQL Server stand-in over SQLite\n A TDS 7.1-7.4 server on the loopback address that keeps its databases in\n SQLite files under /var/lib/tessel-sqld, run as a systemd service.")
# The server compares text with ICU; its run-time package is named after
# ICU's major version (libicu72 ...).
find_package(ICU QUIET COMPONENTS uc i18n)
string(REGEX MATCH "^[0-9]+" icu_major "${ICU_VERSION}")
set(CPACK_DEBIAN_TESSEL-SQLD_PACKAGE_DEPENDS "libsqlite3-0, libssl3, libicu${icu_major}, adduser")
set(pkg ${CMAKE_CURRENT_BINARY_DIR}/packaging/tessel-sqld)
set(CPACK_DEBIAN_TESSEL-SQLD_PACKAGE_CONTROL_EXTRA
  ${pkg}/postinst ${pkg}/prerm ${pkg}/postrm ${pkg}/conffiles)
set(CPACK_DEBIAN_TESSEL-SQLD_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_TESSEL-TOOLS_PACKAGE_NAME tessel-tools)
set(CPACK_DEBIAN_TESSEL-TOOLS_PACKAGE_SECTION database)
set(CPACK_DEBIAN_TESSEL-TOOLS_DESCRIPTION
  "Tessel programs\n tessel-run runs a form file's query; tessel-demo and tessel-dblib-probe show the\n package at work. The Qt Designer plugin puts the data-aware controls in\n Designer's and Qt Creator's widget box.")
set(CPACK_DEBIAN_TESSEL-TOOLS_PACKAGE_DEPENDS "libtessel (= ${PROJECT_VERSION})")

include(CPack)

# Debian packages, made by CPack from the install components: run
#   cpack -G DEB --config <build>/CPackConfig.cmake
# kaldorn holds the runtime component, kaldorn-dev the dev component and
# depends on exactly the same kaldorn version. Both take their version from
# the project() call; each binary's Depends comes from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME kaldorn)
set(CPACK_PACKAGE_VENDOR "kaldorn developers")
set(CPACK_PACKAGE_CONTACT "kaldorn developers <kaldorn@example.org>")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME kaldorn)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Debian expects a package with a shared library in a public directory to
# activate the ldconfig trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
# libkaldorn-trust.so.0 has a versioned SONAME: the package says which package provides it (its shlibs file).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kaldorn COMPONENT runtime)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "plans the incremental updates of an installed product
kaldorn.so reads the index DAT files and component lists of an installed
product and of its update sources, and tells host programs which update
files to fetch, keep or delete. This package holds the library,
libkaldorn-trust.so.0 that checks the signed releases of an update source,
the kaldorn command line tool with its manual page and bash completion, and
the sibling library orlenmap.dll (in /usr/${CMAKE_INSTALL_LIBDIR}/kaldorn)
that hosts copy into a client directory.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME kaldorn-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION "development files for kaldorn.so
The C and C++ headers of kaldorn.so and libkaldorn-trust.so, their CMake
package (imported targets kaldorn::kaldorn and kaldorn::trust) and their
pkg-config files.")

# Every Debian package carries its copyright and changelog in its own
# documentation directory; the changelog is compressed as Debian expects.
string(TIMESTAMP KALDORN_PACKAGE_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/debian/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(kaldorn_package_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(component runtime dev)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
endforeach()

include(CPack)

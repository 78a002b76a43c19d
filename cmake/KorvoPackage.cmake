# Debian packages from CPack (`cpack -G DEB` in the build directory, or
# `cmake --build build --target package`):
#   libkorvo      the shared library (component runtime)
#   libkorvo-dev  headers, CMake package, korvo.pc (component dev)
#   korvo         the command-line tool (component tool), when the build
#                 has the target korvo_cli
# Installed under /usr. Dependencies on system libraries come from
# dpkg-shlibdeps (Debian's dpkg-dev), so they name the versions the
# binaries were linked against.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvo)
set(CPACK_PACKAGE_VENDOR "Korvo")
set(CPACK_PACKAGE_CONTACT "Korvo maintainers <korvo@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Database-access class library: connections, recordsets, field exchange")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
# Debug information stays in the build tree, not in the packages.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool's own dependency on libkorvo.so.0 is resolved from the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})

set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkorvo)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Korvo shared library\nThe library a program built with Korvo runs with: SQLite embedded, servers through ODBC.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkorvo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libkorvo (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Korvo development files\nHeaders (<korvo/Korvo.h>), the CMake package Korvo::korvo and korvo.pc.")
if(TARGET korvo_cli)
  list(APPEND CPACK_COMPONENTS_ALL tool)
  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME korvo)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION database)
  set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libkorvo (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_TOOL_DESCRIPTION
      "Korvo command-line tool\nRuns SQL against any connect string Korvo accepts, imports and exports CSV.")
endif()
include(CPack)

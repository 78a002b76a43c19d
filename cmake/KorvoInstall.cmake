# Installs the library, the public headers under include/korvo/, a CMake
# package (find_package(Korvo) -> Korvo::korvo) and korvo.pc.
# Components (the Debian packages of cmake/KorvoPackage.cmake): `runtime`
# is the shared library a program needs to run; `dev` is what building a
# host needs besides (headers, the unversioned .so link, CMake and
# pkg-config files).
include(CMakePackageConfigHelpers)

install(TARGETS korvo EXPORT KorvoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/Korvo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvo
        COMPONENT dev)
# Private headers (*_internal.h, provider internals) stay in the source tree.
foreach(layer ${KORVO_LAYERS})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${layer}/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvo/${layer}
          COMPONENT dev
          FILES_MATCHING PATTERN "*.h"
          PATTERN "*_internal.h" EXCLUDE
          PATTERN "providers" EXCLUDE)
endforeach()

install(EXPORT KorvoTargets NAMESPACE Korvo::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvo COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/KorvoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/KorvoConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvo)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KorvoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KorvoConfig.cmake ${CMAKE_BINARY_DIR}/KorvoConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvo COMPONENT dev)

# korvo.pc finds its prefix from its own place: one .. per folder of
# <libdir>/pkgconfig.
set(KORVO_PC_UP "..")
string(REPLACE "/" ";" pc_folders "${CMAKE_INSTALL_LIBDIR}")
foreach(folder ${pc_folders})
  string(APPEND KORVO_PC_UP "/..")
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/cmake/korvo.pc.in ${CMAKE_BINARY_DIR}/korvo.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/korvo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)

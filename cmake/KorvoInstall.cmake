# Installs the library, the public headers under include/korvo/, a CMake
# package (find_package(Korvo) -> Korvo::korvo) and korvo.pc.
include(CMakePackageConfigHelpers)

install(TARGETS korvo EXPORT KorvoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/Korvo.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvo)
# Private headers (*_internal.h, provider internals) stay in the source tree.
foreach(layer ${KORVO_LAYERS})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/${layer}/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvo/${layer}
          FILES_MATCHING PATTERN "*.h"
          PATTERN "*_internal.h" EXCLUDE
          PATTERN "providers" EXCLUDE)
endforeach()

install(EXPORT KorvoTargets NAMESPACE Korvo::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvo)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/KorvoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/KorvoConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvo)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KorvoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KorvoConfig.cmake ${CMAKE_BINARY_DIR}/KorvoConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvo)

configure_file(${CMAKE_SOURCE_DIR}/cmake/korvo.pc.in ${CMAKE_BINARY_DIR}/korvo.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/korvo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

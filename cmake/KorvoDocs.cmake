# The API reference: Doxygen over the installed (public) headers, as HTML
# in <build>/docs/api/html. Built by the target korvo_docs, only on
# request (it is not part of `all`); CI builds it with warnings as errors.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  message(STATUS "Doxygen not found: the target korvo_docs is not available")
  return()
endif()
set(KORVO_DOCS_WARN_AS_ERROR "FAIL_ON_WARNINGS" CACHE STRING
    "Doxygen's WARN_AS_ERROR for korvo_docs (NO, YES or FAIL_ON_WARNINGS)")
set(KORVO_DOCS_OUTPUT ${CMAKE_BINARY_DIR}/docs/api)
set(KORVO_DOCS_INPUT ${CMAKE_SOURCE_DIR}/Korvo.h)
foreach(layer ${KORVO_LAYERS})
  string(APPEND KORVO_DOCS_INPUT " ${CMAKE_SOURCE_DIR}/${layer}")
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/docs/api/Doxyfile.in ${KORVO_DOCS_OUTPUT}/Doxyfile @ONLY)
add_custom_target(korvo_docs
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVO_DOCS_OUTPUT}
  COMMAND Doxygen::doxygen ${KORVO_DOCS_OUTPUT}/Doxyfile
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "API reference: ${KORVO_DOCS_OUTPUT}/html/index.html"
  VERBATIM)

# One object library per subsystem folder. Sources are picked up by glob so
# that adding a file to a folder needs no edit here; CONFIGURE_DEPENDS makes
# the build notice new files.
set(KORVO_LAYERS platform com types diag ado db cmd recordset)

function(korvo_add_layer name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${name}/*.cpp ${CMAKE_SOURCE_DIR}/${name}/*.c)
  if(NOT sources)
    # An empty folder still gets a target so the link lines stay uniform.
    set(sources ${CMAKE_SOURCE_DIR}/cmake/empty_layer.cpp)
  endif()
  add_library(korvo_${name} OBJECT ${sources})
  target_include_directories(korvo_${name} PUBLIC ${KORVO_INCLUDE_ROOT})
  target_compile_definitions(korvo_${name} PRIVATE KORVO_BUILDING_LIBRARY)
  # The library's exported functions are not replaced from outside: calls
  # between them may be inlined and bound directly (with the link option
  # -Bsymbolic-functions), not made through the PLT.
  target_compile_options(korvo_${name} PRIVATE -fno-semantic-interposition)
  foreach(dep ${ARGN})
    target_link_libraries(korvo_${name} PUBLIC korvo_${dep})
  endforeach()
endfunction()

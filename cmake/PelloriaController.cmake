# pelloria_add_controller(<name> <source>...)
#
# Builds a controller plug-in for Pelloria: a shared library that exports
# `controller` (declared in brainlet.h) whatever the visibility flags, named
# as the game and pelloria-arena expect (lib<name>.so; <name>.dll on Windows).
# Used by Pelloria's own examples and tests, and by controller projects of
# their own through find_package(Pelloria).
function(pelloria_add_controller name)
  add_library(${name} SHARED ${ARGN})
  target_link_libraries(${name} PRIVATE Pelloria::brainlet_headers)
  target_compile_definitions(${name} PRIVATE BRAINLET_BUILD)
  if(WIN32)
    set_target_properties(${name} PROPERTIES PREFIX "")
  endif()
endfunction()

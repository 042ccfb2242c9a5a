# fluid3d_add_library(<name> <sources...>)
# A static library whose users include its headers by their path from the project root, e.g.
# "glext/extensions.h".
function(fluid3d_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

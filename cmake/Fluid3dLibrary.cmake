# fluid3d_add_library(<name> <sources...>)
# A static library whose users include its headers by their path from the project root, e.g.
# "glext/extensions.h".
function(fluid3d_add_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# fluid3d_add_shared_library(<target> OUTPUT_NAME <name> EXPORTS <version script>
#                            LIBRARIES <static libraries...> LINK <system libraries...>)
# A shared library lib<name>.so made of every object of the given static libraries, whether its
# exports reach them or not. The version script decides what is visible; --no-undefined makes
# a library missing from the list a link error rather than a loader error.
function(fluid3d_add_shared_library target)
  cmake_parse_arguments(S "" "OUTPUT_NAME;EXPORTS" "LIBRARIES;LINK" ${ARGN})
  set(objects "")
  foreach(lib ${S_LIBRARIES})
    list(APPEND objects $<TARGET_OBJECTS:${lib}>)
  endforeach()
  add_library(${target} SHARED ${objects})
  add_dependencies(${target} ${S_LIBRARIES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${S_OUTPUT_NAME}
    LINKER_LANGUAGE CXX
    LINK_DEPENDS ${S_EXPORTS})
  target_link_libraries(${target} PRIVATE ${S_LINK})
  target_link_options(${target} PRIVATE -Wl,--version-script=${S_EXPORTS} -Wl,--no-undefined)
endfunction()

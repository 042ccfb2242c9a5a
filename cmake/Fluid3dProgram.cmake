# fluid3d_add_program(<name> <sources...>)
# A user-facing executable: built into build/bin, installed into bin/ and told the project's
# version (FLUID3D_VERSION) for its --version answer.
function(fluid3d_add_program name)
  add_executable(${name} ${ARGN})
  target_compile_definitions(${name} PRIVATE FLUID3D_VERSION="${PROJECT_VERSION}")
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# fluid3d_add_program(<name> <sources...>)
# A user-facing executable: built into build/bin, installed into bin/ and told the project's
# version (FLUID3D_VERSION) for its --version answer. Installed, it finds the project's shared
# libraries (the legacy-extension layer) in the lib folder beside bin/, wherever the tree lies.
function(fluid3d_add_program name)
  add_executable(${name} ${ARGN})
  file(RELATIVE_PATH bin_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
  target_compile_definitions(${name} PRIVATE FLUID3D_VERSION="${PROJECT_VERSION}")
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# The engine plugin (src/CMakeLists.txt) calls into tovra_ui and tovra_core without linking
# them: it binds to the copies inside the executable that loads it. Such an executable exports
# its symbols and carries every object of both libraries, not only those it calls itself.
function(tovra_engine_host target)
  target_link_libraries(${target} PRIVATE tovra_ui)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  target_link_options(${target} PRIVATE
    "SHELL:-Wl,--whole-archive $<TARGET_FILE:tovra_ui> $<TARGET_FILE:tovra_core> -Wl,--no-whole-archive")
  add_dependencies(${target} tovra_engine)
endfunction()

# Links the engine into a program that uses its classes directly; the program then never loads
# the plugin file.
function(tovra_engine_builtin target)
  target_link_libraries(${target} PRIVATE tovra_engine_builtin tovra_engine_code)
endfunction()

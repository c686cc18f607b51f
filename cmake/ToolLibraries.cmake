# Tool libraries (artwork, sample medium) join a global list with
#   set_property(GLOBAL APPEND PROPERTY VELMORA_TOOL_LIBRARIES <target>)
# Tests and benchmarks of the tools link those that exist in this build.
function(velmora_tool_library_targets out)
  get_property(names GLOBAL PROPERTY VELMORA_TOOL_LIBRARIES)
  set(targets)
  foreach(name ${names})
    if(TARGET ${name})
      list(APPEND targets ${name})
    endif()
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

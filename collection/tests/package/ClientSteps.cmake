# step(<name> <command...>): runs the command; fails the script with its
# output when it fails, else leaves its output in step_output.
function(step name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name} failed (${status}):\n${out}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

# run_client(<program>): runs a built client (under EMULATOR when set) and
# fails unless it reports success.
function(run_client program)
  if(EMULATOR)
    step("run ${program}" ${EMULATOR} ${program})
  else()
    step("run ${program}" ${program})
  endif()
  message("${step_output}")
  if(NOT step_output MATCHES "client: all checks passed")
    message(FATAL_ERROR "${program} did not report success")
  endif()
endfunction()

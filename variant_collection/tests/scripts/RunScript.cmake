# cmake -P script: runs the script test SCRIPT with cscript under Wine
# (WINE_RUN runs a Windows program in the test prefix; CSCRIPT names the
# script host, "cscript" unless given), with the script's arguments ARGS if
# given, and passes only when the script's closing line
# reads "N passed, 0 failed" with N above 0.
# cscript reports neither a syntax error nor an uncaught runtime error
# through its exit status, so a missing closing line is a failure.

foreach(required WINE_RUN SCRIPT)
  if(NOT ${required})
    message(FATAL_ERROR "RunScript.cmake: ${required} is not set")
  endif()
endforeach()

if(NOT CSCRIPT)
  set(CSCRIPT cscript)
endif()

get_filename_component(folder "${SCRIPT}" DIRECTORY)
get_filename_component(name "${SCRIPT}" NAME)
# Started in the script's folder, cscript finds it by its bare name.
execute_process(COMMAND ${WINE_RUN} ${CSCRIPT} //nologo ${name} ${ARGS}
  WORKING_DIRECTORY ${folder}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
message("${output}${errors}")

if(NOT status EQUAL 0)
  message(FATAL_ERROR "${name}: cscript exited with ${status}")
endif()
string(REGEX MATCHALL "(^|\n)[0-9]+ passed, [0-9]+ failed" closing "${output}")
if(NOT closing)
  message(FATAL_ERROR "${name}: no closing \"N passed, N failed\" line: the script stopped early")
endif()
list(GET closing -1 closing)
string(REGEX MATCH "([0-9]+) passed, ([0-9]+) failed" closing "${closing}")
if(NOT CMAKE_MATCH_2 EQUAL 0 OR CMAKE_MATCH_1 EQUAL 0)
  message(FATAL_ERROR "${name}: ${CMAKE_MATCH_1} passed, ${CMAKE_MATCH_2} failed")
endif()

# cmake -P script: removes every registration of the server module MODULE
# from the test prefix (WINE_RUN runs a Windows program there): the
# machine's (regsvr32 /u) and the user's (regsvr32 /u /n /i:user). Both
# answer success when there is nothing to remove; fails when either fails.

foreach(required WINE_RUN MODULE)
  if(NOT ${required})
    message(FATAL_ERROR "UnregisterAll.cmake: ${required} is not set")
  endif()
endforeach()

foreach(options "/u;/s" "/u;/s;/n;/i:user")
  execute_process(COMMAND ${WINE_RUN} regsvr32 ${options} ${MODULE} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "regsvr32 ${options} ${MODULE} exited with ${status}")
  endif()
endforeach()

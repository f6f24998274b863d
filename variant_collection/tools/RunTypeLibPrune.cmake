# Runs typelib_prune in FOLDER: TOOL SOURCE DESTINATION IMPORTED (the first
# two file names in FOLDER, the library imported as a Windows path), through
# EMULATOR (Wine), with its output and errors going to the file LOG in
# FOLDER.
#
# The output goes to a file, not to the build tool: the first Windows process
# of a Wine session starts Wine's background services, they inherit its
# standard streams, and a build tool reading those would wait for them to end.

file(REMOVE ${FOLDER}/${DESTINATION})
execute_process(
  COMMAND ${EMULATOR} ${TOOL} ${SOURCE} ${DESTINATION} ${IMPORTED}
  WORKING_DIRECTORY ${FOLDER}
  RESULT_VARIABLE status
  OUTPUT_FILE ${FOLDER}/${LOG}
  ERROR_FILE ${FOLDER}/${LOG})
if(NOT status EQUAL 0 OR NOT EXISTS ${FOLDER}/${DESTINATION})
  file(READ ${FOLDER}/${LOG} output)
  file(REMOVE ${FOLDER}/${DESTINATION})
  message(FATAL_ERROR "typelib_prune ${SOURCE} ${DESTINATION} failed (${status}):\n${output}")
endif()

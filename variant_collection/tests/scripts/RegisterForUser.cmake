# cmake -P script: registers the server module MODULE for the user alone, as
# a user without administrator rights would, with the platform's regsvr32
# (/n /i:user) in the test prefix (WINE_RUN runs a Windows program there),
# reads the registry back with reg, and removes the registration again
# (/u /n /i:user). The class (CLASS_ID, braced), its ProgIDs (PROG_ID and
# VERSIONED_PROG_ID) and the type library (LIBRARY_ID, braced, version
# LIBRARY_VERSION, under the neutral locale for the system kind KIND) must
# appear under HKEY_CURRENT_USER\Software\Classes and nowhere in the
# machine's classes, in either registry view; afterwards none of them may be
# left. regsvr32 /n /i with another argument must fail.

foreach(required WINE_RUN MODULE CLASS_ID PROG_ID VERSIONED_PROG_ID LIBRARY_ID LIBRARY_VERSION KIND)
  if(NOT ${required})
    message(FATAL_ERROR "RegisterForUser.cmake: ${required} is not set")
  endif()
endforeach()

set(user "HKCU\\Software\\Classes")
set(machine "HKLM\\Software\\Classes")
set(keys "CLSID\\${CLASS_ID}\\InprocServer32" "${PROG_ID}\\CLSID" "${VERSIONED_PROG_ID}\\CLSID"
         "TypeLib\\${LIBRARY_ID}\\${LIBRARY_VERSION}\\0\\${KIND}")

function(regsvr32 expected)
  execute_process(COMMAND ${WINE_RUN} regsvr32 /s ${ARGN} ${MODULE} RESULT_VARIABLE status)
  if((expected STREQUAL "succeeds" AND NOT status EQUAL 0) OR (expected STREQUAL "fails" AND status EQUAL 0))
    message(FATAL_ERROR "regsvr32 ${ARGN} exited with ${status}: it should have ${expected}")
  endif()
endfunction()

# expect_keys(<present|absent> <root> [view options]): every key of the
# registration under <root>.
function(expect_keys expected root)
  foreach(key IN LISTS keys)
    execute_process(COMMAND ${WINE_RUN} reg query "${root}\\${key}" ${ARGN}
      RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    if((expected STREQUAL "present" AND NOT status EQUAL 0) OR (expected STREQUAL "absent" AND status EQUAL 0))
      message(FATAL_ERROR "${root}\\${key} ${ARGN}: expected ${expected}")
    endif()
  endforeach()
endfunction()

expect_keys(absent ${user})
regsvr32(fails /n /i:machine)
regsvr32(succeeds /n /i:user)
expect_keys(present ${user})
foreach(view /reg:64 /reg:32)
  expect_keys(absent ${machine} ${view})
endforeach()
regsvr32(succeeds /u /n /i:user)
expect_keys(absent ${user})
foreach(view /reg:64 /reg:32)
  expect_keys(absent ${machine} ${view})
endforeach()

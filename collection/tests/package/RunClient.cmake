# cmake -P script: installs BUILD_DIR into WORK_DIR/prefix, then configures,
# builds and runs the client project CLIENT_SOURCE_DIR against that prefix.
# Fails (non-zero exit) at the first step that does.

foreach(required BUILD_DIR WORK_DIR CLIENT_SOURCE_DIR GENERATOR INSTALL_LIBDIR)
  if(NOT ${required})
    message(FATAL_ERROR "RunClient.cmake: ${required} is not set")
  endif()
endforeach()

function(step name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name} failed (${status}):\n${out}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(client ${WORK_DIR}/client)
file(REMOVE_RECURSE ${WORK_DIR})

step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component Collection)

set(configure ${CMAKE_COMMAND} -S ${CLIENT_SOURCE_DIR} -B ${client} -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)
if(TOOLCHAIN_FILE)
  # A cross build looks for packages only below its root path: name the
  # package's folder instead.
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}
    -DCollection_DIR=${prefix}/${INSTALL_LIBDIR}/cmake/Collection)
else()
  list(APPEND configure -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
endif()
if(CLIENT_FLAGS)
  list(APPEND configure "-DCMAKE_CXX_FLAGS=${CLIENT_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CLIENT_FLAGS}")
endif()
step("configure the client" ${configure})
step("build the client" ${CMAKE_COMMAND} --build ${client})

if(TOOLCHAIN_FILE)
  step("run the client" ${EMULATOR} ${client}/collection_client.exe)
else()
  step("run the client" ${client}/collection_client)
endif()
message("${step_output}")
if(NOT step_output MATCHES "client: all checks passed")
  message(FATAL_ERROR "the client did not report success")
endif()

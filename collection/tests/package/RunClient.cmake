# cmake -P script: installs BUILD_DIR into WORK_DIR/prefix, then configures,
# builds and runs the client project CLIENT_SOURCE_DIR against that prefix;
# natively also compiles the client's program with the flags that
# `pkg-config --cflags --libs collection collection-json` gives for that
# prefix, and runs it.
# Fails (non-zero exit) at the first step that does.

foreach(required BUILD_DIR WORK_DIR CLIENT_SOURCE_DIR GENERATOR INSTALL_LIBDIR)
  if(NOT ${required})
    message(FATAL_ERROR "RunClient.cmake: ${required} is not set")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/ClientSteps.cmake)

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
  run_client(${client}/collection_client.exe)
else()
  run_client(${client}/collection_client)

  # The same program built by hand with pkg-config's flags.
  find_program(PKG_CONFIG pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${INSTALL_LIBDIR}/pkgconfig)
  step("pkg-config" ${PKG_CONFIG} --cflags --libs collection collection-json)
  string(STRIP "${step_output}" pkg_config_flags)
  separate_arguments(pkg_config_flags UNIX_COMMAND "${pkg_config_flags}")
  separate_arguments(client_flags UNIX_COMMAND "${CLIENT_FLAGS}")
  step("compile the client with pkg-config's flags" ${CXX_COMPILER} -std=c++17 ${client_flags}
    ${CLIENT_SOURCE_DIR}/main.cpp ${pkg_config_flags} -o ${client}/collection_client_pkgconfig)
  set(ENV{LD_LIBRARY_PATH} ${prefix}/${INSTALL_LIBDIR})
  run_client(${client}/collection_client_pkgconfig)
endif()

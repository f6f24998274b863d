# cmake -P script: configures, builds and runs the client project
# CLIENT_SOURCE_DIR, which takes SOURCE_DIR (this tree) in with FetchContent,
# with the libraries static (COLLECTION_SHARED_LIBS off); then installs that
# client's build tree, which installs the static libraries as a package, and
# runs RunClient.cmake's client (PACKAGE_CLIENT_SOURCE_DIR) against it.
# Fails (non-zero exit) at the first step that does.

foreach(required SOURCE_DIR WORK_DIR CLIENT_SOURCE_DIR PACKAGE_CLIENT_SOURCE_DIR GENERATOR)
  if(NOT ${required})
    message(FATAL_ERROR "RunFetchContentClient.cmake: ${required} is not set")
  endif()
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/ClientSteps.cmake)

set(fetch_client ${WORK_DIR}/fetch_client)
file(REMOVE_RECURSE ${WORK_DIR})

set(configure ${CMAKE_COMMAND} -S ${CLIENT_SOURCE_DIR} -B ${fetch_client} -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCOLLECTION_SOURCE_DIR=${SOURCE_DIR}
  -DCOLLECTION_SHARED_LIBS=OFF
  -DCOLLECTION_BUILD_SERVER=OFF
  -DFETCHCONTENT_FULLY_DISCONNECTED=ON)
if(TOOLCHAIN_FILE)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
else()
  list(APPEND configure -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
step("configure the FetchContent client" ${configure})
step("build the FetchContent client" ${CMAKE_COMMAND} --build ${fetch_client})
if(TOOLCHAIN_FILE)
  run_client(${fetch_client}/bin/collection_client.exe)
else()
  run_client(${fetch_client}/bin/collection_client)
endif()

# The static libraries as an installed package.
set(BUILD_DIR ${fetch_client})
set(WORK_DIR ${WORK_DIR}/package)
set(CLIENT_SOURCE_DIR ${PACKAGE_CLIENT_SOURCE_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/RunClient.cmake)

# GoogleTest for both targets. Natively every test case is its own ctest entry;
# under Wine a whole test executable is one entry, since each start of a
# Windows process costs far more than the tests in it.

if(CMAKE_CROSSCOMPILING)
  # No GoogleTest is installed for the target: build it from source, the one
  # Debian's googletest package ships by default.
  set(COLLECTION_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
      "GoogleTest's source tree, built for the cross build's tests")
  if(NOT EXISTS ${COLLECTION_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest source in COLLECTION_GOOGLETEST_SOURCE_DIR "
            "(${COLLECTION_GOOGLETEST_SOURCE_DIR}); install Debian's googletest package "
            "or name another folder")
  endif()
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${COLLECTION_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main gmock)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# collection_add_gtest(<target> SOURCES <files...> LIBRARIES <libs...>)
function(collection_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
  collection_target_warnings(${target})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES LABELS windows)
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

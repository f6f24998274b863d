# Build settings shared by every target of the project.

# Programs and libraries in bin/ and lib/ of the build tree (on Windows the
# DLLs beside the programs that load them), unless a project that takes this
# tree in chose its own folders.
if(NOT DEFINED CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endif()
if(NOT DEFINED CMAKE_LIBRARY_OUTPUT_DIRECTORY)
  set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/lib)
endif()
if(NOT DEFINED CMAKE_ARCHIVE_OUTPUT_DIRECTORY)
  set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/lib)
endif()

# A build of its own defaults to Debug; a project that takes the tree in
# keeps its own build type.
if(COLLECTION_IS_TOP_LEVEL AND NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Debug CACHE STRING "Build type" FORCE)
endif()

# Only what the interface names is visible from the shared libraries.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|i[3-6]86)$")
  # SSE arithmetic instead of x87: floating results are rounded to their
  # declared type at every step, the same as on the native build.
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(COLLECTION_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

option(COLLECTION_TSAN "Build with ThreadSanitizer (scripts/test runs the value library's thread test in such a tree)" OFF)
if(COLLECTION_TSAN)
  if(COLLECTION_SANITIZE OR COLLECTION_FUZZ)
    message(FATAL_ERROR "COLLECTION_TSAN cannot be combined with COLLECTION_SANITIZE or COLLECTION_FUZZ")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(COLLECTION_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "COLLECTION_FUZZ needs clang (configure with CC=clang CXX=clang++)")
  endif()
  # Coverage feedback for libFuzzer in every target, under both sanitizers;
  # only the fuzz targets themselves link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for the project's own targets (not for third-party code built here).
set(COLLECTION_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
if(COLLECTION_WERROR)
  list(APPEND COLLECTION_WARNING_FLAGS -Werror)
endif()
function(collection_target_warnings target)
  target_compile_options(${target} PRIVATE ${COLLECTION_WARNING_FLAGS})
endfunction()

# The value library and the framework stand-ins: shared by default, static
# when COLLECTION_SHARED_LIBS is off.
if(COLLECTION_SHARED_LIBS)
  set(COLLECTION_LIBRARY_TYPE SHARED)
else()
  set(COLLECTION_LIBRARY_TYPE STATIC)
endif()

# collection_library_properties(<target> <name> <static macro>): the settings
# of one of the project's libraries. Its files and its name in the installed
# package are <name> (Collection.dll, libCollection.so.1, Collection::<name>),
# while the target itself carries the project's prefix. A shared library is
# versioned natively (libCollection.so.1 with its SONAME, libCollection.so
# to link); the Windows DLL keeps its plain name. A static library defines
# <static macro> for itself and its users, so that its Export.h marks
# nothing for import or export.
function(collection_library_properties target name static_macro)
  collection_target_warnings(${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} EXPORT_NAME ${name})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    if(WIN32)
      set_target_properties(${target} PROPERTIES PREFIX "")
    else()
      set_target_properties(${target} PROPERTIES
        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    endif()
  else()
    target_compile_definitions(${target} PUBLIC ${static_macro})
  endif()
endfunction()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  # The value library, the framework stand-ins and their clients share one C++
  # runtime: exceptions, std::string and std::cerr cross their boundaries.
  # The unwinder's DLL is named after its exception model: DWARF-2 on x86,
  # SEH on x86_64.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(gcc_runtime libgcc_s_seh-1.dll)
  else()
    set(gcc_runtime libgcc_s_dw2-1.dll)
  endif()
  set(COLLECTION_MINGW_RUNTIME_DLLS "")
  foreach(dll libstdc++-6.dll ${gcc_runtime} libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(dll_path "${dll_path}" REALPATH)
    if(NOT EXISTS "${dll_path}")
      message(FATAL_ERROR "MinGW runtime ${dll} not found")
    endif()
    list(APPEND COLLECTION_MINGW_RUNTIME_DLLS "${dll_path}")
  endforeach()
  file(COPY ${COLLECTION_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endif()

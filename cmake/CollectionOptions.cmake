# Build settings shared by every target of the project.

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
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
function(collection_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
  if(COLLECTION_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
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

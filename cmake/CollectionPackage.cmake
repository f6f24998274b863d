# Installation of the value library as a CMake package: headers, the three
# libraries (Collection, Runtime, Quorrel; shared, or static when
# COLLECTION_SHARED_LIBS is off), on Windows the C++ runtime DLLs they share
# with their clients, and a package configuration, so that a client project
# writes
#
#   find_package(Collection CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE Collection::Collection)
#
# and a pkg-config file, collection.pc, for other build systems.
#
# Everything here belongs to the install component "Collection".

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(COLLECTION_INSTALL_CONFIGDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Collection)

# Installed shared objects find each other beside themselves.
if(NOT WIN32 AND NOT APPLE)
  set_target_properties(CollectionValue CollectionRuntime CollectionQuorrel PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS CollectionValue CollectionRuntime CollectionQuorrel
  EXPORT CollectionTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Collection
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Collection
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Collection)

install(DIRECTORY
    ${PROJECT_SOURCE_DIR}/collection/include/Collection
    ${PROJECT_SOURCE_DIR}/framework/include/Runtime
    ${PROJECT_SOURCE_DIR}/framework/include/Quorrel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT Collection
  FILES_MATCHING PATTERN "*.h")

# The DLLs a Windows program of the package needs beside it, by file name;
# the package configuration turns them into paths in the installed prefix.
set(COLLECTION_PACKAGE_DLLS "")
if(WIN32)
  if(COLLECTION_SHARED_LIBS)
    foreach(library Collection Runtime Quorrel)
      list(APPEND COLLECTION_PACKAGE_DLLS ${library}${CMAKE_SHARED_LIBRARY_SUFFIX})
    endforeach()
  endif()
  foreach(dll IN LISTS COLLECTION_MINGW_RUNTIME_DLLS)
    get_filename_component(name "${dll}" NAME)
    list(APPEND COLLECTION_PACKAGE_DLLS ${name})
  endforeach()
  install(FILES ${COLLECTION_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Collection)
endif()

# The JSON library: target Collection::Json, component Json (the package
# always provides it; naming the component only requires it).
if(TARGET CollectionJson)
  if(NOT WIN32 AND NOT APPLE)
    set_target_properties(CollectionJson PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
  install(TARGETS CollectionJson
    EXPORT CollectionTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Collection
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Collection
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Collection)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/collection_json/include/Collection
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    COMPONENT Collection
    FILES_MATCHING PATTERN "*.h")
  if(WIN32 AND COLLECTION_SHARED_LIBS)
    list(APPEND COLLECTION_PACKAGE_DLLS CollectionJson${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
endif()

install(EXPORT CollectionTargets
  NAMESPACE Collection::
  DESTINATION ${COLLECTION_INSTALL_CONFIGDIR}
  COMPONENT Collection)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CollectionConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/CollectionConfig.cmake
  INSTALL_DESTINATION ${COLLECTION_INSTALL_CONFIGDIR}
  PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/CollectionConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/package/CollectionConfig.cmake
    ${PROJECT_BINARY_DIR}/package/CollectionConfigVersion.cmake
  DESTINATION ${COLLECTION_INSTALL_CONFIGDIR}
  COMPONENT Collection)

# pkg-config: `pkg-config --cflags --libs collection` with PKG_CONFIG_PATH
# naming <prefix>/lib/pkgconfig. The file finds the prefix from its own
# folder, so that the package may be installed anywhere (cmake --install
# --prefix).
set(COLLECTION_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH COLLECTION_PKGCONFIG_TO_PREFIX /prefix/${COLLECTION_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" COLLECTION_PKGCONFIG_TO_PREFIX "${COLLECTION_PKGCONFIG_TO_PREFIX}")
if(COLLECTION_SHARED_LIBS)
  set(COLLECTION_PKGCONFIG_CFLAGS "")
  set(COLLECTION_JSON_PKGCONFIG_CFLAGS "")
else()
  set(COLLECTION_PKGCONFIG_CFLAGS " -DCOLLECTION_STATIC -DRUNTIME_STATIC -DQUORREL_STATIC")
  set(COLLECTION_JSON_PKGCONFIG_CFLAGS " -DCOLLECTION_JSON_STATIC")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/collection.pc.in ${PROJECT_BINARY_DIR}/package/collection.pc @ONLY)
# The JSON library's: `pkg-config --cflags --libs collection-json`.
configure_file(${CMAKE_CURRENT_LIST_DIR}/collection-json.pc.in ${PROJECT_BINARY_DIR}/package/collection-json.pc
  @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/collection.pc ${PROJECT_BINARY_DIR}/package/collection-json.pc
  DESTINATION ${COLLECTION_PKGCONFIG_DIR}
  COMPONENT Collection)

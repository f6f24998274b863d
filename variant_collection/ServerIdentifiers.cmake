# The server's identifiers, written once in resources/Identifiers.cmake, and
# what the build makes of them. Include this file, then that one (whose
# entries call the collection_server_* functions below), then call
# collection_server_generate.

# The form every GUID is written in there: upper-case hexadecimal, no braces.
set(collection_guid_pattern
    "^[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]-[0-9A-F][0-9A-F][0-9A-F][0-9A-F]-[0-9A-F][0-9A-F][0-9A-F][0-9A-F]-[0-9A-F][0-9A-F][0-9A-F][0-9A-F]-[0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F][0-9A-F]$")

# collection_server_guid(<what> <guid>): fails the configuration unless
# <guid> is written in that form and no other entry has it.
function(collection_server_guid what guid)
  if(NOT guid MATCHES "${collection_guid_pattern}")
    message(FATAL_ERROR "Identifiers.cmake: ${what}: \"${guid}\" is not a GUID written as "
            "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX (upper-case hexadecimal, no braces)")
  endif()
  get_property(taken GLOBAL PROPERTY COLLECTION_SERVER_GUIDS)
  if(guid IN_LIST taken)
    message(FATAL_ERROR "Identifiers.cmake: ${what}: ${guid} is given to another entry already")
  endif()
  set_property(GLOBAL APPEND PROPERTY COLLECTION_SERVER_GUIDS ${guid})
endfunction()

# collection_server_library(<LIBID> VERSION <major>.<minor>)
function(collection_server_library libid)
  cmake_parse_arguments(ARG "" "VERSION" "" ${ARGN})
  collection_server_guid("the type library" ${libid})
  if(NOT ARG_VERSION MATCHES "^([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "Identifiers.cmake: the type library's VERSION must be <major>.<minor>")
  endif()
  set(COLLECTION_SERVER_LIBID ${libid} PARENT_SCOPE)
  set(COLLECTION_SERVER_LIBRARY_VERSION ${ARG_VERSION} PARENT_SCOPE)
  set(COLLECTION_SERVER_LIBRARY_VERSION_MAJOR ${CMAKE_MATCH_1} PARENT_SCOPE)
  set(COLLECTION_SERVER_LIBRARY_VERSION_MINOR ${CMAKE_MATCH_2} PARENT_SCOPE)
endfunction()

# collection_server_assembly(<name> VERSION <a>.<b>.<c>.<d>)
function(collection_server_assembly name)
  cmake_parse_arguments(ARG "" "VERSION" "" ${ARGN})
  if(NOT ARG_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "Identifiers.cmake: the assembly's VERSION must have four parts")
  endif()
  set(COLLECTION_SERVER_ASSEMBLY_NAME ${name} PARENT_SCOPE)
  set(COLLECTION_SERVER_ASSEMBLY_VERSION ${ARG_VERSION} PARENT_SCOPE)
endfunction()

# collection_server_interface(<name> <IID>)
function(collection_server_interface name iid)
  collection_server_guid("interface ${name}" ${iid})
  set(COLLECTION_SERVER_INTERFACES ${COLLECTION_SERVER_INTERFACES} ${name} PARENT_SCOPE)
  set(COLLECTION_SERVER_IID_${name} ${iid} PARENT_SCOPE)
endfunction()

# collection_server_class(<name> <CLSID> PROGID <version-independent ProgID>
#   VERSION <n> DESCRIPTION <text> [THREADING <model>] [REGISTERED])
function(collection_server_class name clsid)
  cmake_parse_arguments(ARG "REGISTERED" "PROGID;VERSION;DESCRIPTION;THREADING" "" ${ARGN})
  collection_server_guid("class ${name}" ${clsid})
  foreach(required PROGID VERSION DESCRIPTION)
    if(NOT DEFINED ARG_${required})
      message(FATAL_ERROR "Identifiers.cmake: class ${name} needs ${required}")
    endif()
  endforeach()
  set(COLLECTION_SERVER_CLASSES ${COLLECTION_SERVER_CLASSES} ${name} PARENT_SCOPE)
  set(COLLECTION_SERVER_CLSID_${name} ${clsid} PARENT_SCOPE)
  set(COLLECTION_SERVER_PROGID_${name} ${ARG_PROGID} PARENT_SCOPE)
  set(COLLECTION_SERVER_PROGID_VERSION_${name} ${ARG_VERSION} PARENT_SCOPE)
  set(COLLECTION_SERVER_DESCRIPTION_${name} "${ARG_DESCRIPTION}" PARENT_SCOPE)
  set(COLLECTION_SERVER_THREADING_${name} "${ARG_THREADING}" PARENT_SCOPE)
  set(COLLECTION_SERVER_REGISTERED_${name} ${ARG_REGISTERED} PARENT_SCOPE)
endfunction()

# collection_server_xml(<variable> <text>): <text> as an XML attribute value.
function(collection_server_xml variable text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

# collection_server_no_literal_guid(<file>): fails the configuration when
# <file>, which takes its identifiers from Identifiers.cmake, spells a GUID
# out itself.
function(collection_server_no_literal_guid file)
  file(READ ${file} text)
  string(REGEX MATCH "[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]-[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]-"
         literal "${text}")
  if(literal)
    message(FATAL_ERROR "${file} spells out a GUID (${literal}...): give it an entry in "
            "resources/Identifiers.cmake and use the name that entry makes")
  endif()
endfunction()

# collection_server_write_header(<template> <output>): Identifiers.h, with
# the bare forms that the IDL's uuid() and version() attributes take, the
# type library's version as numbers and, for C and C++ code, tables of the
# classes and interfaces with their identifiers as wide strings.
function(collection_server_write_header template output)
  set(COLLECTION_IDL_DEFINES "")
  set(COLLECTION_INTERFACE_TABLE "")
  foreach(name IN LISTS COLLECTION_SERVER_INTERFACES)
    set(iid ${COLLECTION_SERVER_IID_${name}})
    string(APPEND COLLECTION_IDL_DEFINES "#define COLLECTION_IID_${name} ${iid}\n")
    string(APPEND COLLECTION_INTERFACE_TABLE " \\\n  X(${name}, L\"{${iid}}\")")
  endforeach()
  set(COLLECTION_CLASS_TABLE "")
  foreach(name IN LISTS COLLECTION_SERVER_CLASSES)
    set(clsid ${COLLECTION_SERVER_CLSID_${name}})
    set(progid ${COLLECTION_SERVER_PROGID_${name}})
    set(versioned ${progid}.${COLLECTION_SERVER_PROGID_VERSION_${name}})
    if(COLLECTION_SERVER_REGISTERED_${name})
      set(registered 1)
    else()
      set(registered 0)
    endif()
    string(APPEND COLLECTION_IDL_DEFINES "#define COLLECTION_CLSID_${name} ${clsid}\n")
    string(APPEND COLLECTION_CLASS_TABLE
           " \\\n  X(${name}, L\"{${clsid}}\", L\"${progid}\", L\"${versioned}\", ${registered})")
  endforeach()
  configure_file(${template} ${output} @ONLY)
endfunction()

# collection_server_write_script(<class> <template> <output>): the class's
# registry script, with @CLSID@, @LIBID@ (braced), @PROGID@,
# @VERSION_INDEPENDENT_PROGID@, @DESCRIPTION@ and @THREADING_MODEL@
# replaced. A class with a threading model must register it
# (@THREADING_MODEL@), one without must register none.
function(collection_server_write_script name template output)
  collection_server_no_literal_guid(${template})
  file(READ ${template} text)
  set(THREADING_MODEL "${COLLECTION_SERVER_THREADING_${name}}")
  string(FIND "${text}" "@THREADING_MODEL@" uses_threading)
  string(FIND "${text}" "ThreadingModel" names_threading)
  if(THREADING_MODEL AND uses_threading EQUAL -1)
    message(FATAL_ERROR "${template}: class ${name} has the threading model ${THREADING_MODEL}, "
            "which its registry script must register as @THREADING_MODEL@")
  elseif(NOT THREADING_MODEL AND NOT names_threading EQUAL -1)
    message(FATAL_ERROR "${template}: class ${name} has no threading model in Identifiers.cmake, "
            "but its registry script names one")
  endif()
  set(CLSID "{${COLLECTION_SERVER_CLSID_${name}}}")
  set(LIBID "{${COLLECTION_SERVER_LIBID}}")
  set(VERSION_INDEPENDENT_PROGID ${COLLECTION_SERVER_PROGID_${name}})
  set(PROGID ${VERSION_INDEPENDENT_PROGID}.${COLLECTION_SERVER_PROGID_VERSION_${name}})
  set(DESCRIPTION "${COLLECTION_SERVER_DESCRIPTION_${name}}")
  configure_file(${template} ${output} @ONLY)
endfunction()

# collection_server_write_manifest(<template> <output> <module file name>
# <architecture>): the side-by-side manifest: the assembly's identity for
# <architecture> (x86 or amd64); in the file <module>, a comClass for every
# REGISTERED class (clsid, versioned progid, the version-independent one as
# a further progid, tlbid, description, and its threading model when it has
# one) and the type library; and an external proxy stub, the platform's
# type-library marshaller, for every interface.
function(collection_server_write_manifest template output module architecture)
  set(LIBID "{${COLLECTION_SERVER_LIBID}}")
  set(COM_CLASSES "")
  foreach(name IN LISTS COLLECTION_SERVER_CLASSES)
    if(NOT COLLECTION_SERVER_REGISTERED_${name})
      continue()
    endif()
    set(progid ${COLLECTION_SERVER_PROGID_${name}})
    collection_server_xml(description "${COLLECTION_SERVER_DESCRIPTION_${name}}")
    set(model "")
    if(COLLECTION_SERVER_THREADING_${name})
      collection_server_xml(model "${COLLECTION_SERVER_THREADING_${name}}")
      set(model "\n              threadingModel=\"${model}\"")
    endif()
    string(APPEND COM_CLASSES
           "    <comClass clsid=\"{${COLLECTION_SERVER_CLSID_${name}}}\"\n"
           "              progid=\"${progid}.${COLLECTION_SERVER_PROGID_VERSION_${name}}\"\n"
           "              tlbid=\"${LIBID}\"${model}\n"
           "              description=\"${description}\">\n"
           "      <progid>${progid}</progid>\n"
           "    </comClass>\n")
  endforeach()
  set(PROXY_STUBS "")
  foreach(name IN LISTS COLLECTION_SERVER_INTERFACES)
    string(APPEND PROXY_STUBS
           "  <comInterfaceExternalProxyStub name=\"${name}\" iid=\"{${COLLECTION_SERVER_IID_${name}}}\"\n"
           "                                 proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"\n"
           "                                 tlbid=\"${LIBID}\"/>\n")
  endforeach()
  set(ASSEMBLY_NAME ${COLLECTION_SERVER_ASSEMBLY_NAME})
  set(ASSEMBLY_VERSION ${COLLECTION_SERVER_ASSEMBLY_VERSION})
  set(ARCHITECTURE ${architecture})
  set(MODULE ${module})
  set(LIBRARY_VERSION ${COLLECTION_SERVER_LIBRARY_VERSION})
  configure_file(${template} ${output} @ONLY)
endfunction()

# collection_server_generate(RESOURCES <folder> GENERATED <folder>
#   MANIFEST_FOLDER <folder> MODULE <file name> ARCHITECTURE <x86|amd64>
#   IDL <file>)
# Writes, from the entries made so far, each file only when its text
# changes: <GENERATED>/Identifiers.h from <RESOURCES>/Identifiers.h.in,
# <GENERATED>/<class>.rgs from <RESOURCES>/<class>.rgs.in for every class,
# and <MANIFEST_FOLDER>/<assembly name>.manifest from
# <RESOURCES>/Collection.sxs.manifest.in. The IDL must spell out no GUID
# itself. Sets COLLECTION_SERVER_SCRIPTS (the registry scripts written) and
# COLLECTION_SERVER_MANIFEST (the manifest's path) in the caller's scope.
function(collection_server_generate)
  cmake_parse_arguments(ARG "" "RESOURCES;GENERATED;MANIFEST_FOLDER;MODULE;ARCHITECTURE;IDL" "" ${ARGN})
  collection_server_no_literal_guid(${ARG_IDL})
  collection_server_write_header(${ARG_RESOURCES}/Identifiers.h.in ${ARG_GENERATED}/Identifiers.h)
  set(scripts "")
  foreach(name IN LISTS COLLECTION_SERVER_CLASSES)
    collection_server_write_script(${name} ${ARG_RESOURCES}/${name}.rgs.in ${ARG_GENERATED}/${name}.rgs)
    list(APPEND scripts ${ARG_GENERATED}/${name}.rgs)
  endforeach()
  set(manifest ${ARG_MANIFEST_FOLDER}/${COLLECTION_SERVER_ASSEMBLY_NAME}.manifest)
  collection_server_write_manifest(${ARG_RESOURCES}/Collection.sxs.manifest.in ${manifest} ${ARG_MODULE}
                                   ${ARG_ARCHITECTURE})
  set(COLLECTION_SERVER_SCRIPTS ${scripts} PARENT_SCOPE)
  set(COLLECTION_SERVER_MANIFEST ${manifest} PARENT_SCOPE)
endfunction()

# Identifiers.cmake - every identifier of the variant collection server,
# written here and nowhere else: the type library's, its interfaces' and its
# classes', their ProgIDs, and the side-by-side assembly's name and version.
#
# The build makes from these everything that names them
# (../ServerIdentifiers.cmake): generated/Identifiers.h, which the IDL and
# the C++ code include; each class's registry script, from its template
# <class>.rgs.in; and the side-by-side manifest beside the module. Published
# identifiers never change: clients, registries and manifests hold them.
#
# A new class is one collection_server_class entry here and its registry
# script template; a new interface of the type library, one
# collection_server_interface entry.

# The type library: LIBID and version.
collection_server_library(F9572224-7601-4C69-A80E-6468A2841FCB VERSION 1.0)

# The side-by-side assembly that registration-free clients name in their
# application manifests, and the file of its manifest (<name>.manifest).
collection_server_assembly(Collection.sxs VERSION 1.0.0.0)

# The interfaces of the type library that the platform's type-library
# marshaller carries between apartments: name and IID.
collection_server_interface(IXCollection 873026A7-3AB3-11D5-A6D4-000000000000)
collection_server_interface(IXCollection2 7D5BBB50-E553-426E-BEED-B7229FCF13C4)
collection_server_interface(IXItem 9B94F8C8-9829-482D-AE88-95D880AE0E7D)
collection_server_interface(IXJson AC96056F-F05B-476B-92B0-54F7DBC3C061)

# The classes: name, CLSID, version-independent ProgID and the version of the
# versioned one, the name its registry entries carry, its threading model (none
# when not given: it lives in the main apartment), and REGISTERED for a class
# that the module registers and its manifest names; the others' registry
# scripts are carried for tools only.
collection_server_class(XCollection 873026A8-3AB3-11D5-A6D4-000000000000
  PROGID Collection.XCollection VERSION 1 DESCRIPTION "XCollection Class" REGISTERED)
collection_server_class(XEnumVARIANT 4DEDF580-9B98-47E8-9885-55DF86782827
  PROGID Collection.XEnumVARIANT VERSION 1 DESCRIPTION "XEnumVariant Class" THREADING both)
collection_server_class(XItem 1AF892F4-E110-4AD9-9D4E-6B8A5D91FB05
  PROGID Collection.XItem VERSION 1 DESCRIPTION "XItem Class" THREADING Both)
collection_server_class(XJson C64DBB5B-5A12-4981-B093-A9F99602948A
  PROGID Collection.XJson VERSION 1 DESCRIPTION "XJson Class" REGISTERED)

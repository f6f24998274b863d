//===- type_library_test.cpp - Embedded type library and resources --------===//
//
// Reads the type library and the other resources back from the built server
// and checks them against what clients and tools rely on: the types, their
// order, GUIDs and flags, the members' DISPIDs (from DispIds.h) and the
// references to stdole2.tlb, all of which the pruning tool rewrites.
//
//===----------------------------------------------------------------------===//

#include "DispIds.h"
#include "ResourceIds.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ServerTest;

namespace {

/// The library that defines IUnknown, IDispatch and IEnumVARIANT (stdole2.tlb).
const GUID kStdoleLibrary = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class ServerModuleFile : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_module = LoadLibraryExW(ServerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, s_module);
    ASSERT_EQ(S_OK, LoadTypeLibEx(ServerPath().c_str(), REGKIND_NONE, &s_library));
  }
  static void TearDownTestSuite() {
    if (s_library != nullptr)
      s_library->Release();
    s_library = nullptr;
    FreeLibrary(s_module);
  }

  static ComPtr<ITypeInfo> TypeAt(UINT index) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, s_library->GetTypeInfo(index, &info));
    return info;
  }

  /// The vtable half of a dual interface, from its dispatch half.
  static ComPtr<ITypeInfo> VtableHalf(ITypeInfo *dispatchHalf) {
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> half;
    EXPECT_EQ(S_OK, dispatchHalf->GetRefTypeOfImplType(-1, &reference));
    EXPECT_EQ(S_OK, dispatchHalf->GetRefTypeInfo(reference, &half));
    return half;
  }

  /// The type that `info` implements or derives from at `index`, and the
  /// library that holds it.
  static ComPtr<ITypeInfo> ImplementedAt(ITypeInfo *info, UINT index, TLIBATTR *library = nullptr) {
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> implemented;
    EXPECT_EQ(S_OK, info->GetRefTypeOfImplType(index, &reference));
    EXPECT_EQ(S_OK, info->GetRefTypeInfo(reference, &implemented));
    if (implemented && library != nullptr) {
      ComPtr<ITypeLib> container;
      UINT position = 0;
      TLIBATTR *attributes = nullptr;
      EXPECT_EQ(S_OK, implemented->GetContainingTypeLib(&container, &position));
      EXPECT_EQ(S_OK, container->GetLibAttr(&attributes));
      *library = *attributes;
      container->ReleaseTLibAttr(attributes);
    }
    return implemented;
  }

  static GUID GuidOf(ITypeInfo *info) {
    TYPEATTR *attributes = nullptr;
    EXPECT_EQ(S_OK, info->GetTypeAttr(&attributes));
    const GUID guid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return guid;
  }

  static std::wstring NameOf(ITypeInfo *info) {
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    std::wstring result = name ? name : L"";
    SysFreeString(name);
    return result;
  }

  struct TypeFacts {
    const wchar_t *name;
    TYPEKIND kind;
    GUID guid;
    WORD flags;
  };

  static void ExpectType(UINT index, const TypeFacts &facts) {
    ComPtr<ITypeInfo> info = TypeAt(index);
    ASSERT_TRUE(info);
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(S_OK, s_library->GetTypeInfoType(index, &kind));
    EXPECT_EQ(facts.kind, kind) << facts.name;
    TYPEATTR *attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_EQ(facts.kind, attributes->typekind) << facts.name;
    EXPECT_TRUE(IsEqualGUID(facts.guid, attributes->guid)) << facts.name;
    const WORD flags = attributes->wTypeFlags;
    info->ReleaseTypeAttr(attributes);
    if (facts.flags & TYPEFLAG_FDUAL) {
      // The library stores the flags once; the platform reports them on the
      // vtable half and leaves "oleautomation" off the dispatch half.
      EXPECT_EQ(facts.flags & ~TYPEFLAG_FOLEAUTOMATION, flags) << facts.name;
      ComPtr<ITypeInfo> vtableHalf = VtableHalf(info.Get());
      ASSERT_TRUE(vtableHalf);
      ASSERT_EQ(S_OK, vtableHalf->GetTypeAttr(&attributes));
      EXPECT_EQ(TKIND_INTERFACE, attributes->typekind) << facts.name;
      EXPECT_EQ(facts.flags, attributes->wTypeFlags) << facts.name;
      vtableHalf->ReleaseTypeAttr(attributes);
    } else {
      EXPECT_EQ(facts.flags, flags) << facts.name;
    }
    EXPECT_EQ(facts.name, NameOf(info.Get()));
    BSTR libraryName = nullptr;
    EXPECT_EQ(S_OK, s_library->GetDocumentation(index, &libraryName, nullptr, nullptr, nullptr));
    EXPECT_STREQ(facts.name, libraryName);
    SysFreeString(libraryName);
  }

  static HMODULE s_module;
  static ITypeLib *s_library;
};

HMODULE ServerModuleFile::s_module = nullptr;
ITypeLib *ServerModuleFile::s_library = nullptr;

TEST_F(ServerModuleFile, LibraryAttributes) {
  TLIBATTR *attributes = nullptr;
  ASSERT_EQ(S_OK, s_library->GetLibAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(LIBID_COLLECTIONLib, attributes->guid));
  EXPECT_EQ(1, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  EXPECT_EQ(0x0409u, attributes->lcid);
  EXPECT_EQ(sizeof(void *) == 8 ? SYS_WIN64 : SYS_WIN32, attributes->syskind); // the module's own
  s_library->ReleaseTLibAttr(attributes);

  BSTR name = nullptr, helpFile = nullptr;
  ASSERT_EQ(S_OK, s_library->GetDocumentation(-1, &name, nullptr, nullptr, &helpFile));
  EXPECT_STREQ(L"COLLECTIONLib", name);
  EXPECT_EQ(nullptr, helpFile);
  SysFreeString(name);
  SysFreeString(helpFile);
}

// IXCollection keeps its place; IXCollection2, which extends it, follows
// the types that IXCollection brings in; XJson and its interface come after
// every older type.
TEST_F(ServerModuleFile, HoldsExactlyEightTypesInOrder) {
  ASSERT_EQ(8u, s_library->GetTypeInfoCount());
  ExpectType(0, {L"Collection", TKIND_COCLASS, CLSID_Collection, TYPEFLAG_FCANCREATE});
  ExpectType(1, {L"IXCollection", TKIND_DISPATCH, IID_IXCollection,
                 TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE});
  ExpectType(2, {L"IXItem", TKIND_DISPATCH, IID_IXItem,
                 TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE});
  ExpectType(3, {L"IXCollection2", TKIND_DISPATCH, IID_IXCollection2,
                 TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE});
  ExpectType(4, {L"CXEnumVARIANT", TKIND_COCLASS, CLSID_CXEnumVARIANT, TYPEFLAG_FCANCREATE | TYPEFLAG_FHIDDEN});
  ExpectType(5, {L"XItem", TKIND_COCLASS, CLSID_XItem, TYPEFLAG_FCANCREATE | TYPEFLAG_FHIDDEN});
  ExpectType(6, {L"XJson", TKIND_COCLASS, CLSID_XJson, TYPEFLAG_FCANCREATE});
  ExpectType(7, {L"IXJson", TKIND_DISPATCH, IID_IXJson,
                 TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE});
  ComPtr<ITypeInfo> past;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, s_library->GetTypeInfo(8, &past));
}

TEST_F(ServerModuleFile, LeavesIEnumVARIANTToStdole) {
  // Only stdole2.tlb defines the enumerator interface; the library holds
  // no copy of it under any name.
  ComPtr<ITypeInfo> local;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, s_library->GetTypeInfoOfGuid(IID_IEnumVARIANT, &local));
  for (const wchar_t *name : {L"IEnumVARIANT", L"RemoteNext", L"Skip", L"Clone"}) {
    BOOL found = TRUE;
    std::wstring text(name);
    EXPECT_EQ(S_OK, s_library->IsName(&text[0], 0, &found));
    EXPECT_FALSE(found) << text;
  }
}

TEST_F(ServerModuleFile, ClassesImplementTheirDefaultInterface) {
  const struct {
    UINT index;
    GUID iid;
    GUID library;
  } classes[] = {{0, IID_IXCollection2, LIBID_COLLECTIONLib},
                 {4, IID_IEnumVARIANT, kStdoleLibrary},
                 {5, IID_IXItem, LIBID_COLLECTIONLib},
                 {6, IID_IXJson, LIBID_COLLECTIONLib}};
  for (const auto &entry : classes) {
    SCOPED_TRACE(entry.index);
    ComPtr<ITypeInfo> info = TypeAt(entry.index);
    TYPEATTR *attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_EQ(1, attributes->cImplTypes);
    info->ReleaseTypeAttr(attributes);
    INT flags = 0;
    ASSERT_EQ(S_OK, info->GetImplTypeFlags(0, &flags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
    TLIBATTR library{};
    ComPtr<ITypeInfo> implemented = ImplementedAt(info.Get(), 0, &library);
    ASSERT_TRUE(implemented);
    EXPECT_TRUE(IsEqualGUID(entry.iid, GuidOf(implemented.Get())));
    EXPECT_TRUE(IsEqualGUID(entry.library, library.guid));
  }
}

TEST_F(ServerModuleFile, DualInterfacesDeriveFromStdolesIDispatch) {
  for (UINT index : {1u, 2u, 7u}) {
    SCOPED_TRACE(index);
    TLIBATTR library{};
    ComPtr<ITypeInfo> base = ImplementedAt(VtableHalf(TypeAt(index).Get()).Get(), 0, &library);
    ASSERT_TRUE(base);
    EXPECT_TRUE(IsEqualGUID(IID_IDispatch, GuidOf(base.Get())));
    EXPECT_TRUE(IsEqualGUID(kStdoleLibrary, library.guid));
    EXPECT_EQ(2, library.wMajorVerNum);
    EXPECT_EQ(0, library.wMinorVerNum);
  }
}

TEST_F(ServerModuleFile, SecondCollectionInterfaceExtendsTheFirst) {
  TLIBATTR library{};
  ComPtr<ITypeInfo> base = ImplementedAt(VtableHalf(TypeAt(3).Get()).Get(), 0, &library);
  ASSERT_TRUE(base);
  EXPECT_TRUE(IsEqualGUID(IID_IXCollection, GuidOf(base.Get())));
  EXPECT_TRUE(IsEqualGUID(LIBID_COLLECTIONLib, library.guid));
  // Its dispatch half, which script clients read, names every member.
  const struct {
    const wchar_t *name;
    MEMBERID id;
  } members[] = {{L"Item", DISPID_XCOLLECTION_ITEM},          {L"Add", DISPID_XCOLLECTION_ADD},
                 {L"Remove", DISPID_XCOLLECTION_REMOVE},      {L"Count", DISPID_XCOLLECTION_COUNT},
                 {L"_NewEnum", DISPID_XCOLLECTION_NEWENUM},   {L"Exists", DISPID_XCOLLECTION_EXISTS},
                 {L"Keys", DISPID_XCOLLECTION_KEYS},          {L"Items", DISPID_XCOLLECTION_ITEMS},
                 {L"RemoveAll", DISPID_XCOLLECTION_REMOVEALL}};
  for (const auto &member : members) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
    MEMBERID id = 12345;
    EXPECT_EQ(S_OK, TypeAt(3)->GetIDsOfNames(names, 1, &id));
    EXPECT_EQ(member.id, id);
  }
}

/// The members an interface declares itself (from vtable slot `firstSlot`:
/// after the seven of IDispatch, or after those of the interface it
/// extends), in vtable order.
void ExpectMembers(ITypeInfo *dispatchHalf, const std::vector<const wchar_t *> &expectedNames,
                   const std::vector<MEMBERID> &ids, const std::vector<INVOKEKIND> &kinds,
                   const std::vector<std::vector<USHORT>> &parameterFlags, const std::vector<WORD> &functionFlags,
                   UINT firstSlot = 7) {
  // The vtable half lists exactly the interface's own members, in order.
  HREFTYPE reference = 0;
  ASSERT_EQ(S_OK, dispatchHalf->GetRefTypeOfImplType(-1, &reference));
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, dispatchHalf->GetRefTypeInfo(reference, &info));
  TYPEATTR *attributes = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
  EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
  ASSERT_EQ(expectedNames.size(), attributes->cFuncs);
  // A vtable slot is a pointer wide.
  EXPECT_EQ(SHORT((firstSlot + expectedNames.size()) * sizeof(void *)), attributes->cbSizeVft);
  info->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < expectedNames.size(); ++i) {
    FUNCDESC *function = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(i, &function));
    EXPECT_EQ(ids[i], function->memid) << expectedNames[i];
    EXPECT_EQ(kinds[i], function->invkind) << expectedNames[i];
    EXPECT_EQ(FUNC_PUREVIRTUAL, function->funckind) << expectedNames[i];
    EXPECT_EQ(CC_STDCALL, function->callconv);
    EXPECT_EQ(VT_HRESULT, function->elemdescFunc.tdesc.vt);
    EXPECT_EQ(functionFlags[i], function->wFuncFlags) << expectedNames[i];
    EXPECT_EQ(SHORT((firstSlot + i) * sizeof(void *)), function->oVft) << expectedNames[i];
    ASSERT_EQ(parameterFlags[i].size(), static_cast<size_t>(function->cParams)) << expectedNames[i];
    for (size_t p = 0; p < parameterFlags[i].size(); ++p)
      EXPECT_EQ(parameterFlags[i][p], function->lprgelemdescParam[p].paramdesc.wParamFlags)
          << expectedNames[i] << " parameter " << p;
    BSTR nameText = nullptr;
    ASSERT_EQ(S_OK, info->GetDocumentation(function->memid, &nameText, nullptr, nullptr, nullptr));
    EXPECT_STREQ(expectedNames[i], nameText);
    SysFreeString(nameText);
    info->ReleaseFuncDesc(function);
  }
}

TEST_F(ServerModuleFile, CollectionInterfaceMembers) {
  const USHORT in = PARAMFLAG_FIN;
  const USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  ExpectMembers(
      TypeAt(1).Get(), {L"Item", L"Item", L"Add", L"Remove", L"Count", L"_NewEnum"},
      {DISPID_XCOLLECTION_ITEM, DISPID_XCOLLECTION_ITEM, DISPID_XCOLLECTION_ADD, DISPID_XCOLLECTION_REMOVE,
       DISPID_XCOLLECTION_COUNT, DISPID_XCOLLECTION_NEWENUM},
      {INVOKE_PROPERTYPUT, INVOKE_PROPERTYGET, INVOKE_FUNC, INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYGET},
      {{in, in}, {in, retval}, {in, USHORT(in | PARAMFLAG_FOPT)}, {in}, {retval}, {retval}},
      {0, 0, 0, 0, 0, FUNCFLAG_FRESTRICTED});
}

// The members of IXCollection2 come after the six of IXCollection, which
// keeps its slots.
TEST_F(ServerModuleFile, SecondCollectionInterfaceMembers) {
  const USHORT in = PARAMFLAG_FIN;
  const USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  ExpectMembers(
      TypeAt(3).Get(), {L"Exists", L"Keys", L"Items", L"RemoveAll"},
      {DISPID_XCOLLECTION_EXISTS, DISPID_XCOLLECTION_KEYS, DISPID_XCOLLECTION_ITEMS, DISPID_XCOLLECTION_REMOVEALL},
      {INVOKE_FUNC, INVOKE_FUNC, INVOKE_FUNC, INVOKE_FUNC}, {{in, retval}, {retval}, {retval}, {}}, {0, 0, 0, 0},
      7 + 6);
}

TEST_F(ServerModuleFile, ItemInterfaceMembers) {
  const USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  ExpectMembers(TypeAt(2).Get(), {L"Value", L"Key"}, {DISPID_XITEM_VALUE, DISPID_XITEM_KEY},
                {INVOKE_PROPERTYGET, INVOKE_PROPERTYGET}, {{retval}, {retval}}, {0, 0});
}

TEST_F(ServerModuleFile, JsonInterfaceMembers) {
  const USHORT in = PARAMFLAG_FIN;
  const USHORT optional = PARAMFLAG_FIN | PARAMFLAG_FOPT;
  const USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  ExpectMembers(TypeAt(7).Get(), {L"Parse", L"Stringify", L"ReadFile", L"WriteFile"},
                {DISPID_XJSON_PARSE, DISPID_XJSON_STRINGIFY, DISPID_XJSON_READFILE, DISPID_XJSON_WRITEFILE},
                {INVOKE_FUNC, INVOKE_FUNC, INVOKE_FUNC, INVOKE_FUNC},
                {{in, retval}, {in, optional, retval}, {in, retval}, {in, in, optional}}, {0, 0, 0, 0});
  // The parameters' types and names, which script users see.
  ComPtr<ITypeInfo> info = VtableHalf(TypeAt(7).Get());
  const struct {
    UINT function;
    std::vector<const wchar_t *> names;
    std::vector<VARTYPE> types;
  } signatures[] = {{0, {L"Parse", L"Text", L"pValue"}, {VT_BSTR, VT_PTR}},
                    {1, {L"Stringify", L"Value", L"Indent", L"pText"}, {VT_VARIANT, VT_VARIANT, VT_PTR}},
                    {2, {L"ReadFile", L"Path", L"pValue"}, {VT_BSTR, VT_PTR}},
                    {3, {L"WriteFile", L"Value", L"Path", L"Indent"}, {VT_VARIANT, VT_BSTR, VT_VARIANT}}};
  for (const auto &signature : signatures) {
    FUNCDESC *function = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(signature.function, &function));
    for (std::size_t p = 0; p < signature.types.size(); ++p)
      EXPECT_EQ(signature.types[p], function->lprgelemdescParam[p].tdesc.vt) << signature.names[0] << " " << p;
    BSTR names[4] = {};
    UINT count = 0;
    EXPECT_EQ(S_OK, info->GetNames(function->memid, names, 4, &count));
    ASSERT_EQ(signature.names.size(), count);
    for (UINT n = 0; n < count; ++n) {
      EXPECT_STREQ(signature.names[n], names[n]);
      SysFreeString(names[n]);
    }
    info->ReleaseFuncDesc(function);
  }
}

TEST_F(ServerModuleFile, MemberTypesReferToTheLibrarysOwnTypes) {
  // Item get hands out IXItem**: a reference to type 2 of this library.
  ComPtr<ITypeInfo> collection = VtableHalf(TypeAt(1).Get());
  FUNCDESC *itemGet = nullptr;
  ASSERT_EQ(S_OK, collection->GetFuncDesc(1, &itemGet));
  const TYPEDESC &result = itemGet->lprgelemdescParam[1].tdesc;
  ASSERT_EQ(VT_PTR, result.vt);
  ASSERT_EQ(VT_PTR, result.lptdesc->vt);
  ASSERT_EQ(VT_USERDEFINED, result.lptdesc->lptdesc->vt);
  ComPtr<ITypeInfo> item;
  ASSERT_EQ(S_OK, collection->GetRefTypeInfo(result.lptdesc->lptdesc->hreftype, &item));
  collection->ReleaseFuncDesc(itemGet);
  ComPtr<ITypeLib> container;
  UINT index = 99;
  ASSERT_EQ(S_OK, item->GetContainingTypeLib(&container, &index));
  EXPECT_EQ(2u, index);
  EXPECT_TRUE(IsEqualGUID(IID_IXItem, GuidOf(item.Get())));
}

// Add's parameter names are resolved in dispatch_test.cpp.
TEST_F(ServerModuleFile, RemoveNamesItsParameter) {
  BSTR names[2] = {};
  UINT count = 0;
  ASSERT_EQ(S_OK, TypeAt(1)->GetNames(2, names, 2, &count));
  ASSERT_EQ(2u, count);
  EXPECT_STREQ(L"Remove", names[0]);
  EXPECT_STREQ(L"IndexOrKey", names[1]);
  for (BSTR name : names)
    SysFreeString(name);
}

/// A call through ITypeInfo::Invoke of `info` on `object`.
HRESULT InvokeThrough(ITypeInfo *info, void *object, MEMBERID member, WORD flags, std::vector<VARIANT> reversedArgs,
                      VARIANT *result) {
  DISPPARAMS params{};
  params.rgvarg = reversedArgs.empty() ? nullptr : reversedArgs.data();
  params.cArgs = static_cast<UINT>(reversedArgs.size());
  EXCEPINFO exception{};
  UINT argumentError = 0;
  const HRESULT status = info->Invoke(object, member, flags, &params, result, &exception, &argumentError);
  ClearException(exception);
  return status;
}

TEST_F(ServerModuleFile, InvokeThroughEitherHalfReachesTheServer) {
  // The vtable half calls the slots the library describes, so this proves
  // that its layout matches the server's interfaces.
  ComPtr<IXCollection> collection = NewCollection();
  ComPtr<ITypeInfo> dispatchHalf = TypeAt(1);
  ComPtr<ITypeInfo> vtableHalf = VtableHalf(dispatchHalf.Get());
  Var first = Var::Str(L"first"), key = Var::Str(L"k");
  ASSERT_EQ(S_OK, InvokeThrough(vtableHalf.Get(), collection.Get(), DISPID_XCOLLECTION_ADD, DISPATCH_METHOD,
                                {key.Get(), first.Get()}, nullptr));
  Var second = Var::I4(2);
  ASSERT_EQ(S_OK, InvokeThrough(dispatchHalf.Get(), collection.Get(), DISPID_XCOLLECTION_ADD, DISPATCH_METHOD,
                                {second.Get()}, nullptr));
  EXPECT_EQ(2, CountOf(collection.Get()));

  for (ITypeInfo *half : {dispatchHalf.Get(), vtableHalf.Get()}) {
    Var count;
    ASSERT_EQ(S_OK,
              InvokeThrough(half, collection.Get(), DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}, &count));
    ASSERT_EQ(VT_I4, count.Type());
    EXPECT_EQ(2, V_I4(&count.Get()));

    Var item;
    Var selector = Var::Str(L"k");
    ASSERT_EQ(S_OK, InvokeThrough(half, collection.Get(), DISPID_XCOLLECTION_ITEM, DISPATCH_PROPERTYGET,
                                  {selector.Get()}, &item));
    ASSERT_EQ(VT_DISPATCH, item.Type());
    Var value;
    ComPtr<ITypeInfo> itemHalf = VtableHalf(TypeAt(2).Get());
    ComPtr<IXItem> member;
    ASSERT_EQ(S_OK,
              V_DISPATCH(&item.Get())->QueryInterface(IID_IXItem, reinterpret_cast<void **>(member.GetAddressOf())));
    ASSERT_EQ(S_OK,
              InvokeThrough(itemHalf.Get(), member.Get(), DISPID_XITEM_VALUE, DISPATCH_PROPERTYGET, {}, &value));
    EXPECT_EQ(L"first", value.Text());
  }

  // IXCollection2's halves reach its own members and those it extends.
  ComPtr<ITypeInfo> secondDispatchHalf = TypeAt(3);
  ComPtr<ITypeInfo> secondVtableHalf = VtableHalf(secondDispatchHalf.Get());
  ComPtr<IXCollection2> extended;
  ASSERT_EQ(S_OK, collection.As(&extended));
  for (ITypeInfo *half : {secondDispatchHalf.Get(), secondVtableHalf.Get()}) {
    Var exists;
    ASSERT_EQ(S_OK, InvokeThrough(half, extended.Get(), 4, DISPATCH_METHOD, {key.Get()}, &exists));
    ASSERT_EQ(VT_BOOL, exists.Type());
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&exists.Get()));
    Var count;
    ASSERT_EQ(S_OK, InvokeThrough(half, extended.Get(), 3, DISPATCH_PROPERTYGET, {}, &count));
    EXPECT_EQ(2, V_I4(&count.Get()));
  }
  ASSERT_EQ(S_OK, InvokeThrough(secondVtableHalf.Get(), extended.Get(), 7, DISPATCH_METHOD, {}, nullptr));
  EXPECT_EQ(0, CountOf(collection.Get()));

  // IXJson's halves reach XJson; Stringify's Indent may be left out.
  ComPtr<IXJson> json = NewJson();
  ComPtr<ITypeInfo> jsonDispatchHalf = TypeAt(7);
  ComPtr<ITypeInfo> jsonVtableHalf = VtableHalf(jsonDispatchHalf.Get());
  for (ITypeInfo *half : {jsonDispatchHalf.Get(), jsonVtableHalf.Get()}) {
    Var text = Var::Str(L"[1, {\"a\": 2}]");
    Var parsed, written;
    ASSERT_EQ(S_OK, InvokeThrough(half, json.Get(), DISPID_XJSON_PARSE, DISPATCH_METHOD, {text.Get()}, &parsed));
    ASSERT_EQ(S_OK,
              InvokeThrough(half, json.Get(), DISPID_XJSON_STRINGIFY, DISPATCH_METHOD, {parsed.Get()}, &written));
    EXPECT_EQ(L"[1,{\"a\":2}]", written.Text());
  }
}

std::string ResourceText(HMODULE module, int id, const wchar_t *type) {
  HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr)
    return std::string();
  const char *data = static_cast<const char *>(LockResource(LoadResource(module, found)));
  return std::string(data, SizeofResource(module, found));
}

TEST_F(ServerModuleFile, CarriesTheRegistryScripts) {
  // What the collection's script writes is read back from the registry by
  // the registration tests.
  EXPECT_FALSE(ResourceText(s_module, IDR_XCOLLECTION, L"REGISTRY").empty());
  const std::string enumerator = ResourceText(s_module, IDR_XENUMVARIANT, L"REGISTRY");
  EXPECT_NE(std::string::npos, enumerator.find("{4DEDF580-9B98-47E8-9885-55DF86782827}"));
  EXPECT_NE(std::string::npos, enumerator.find("val ThreadingModel = s 'both'"));
  const std::string json = ResourceText(s_module, IDR_XJSON, L"REGISTRY");
  EXPECT_NE(std::string::npos, json.find("{C64DBB5B-5A12-4981-B093-A9F99602948A}"));
  EXPECT_NE(std::string::npos, json.find("CurVer = s 'Collection.XJson.1'"));
  const std::string item = ResourceText(s_module, IDR_XITEM, L"REGISTRY");
  EXPECT_NE(std::string::npos, item.find("{1AF892F4-E110-4AD9-9D4E-6B8A5D91FB05}"));
  EXPECT_NE(std::string::npos, item.find("val ThreadingModel = s 'Both'"));
  EXPECT_FALSE(ResourceText(s_module, IDR_TYPELIB, L"TYPELIB").empty());
}

TEST_F(ServerModuleFile, NamesItselfInItsStringTable) {
  char text[64] = {};
  HMODULE module = LoadLibraryW(ServerPath().c_str());
  ASSERT_NE(nullptr, module);
  EXPECT_EQ(10, LoadStringA(module, IDS_PROJNAME, text, sizeof text));
  EXPECT_STREQ("Collection", text);
  FreeLibrary(module);
}

std::wstring VersionString(const std::vector<BYTE> &block, const wchar_t *name) {
  void *value = nullptr;
  UINT length = 0;
  std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length))
    return L"<missing>";
  return length == 0 ? std::wstring() : std::wstring(static_cast<const wchar_t *>(value));
}

TEST_F(ServerModuleFile, VersionInformation) {
  const std::wstring path = ServerPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_NE(0u, size);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
  const std::wstring fixedText =
      std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
      L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
  EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
  EXPECT_EQ(fixedText, VersionString(block, L"FileVersion"));
  EXPECT_EQ(fixedText, VersionString(block, L"ProductVersion"));
  EXPECT_EQ(L"Generic Variant Collection", VersionString(block, L"FileDescription"));
  EXPECT_EQ(L"Collection", VersionString(block, L"InternalName"));
  EXPECT_EQ(L"Collection.dll", VersionString(block, L"OriginalFilename"));
  EXPECT_EQ(L"", VersionString(block, L"OLESelfRegister"));

  DWORD *translation = nullptr;
  ASSERT_TRUE(
      VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x0409u, LOWORD(*translation));
  EXPECT_EQ(1200u, HIWORD(*translation));
}

} // namespace

//===- registration_free_test.cpp - The server with nothing registered ----===//
//
// A client whose application manifest depends on the server's side-by-side
// assembly, run from a folder of its own with Collection.dll and
// Collection.sxs.manifest beside it, where nothing of the server is
// registered (neither for the machine nor for the user, before and after):
// every class that the module registers is found through the manifest by
// its ProgIDs and its class id, and used through its vtable and through
// IDispatch, in this apartment and from a second one, where the platform's
// type-library marshaller finds the interfaces and the type library through
// the manifest too. The module's other classes are found by neither.
//
//===----------------------------------------------------------------------===//

#include "Collection.h"
#include "ComPtr.h"
#include "Identifiers.h"

#include <gtest/gtest.h>

#include <string>
#include <iostream>
#include <thread>
#include <utility>
#include <vector>

using VariantCollection::ComPtr;

namespace {

struct ServerClass {
  const char *name;
  const wchar_t *clsid;
  const wchar_t *progId; ///< version-independent
  const wchar_t *versionedProgId;
  bool registered;
};
#define COLLECTION_CLASS_ENTRY(name, clsid, progId, versioned, registered)                                           \
  {#name, clsid, progId, versioned, (registered) != 0},
const ServerClass kClasses[] = {COLLECTION_CLASSES(COLLECTION_CLASS_ENTRY)};

#define COLLECTION_INTERFACE_ENTRY(name, iid) iid,
const wchar_t *const kInterfaces[] = {COLLECTION_INTERFACES(COLLECTION_INTERFACE_ENTRY)};

std::string Narrow(const std::wstring &text) { return std::string(text.begin(), text.end()); }

/// The server's keys found in the machine's classes root or in the user's
/// (HKEY_CURRENT_USER\Software\Classes).
std::vector<std::string> RegisteredKeys() {
  std::vector<std::wstring> keys = {std::wstring(L"TypeLib\\") + COLLECTION_LIBID_TEXT};
  for (const ServerClass &serverClass : kClasses)
    keys.insert(keys.end(),
                {std::wstring(L"CLSID\\") + serverClass.clsid, serverClass.progId, serverClass.versionedProgId});
  for (const wchar_t *iid : kInterfaces)
    keys.push_back(std::wstring(L"Interface\\") + iid);
  std::vector<std::string> found;
  for (const std::wstring &key : keys) {
    for (const auto &[root, prefix] : {std::pair<HKEY, std::wstring>{HKEY_CLASSES_ROOT, L"HKCR\\"},
                                       {HKEY_CURRENT_USER, L"HKCU\\Software\\Classes\\"}}) {
      const std::wstring path = root == HKEY_CLASSES_ROOT ? key : L"Software\\Classes\\" + key;
      HKEY opened = nullptr;
      if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
        RegCloseKey(opened);
        found.push_back(Narrow(prefix + key));
      }
    }
  }
  return found;
}

class RegistrationFreeEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(std::vector<std::string>(), RegisteredKeys())
        << "the server is registered in this prefix: unregister it (regsvr32 /u, and /u /n /i:user) first";
  }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(std::vector<std::string>(), RegisteredKeys()) << "using the server wrote into the registry";
  }
};
const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new RegistrationFreeEnvironment);

/// A VARIANT that clears itself.
struct Variant : VARIANT {
  Variant() noexcept { VariantInit(this); }
  explicit Variant(const wchar_t *text) noexcept : Variant() {
    vt = VT_BSTR;
    bstrVal = SysAllocString(text);
  }
  ~Variant() { VariantClear(this); }
  Variant(const Variant &) = delete;
  Variant &operator=(const Variant &) = delete;
  std::wstring Text() const { return vt == VT_BSTR ? std::wstring(bstrVal, SysStringLen(bstrVal)) : L"?"; }
};

/// A late-bound call of the member `name`, found through GetIDsOfNames;
/// `args` in the caller's order.
HRESULT CallByName(IDispatch *object, const wchar_t *name, WORD flags, std::vector<VARIANT> args,
                   VARIANT *result = nullptr) {
  DISPID member = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
  if (FAILED(status))
    return status;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO exception{};
  status = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, nullptr);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return status;
}

/// Creates every class that the module registers by its class id and by
/// the class id that each of its ProgIDs answers (in an activation context
/// an alias that the platform makes for the class, not the class id
/// itself), and expects each object to answer IDispatch with its type
/// information (from the type library) and the interface that describes;
/// `throughProxies` when the caller's apartment is not the classes' own.
void CreateEveryRegisteredClass(bool throughProxies) {
  for (const ServerClass &serverClass : kClasses) {
    if (!serverClass.registered)
      continue;
    SCOPED_TRACE(serverClass.name);
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromString(serverClass.clsid, &clsid));
    std::vector<std::pair<CLSID, std::string>> ways = {{clsid, "class id"}};
    for (const wchar_t *progId : {serverClass.progId, serverClass.versionedProgId}) {
      CLSID found = GUID_NULL;
      EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &found)) << Narrow(progId);
      ways.emplace_back(found, Narrow(progId));
    }
    for (const auto &[way, name] : ways) {
      SCOPED_TRACE(name);
      ComPtr<IUnknown> object;
      ASSERT_EQ(S_OK, CoCreateInstance(way, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
      ComPtr<IMultiQI> proxy; // what the platform's proxies answer, and the server's objects not
      EXPECT_EQ(throughProxies, SUCCEEDED(object.As(&proxy)));
      ComPtr<IDispatch> late;
      ASSERT_EQ(S_OK, object.As(&late));
      ComPtr<ITypeInfo> info;
      ASSERT_EQ(S_OK, late->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
      TYPEATTR *attributes = nullptr;
      ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
      const IID iid = attributes->guid;
      info->ReleaseTypeAttr(attributes);
      ComPtr<IUnknown> early;
      EXPECT_EQ(S_OK, object->QueryInterface(iid, &early));
    }
  }
}

/// Uses a collection through its vtable and through IDispatch: members
/// added each way and read back the other, the count, a position out of
/// range and a member name that does not exist.
void UseCollection(IUnknown *object) {
  ComPtr<IXCollection2> collection;
  ASSERT_EQ(S_OK, object->QueryInterface(IID_IXCollection2, &collection));
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, collection.As(&dispatch));
  LONG count = -1;
  ASSERT_EQ(S_OK, collection->get_Count(&count));
  const LONG before = count;

  EXPECT_EQ(S_OK, collection->Add(Variant(L"apple"), Variant(L"a")));
  EXPECT_EQ(S_OK, CallByName(dispatch.Get(), L"Add", DISPATCH_METHOD, {Variant(L"cherry"), Variant(L"c")}));
  Variant counted;
  EXPECT_EQ(S_OK, CallByName(dispatch.Get(), L"Count", DISPATCH_PROPERTYGET, {}, &counted));
  EXPECT_EQ(VT_I4, counted.vt);
  EXPECT_EQ(before + 2, counted.lVal);
  ComPtr<IXItem> item;
  ASSERT_EQ(S_OK, collection->get_Item(Variant(L"c"), &item));
  Variant value;
  EXPECT_EQ(S_OK, item->get_Value(&value));
  EXPECT_EQ(L"cherry", value.Text());
  Variant byName;
  ASSERT_EQ(S_OK,
            CallByName(dispatch.Get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(L"a")}, &byName));
  ASSERT_EQ(VT_DISPATCH, byName.vt);
  Variant apple;
  EXPECT_EQ(S_OK, CallByName(byName.pdispVal, L"Value", DISPATCH_PROPERTYGET, {}, &apple));
  EXPECT_EQ(L"apple", apple.Text());
  VARIANT_BOOL exists = VARIANT_FALSE;
  EXPECT_EQ(S_OK, collection->Exists(Variant(L"a"), &exists));
  EXPECT_EQ(VARIANT_TRUE, exists);

  Variant beyond;
  beyond.vt = VT_I4;
  beyond.lVal = before + 3;
  IXItem *none = nullptr;
  EXPECT_EQ(E_FAIL, collection->get_Item(beyond, &none));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, CallByName(dispatch.Get(), L"NoSuchMember", DISPATCH_METHOD, {}));
}

TEST(RegistrationFree, EveryRegisteredClassIsFoundByItsProgIdsAndClassIdAndNoOther) {
  CreateEveryRegisteredClass(false);
  for (const ServerClass &serverClass : kClasses) {
    SCOPED_TRACE(serverClass.name);
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(S_OK, CLSIDFromString(serverClass.clsid, &clsid));
    LPOLESTR progId = nullptr;
    if (serverClass.registered) {
      ASSERT_EQ(S_OK, ProgIDFromCLSID(clsid, &progId));
      EXPECT_EQ(std::wstring(serverClass.versionedProgId), progId);
      CoTaskMemFree(progId);
      continue;
    }
    // The manifest names the registered classes only.
    CLSID found = GUID_NULL;
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(serverClass.progId, &found));
    ComPtr<IUnknown> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object));
  }
}

// The collection created by its ProgID, and its error objects, which name
// the class by the ProgID that the manifest gives it.
TEST(RegistrationFree, TheCollectionWorksEarlyAndLateBound) {
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"Collection.XCollection", &clsid));
  ComPtr<IUnknown> collection;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &collection));
  UseCollection(collection.Get());
  ComPtr<IErrorInfo> error;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &error));
  BSTR source = nullptr, description = nullptr;
  EXPECT_EQ(S_OK, error->GetSource(&source));
  EXPECT_EQ(S_OK, error->GetDescription(&description));
  EXPECT_EQ(L"Collection.XCollection.1", std::wstring(source ? source : L""));
  EXPECT_EQ(L"Subscript out of range", std::wstring(description ? description : L""));
  SysFreeString(source);
  SysFreeString(description);
}

/// Runs `work` on a thread of its own, pumping this thread's messages
/// (the classes' own apartment) until it ends.
template <class Work> void RunWhilePumping(Work work) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, done);
  std::thread client([&] {
    work();
    SetEvent(done);
  });
  while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
  }
  client.join();
  CloseHandle(done);
}

/// Wine 8's type-library marshaller loads the library that it finds through
/// the manifest by the manifest's file name, with LoadTypeLib, which
/// registers a library loaded by a relative name: after marshalling, the
/// machine's classes hold the type library's registration (its key and its
/// interfaces' keys). Expects nothing else of the server's in the registry,
/// and removes that registration, so that the prefix is left as the test
/// found it.
void ExpectOnlyTheMarshallersRegistrationAndRemoveIt() {
  std::vector<std::string> expected = {Narrow(std::wstring(L"HKCR\\TypeLib\\") + COLLECTION_LIBID_TEXT)};
  for (const wchar_t *iid : kInterfaces)
    expected.push_back(Narrow(std::wstring(L"HKCR\\Interface\\") + iid));
  const std::vector<std::string> found = RegisteredKeys();
  if (found.empty())
    return;
  EXPECT_EQ(expected, found);
  ComPtr<ITypeLib> library;
  TLIBATTR *attributes = nullptr;
  ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_COLLECTIONLib, COLLECTION_LIBRARY_VERSION_MAJOR,
                                 COLLECTION_LIBRARY_VERSION_MINOR, 0, &library));
  ASSERT_EQ(S_OK, library->GetLibAttr(&attributes));
  EXPECT_EQ(S_OK, UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                    attributes->lcid, attributes->syskind));
  library->ReleaseTLibAttr(attributes);
  std::cout << "the platform's marshaller registered the type library that it found through the manifest\n";
}

class RegistrationFreeApartments : public ::testing::TestWithParam<DWORD> {};

// A client in a multithreaded apartment, or in a second single-threaded
// one, creates every class (which lives in the main apartment, having no
// threading model), and uses a collection that this apartment made and
// handed over, through proxies.
TEST_P(RegistrationFreeApartments, AnotherApartmentUsesTheClassesThroughProxies) {
  ComPtr<IUnknown> mine;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_XCollection, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &mine));
  IStream *stream = nullptr;
  ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IXCollection2, mine.Get(), &stream));
  RunWhilePumping([model = GetParam(), stream] {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, model)));
    {
      ComPtr<IUnknown> handed;
      EXPECT_EQ(S_OK, CoGetInterfaceAndReleaseStream(stream, IID_IXCollection2, &handed));
      if (handed)
        UseCollection(handed.Get());
      CreateEveryRegisteredClass(true);
    }
    MSG message; // a single-threaded apartment handles its messages
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    CoUninitialize();
  });
  LONG count = 0;
  ComPtr<IXCollection2> collection;
  ASSERT_EQ(S_OK, mine.As(&collection));
  EXPECT_EQ(S_OK, collection->get_Count(&count));
  EXPECT_EQ(2, count); // what the other apartment added
  ExpectOnlyTheMarshallersRegistrationAndRemoveIt();
}

INSTANTIATE_TEST_SUITE_P(Server, RegistrationFreeApartments,
                         ::testing::Values(static_cast<DWORD>(COINIT_MULTITHREADED),
                                           static_cast<DWORD>(COINIT_APARTMENTTHREADED)),
                         [](const ::testing::TestParamInfo<DWORD> &model) {
                           return model.param == COINIT_MULTITHREADED ? std::string("Multithreaded")
                                                                      : std::string("SecondSingleThreaded");
                         });

} // namespace

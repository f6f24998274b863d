//===- registration_test.cpp - Self-registration of the built server ------===//
//
// Registers and unregisters the built server in the test prefix through its
// own exports, as regsvr32 does, and reads back what lands in the registry.
// Every case starts and ends with the built server registered, the state
// the other tests of the run rely on.
//
//===----------------------------------------------------------------------===//

#include "Registration.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>

using namespace ServerTest;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{873026A8-3AB3-11D5-A6D4-000000000000}";
const wchar_t kLibraryKey[] = L"TypeLib\\{F9572224-7601-4C69-A80E-6468A2841FCB}";
const wchar_t kLibraryId[] = L"{F9572224-7601-4C69-A80E-6468A2841FCB}";
const wchar_t kClassId[] = L"{873026A8-3AB3-11D5-A6D4-000000000000}";

/// The text of `value` (null: the default value) of HKEY_CLASSES_ROOT\`key`;
/// nothing when the key or the value is missing.
std::optional<std::wstring> ReadText(const std::wstring &key, const wchar_t *value = nullptr) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return std::nullopt;
  wchar_t text[1024];
  DWORD size = sizeof text;
  DWORD type = 0;
  const LONG status = RegQueryValueExW(handle, value, nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ)
    return std::nullopt;
  return std::wstring(text, size / sizeof(wchar_t)).c_str();
}

bool KeyExists(const std::wstring &key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
}

/// The number of subkeys and of values (the default one included) of a key.
std::pair<DWORD, DWORD> Contents(const std::wstring &key) {
  HKEY handle = nullptr;
  DWORD subkeys = 99, values = 99;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS) {
    RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(handle);
  }
  return {subkeys, values};
}

std::wstring FolderOf(const std::wstring &path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

class RegistrationTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_server = std::make_unique<LoadedServer>(ServerPath());
    ASSERT_TRUE(m_server->Loaded());
    ASSERT_EQ(S_OK, m_server->Register());
  }
  void TearDown() override { EXPECT_EQ(S_OK, m_server->Register()); }

  /// Expects every entry of the class and of its type library, with the
  /// server module at `modulePath`.
  static void ExpectRegistered(const std::wstring &modulePath) {
    const std::wstring classKey = kClassKey;
    EXPECT_EQ(L"XCollection Class", ReadText(L"Collection.XCollection.1"));
    EXPECT_EQ(kClassId, ReadText(L"Collection.XCollection.1\\CLSID"));
    EXPECT_EQ(L"XCollection Class", ReadText(L"Collection.XCollection"));
    EXPECT_EQ(kClassId, ReadText(L"Collection.XCollection\\CLSID"));
    EXPECT_EQ(L"Collection.XCollection.1", ReadText(L"Collection.XCollection\\CurVer"));

    EXPECT_EQ(L"XCollection Class", ReadText(classKey));
    EXPECT_EQ(L"Collection.XCollection.1", ReadText(classKey + L"\\ProgID"));
    EXPECT_EQ(L"Collection.XCollection", ReadText(classKey + L"\\VersionIndependentProgID"));
    EXPECT_TRUE(KeyExists(classKey + L"\\Programmable"));
    EXPECT_EQ((std::pair<DWORD, DWORD>(0, 0)), Contents(classKey + L"\\Programmable"));
    EXPECT_EQ(modulePath, ReadText(classKey + L"\\InprocServer32"));
    // Only the module path: the class lives in the main apartment.
    EXPECT_EQ(std::nullopt, ReadText(classKey + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ((std::pair<DWORD, DWORD>(0, 1)), Contents(classKey + L"\\InprocServer32"));
    EXPECT_EQ(kLibraryId, ReadText(classKey + L"\\TypeLib"));
    EXPECT_EQ((std::pair<DWORD, DWORD>(5, 1)), Contents(classKey));

    const std::wstring libraryKey = std::wstring(kLibraryKey) + L"\\1.0";
    EXPECT_EQ(L"Pellucor Collection Library", ReadText(libraryKey));
    EXPECT_EQ(modulePath, ReadText(libraryKey + L"\\409\\win32"));
    EXPECT_EQ(FolderOf(modulePath), ReadText(libraryKey + L"\\HELPDIR"));
    for (const wchar_t *iid : {L"{873026A7-3AB3-11D5-A6D4-000000000000}", L"{9B94F8C8-9829-482D-AE88-95D880AE0E7D}"})
      EXPECT_EQ(kLibraryId, ReadText(std::wstring(L"Interface\\") + iid + L"\\TypeLib")) << iid;

    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_Collection, &progId));
    EXPECT_STREQ(L"Collection.XCollection.1", progId);
    CoTaskMemFree(progId);
  }

  static void ExpectUnregistered() {
    for (const wchar_t *key : {L"Collection.XCollection.1", L"Collection.XCollection", kClassKey, kLibraryKey,
                               L"Interface\\{873026A7-3AB3-11D5-A6D4-000000000000}",
                               L"Interface\\{9B94F8C8-9829-482D-AE88-95D880AE0E7D}"})
      EXPECT_FALSE(KeyExists(key)) << key;
    // What the server does not own stays.
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(KeyExists(L"Interface\\{00020404-0000-0000-C000-000000000046}"));

    LPOLESTR progId = nullptr;
    EXPECT_NE(S_OK, ProgIDFromCLSID(CLSID_Collection, &progId));
    CoTaskMemFree(progId);
    CLSID clsid;
    ExpectFailure(CLSIDFromProgID(L"Collection.XCollection", &clsid));
    ExpectFailure(CLSIDFromProgID(L"Collection.XCollection.1", &clsid));
    ComPtr<IUnknown> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IUnknown, reinterpret_cast<void **>(object.GetAddressOf())));
  }

  /// A collection made by the platform from `progId`, through the
  /// registered server.
  static ComPtr<IXCollection> CreateByProgId(const wchar_t *progId) {
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid)) << progId;
    EXPECT_TRUE(IsEqualCLSID(CLSID_Collection, clsid)) << progId;
    ComPtr<IXCollection> collection;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXCollection,
                                     reinterpret_cast<void **>(collection.GetAddressOf())));
    return collection;
  }

  static void ExpectFailure(HRESULT status) { EXPECT_TRUE(FAILED(status)) << std::hex << status; }

  std::unique_ptr<LoadedServer> m_server;
};

TEST_F(RegistrationTest, WritesTheClassItsProgIdsAndItsTypeLibrary) { ExpectRegistered(ServerPath()); }

TEST_F(RegistrationTest, ClientsCreateTheCollectionByEitherProgId) {
  for (const wchar_t *progId : {L"Collection.XCollection", L"Collection.XCollection.1"}) {
    ComPtr<IXCollection> collection = CreateByProgId(progId);
    ASSERT_TRUE(collection) << progId;
    AddOrFail(collection.Get(), Var::Str(L"value"), Var::Str(L"key"));
    EXPECT_EQ(1, CountOf(collection.Get()));
    // Late-bound, through the registered type library.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, collection.As(&dispatch));
    Var count;
    ASSERT_EQ(S_OK, Call(dispatch.Get(), 3, DISPATCH_PROPERTYGET, {}, &count));
    EXPECT_EQ(1, V_I4(&count));
    ComPtr<IEnumVARIANT> enumerator;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, collection->get__NewEnum(&unknown));
    ASSERT_EQ(S_OK, unknown.As(&enumerator));
    Var value;
    EXPECT_EQ(S_OK, enumerator->Next(1, &value, nullptr));
    EXPECT_EQ(L"value", value.Text());
  }
}

TEST_F(RegistrationTest, UnregisteringRemovesWhatRegisteringWrote) {
  EXPECT_EQ(S_OK, m_server->Unregister());
  ExpectUnregistered();
  EXPECT_EQ(S_OK, m_server->Unregister()); // nothing left to remove
  ExpectUnregistered();
  // Registering again writes everything anew.
  ASSERT_EQ(S_OK, m_server->Register());
  ExpectRegistered(ServerPath());
  EXPECT_TRUE(CreateByProgId(L"Collection.XCollection"));
}

// On a thread that has not initialised COM the registrar cannot be created:
// registration fails with that status before it touches the type library,
// and unregistration still answers S_OK.
TEST_F(RegistrationTest, WithoutTheRegistrarNothingIsRegistered) {
  ASSERT_EQ(S_OK, m_server->Unregister());
  HRESULT registered = S_OK;
  HRESULT unregistered = E_FAIL;
  std::thread withoutCom([&] {
    registered = m_server->Register();
    unregistered = m_server->Unregister();
  });
  withoutCom.join();
  EXPECT_EQ(CO_E_NOTINITIALIZED, registered);
  EXPECT_EQ(S_OK, unregistered);
  ExpectUnregistered();
}

// The registrar reads the module path between single quotes in its scripts;
// a quote in the path must still land in the registry unchanged.
TEST_F(RegistrationTest, APathWithASingleQuoteIsStoredUnchanged) {
  const std::wstring folder = FolderOf(ProgramPath()) + L"server's copy\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring copy = folder + L"Collection.dll";
  ASSERT_TRUE(CopyFileW(ServerPath().c_str(), copy.c_str(), FALSE));
  {
    LoadedServer server(copy);
    ASSERT_TRUE(server.Loaded());
    ASSERT_EQ(S_OK, server.Register());
    ExpectRegistered(copy);
    ComPtr<IXCollection> collection = CreateByProgId(L"Collection.XCollection.1");
    EXPECT_TRUE(collection);
    collection.Reset();
    EXPECT_EQ(S_OK, server.Unregister());
    ExpectUnregistered();
  }
}

/// The type library of the built server written to `path` as a file.
bool WriteTypeLibraryFile(const std::wstring &path) {
  HMODULE module = LoadLibraryExW(ServerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB");
  HGLOBAL data = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  bool written = false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE && data != nullptr) {
    DWORD done = 0;
    written = WriteFile(file, LockResource(data), size, &done, nullptr) && done == size;
  }
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  FreeLibrary(module);
  return written;
}

// A module without an embedded type library registers the one beside it.
TEST_F(RegistrationTest, TypeLibraryComesFromTheFileBesideAModuleWithoutOne) {
  const std::wstring folder = FolderOf(ProgramPath()) + L"library beside\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  // This program is a module without a type library.
  const std::wstring module = folder + L"Server.v1.dll";
  ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), module.c_str(), FALSE));
  const std::wstring library = folder + L"Server.v1.tlb";
  ASSERT_TRUE(WriteTypeLibraryFile(library));

  EXPECT_EQ(S_OK, VariantCollection::RegisterTypeLibrary(module.c_str()));
  EXPECT_EQ(library, ReadText(std::wstring(kLibraryKey) + L"\\1.0\\409\\win32"));
  EXPECT_EQ(folder, ReadText(std::wstring(kLibraryKey) + L"\\1.0\\HELPDIR"));
  EXPECT_EQ(S_OK, VariantCollection::UnregisterTypeLibrary(module.c_str()));
  EXPECT_FALSE(KeyExists(kLibraryKey));

  // With no library at all, registration fails and unregistration leaves
  // another module's registration alone.
  ASSERT_EQ(S_OK, m_server->Register());
  ASSERT_TRUE(DeleteFileW(library.c_str()));
  EXPECT_TRUE(FAILED(VariantCollection::RegisterTypeLibrary(module.c_str())));
  EXPECT_TRUE(FAILED(VariantCollection::UnregisterTypeLibrary(module.c_str())));
  EXPECT_EQ(ServerPath(), ReadText(std::wstring(kLibraryKey) + L"\\1.0\\409\\win32"));
}

TEST(RegistrationPaths, QuotesAreDoubledForTheRegistrar) {
  using VariantCollection::QuoteForRegistrar;
  EXPECT_EQ(L"C:\\plain\\Collection.dll", QuoteForRegistrar(L"C:\\plain\\Collection.dll"));
  EXPECT_EQ(L"C:\\it''s\\''''.dll", QuoteForRegistrar(L"C:\\it's\\''.dll"));
}

TEST(RegistrationPaths, LibraryFileAndHelpDirectoryComeFromTheFileName) {
  using VariantCollection::HelpDirectoryOf;
  using VariantCollection::TypeLibraryFileBeside;
  EXPECT_EQ(L"C:\\a\\Collection.tlb", TypeLibraryFileBeside(L"C:\\a\\Collection.dll"));
  EXPECT_EQ(L"C:\\a\\Collection.v1.tlb", TypeLibraryFileBeside(L"C:\\a\\Collection.v1.dll"));
  // A full stop in a folder's name is not the file's extension.
  EXPECT_EQ(L"C:\\a.b\\Collection.tlb", TypeLibraryFileBeside(L"C:\\a.b\\Collection"));
  EXPECT_EQ(L"C:\\a\\Collection.tlb", TypeLibraryFileBeside(L"C:\\a\\Collection"));
  EXPECT_EQ(L"C:\\a\\", HelpDirectoryOf(L"C:\\a\\Collection.dll"));
  EXPECT_EQ(L"/a/", HelpDirectoryOf(L"/a/Collection.dll"));
  EXPECT_EQ(L"C:", HelpDirectoryOf(L"C:Collection.dll"));
  EXPECT_EQ(L"", HelpDirectoryOf(L"Collection.dll"));
}

} // namespace

//===- registration_test.cpp - Self-registration of the built server ------===//
//
// Registers and unregisters the built server in the test prefix through its
// own exports, as regsvr32 does, and checks that the platform finds the
// class and its type library, or no longer finds them. Every case starts
// and ends with the built server registered, the state the other tests of
// the run rely on.
//
//===----------------------------------------------------------------------===//

#include "Registration.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

using namespace ServerTest;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{873026A8-3AB3-11D5-A6D4-000000000000}";
const wchar_t kJsonClassKey[] = L"CLSID\\{C64DBB5B-5A12-4981-B093-A9F99602948A}";
const wchar_t kLibraryKey[] = L"TypeLib\\{F9572224-7601-4C69-A80E-6468A2841FCB}";

/// The text of the default value of HKEY_CLASSES_ROOT\`key`; nothing when
/// the key or the value is missing.
std::optional<std::wstring> ReadText(const std::wstring &key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return std::nullopt;
  wchar_t text[1024];
  DWORD size = sizeof text;
  DWORD type = 0;
  const LONG status = RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
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

std::wstring FolderOf(const std::wstring &path) { return path.substr(0, path.find_last_of(L'\\') + 1); }

// What lands in the registry, line by line, is checked in a classes root of
// the test's own by registration_fault_test.cpp.
class RegistrationTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_server = std::make_unique<LoadedServer>(ServerPath());
    ASSERT_TRUE(m_server->Loaded());
    ASSERT_EQ(S_OK, m_server->Register());
  }
  void TearDown() override { EXPECT_EQ(S_OK, m_server->Register()); }

  /// Expects the class, found by either ProgID, and its type library, both
  /// with the server module at `modulePath`.
  static void ExpectRegistered(const std::wstring &modulePath) {
    LPOLESTR progId = nullptr;
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_Collection, &progId));
    EXPECT_STREQ(L"Collection.XCollection.1", progId);
    CoTaskMemFree(progId);
    EXPECT_EQ(modulePath, ReadText(std::wstring(kClassKey) + L"\\InprocServer32"));
    const std::wstring libraryKey = std::wstring(kLibraryKey) + L"\\1.0";
    // Under the library's own locale, and under the neutral one, where the
    // platform's marshaller looks it up; for the module's system kind.
    const std::wstring kind = sizeof(void *) == 8 ? L"win64" : L"win32";
    EXPECT_EQ(modulePath, ReadText(libraryKey + L"\\409\\" + kind));
    EXPECT_EQ(modulePath, ReadText(libraryKey + L"\\0\\" + kind));
    EXPECT_EQ(FolderOf(modulePath), ReadText(libraryKey + L"\\HELPDIR"));
    for (const wchar_t *name : {L"Collection.XCollection", L"Collection.XCollection.1"}) {
      CLSID clsid = GUID_NULL;
      EXPECT_EQ(S_OK, CLSIDFromProgID(name, &clsid)) << name;
      EXPECT_TRUE(IsEqualCLSID(CLSID_Collection, clsid)) << name;
      ComPtr<IXCollection> collection;
      EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXCollection,
                                       reinterpret_cast<void **>(collection.GetAddressOf())));
    }
    // XJson beside it, registered the same way.
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_XJson, &progId));
    EXPECT_STREQ(L"Collection.XJson.1", progId);
    CoTaskMemFree(progId);
    EXPECT_EQ(modulePath, ReadText(std::wstring(kJsonClassKey) + L"\\InprocServer32"));
    EXPECT_EQ(L"Collection.XJson.1", ReadText(L"Collection.XJson\\CurVer"));
    for (const wchar_t *name : {L"Collection.XJson", L"Collection.XJson.1"}) {
      CLSID clsid = GUID_NULL;
      EXPECT_EQ(S_OK, CLSIDFromProgID(name, &clsid)) << name;
      EXPECT_TRUE(IsEqualCLSID(CLSID_XJson, clsid)) << name;
      ComPtr<IXJson> json;
      EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXJson,
                                       reinterpret_cast<void **>(json.GetAddressOf())));
    }
  }

  static void ExpectUnregistered() {
    for (const wchar_t *key :
         {L"Collection.XCollection.1", L"Collection.XCollection", kClassKey, kLibraryKey,
          L"Interface\\{873026A7-3AB3-11D5-A6D4-000000000000}", L"Interface\\{7D5BBB50-E553-426E-BEED-B7229FCF13C4}",
          L"Interface\\{9B94F8C8-9829-482D-AE88-95D880AE0E7D}", L"Collection.XJson.1", L"Collection.XJson",
          kJsonClassKey, L"Interface\\{AC96056F-F05B-476B-92B0-54F7DBC3C061}"})
      EXPECT_FALSE(KeyExists(key)) << key;
    // What the server does not own stays.
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(KeyExists(L"Interface\\{00020404-0000-0000-C000-000000000046}"));

    LPOLESTR progId = nullptr;
    EXPECT_NE(S_OK, ProgIDFromCLSID(CLSID_Collection, &progId));
    CoTaskMemFree(progId);
    CLSID clsid;
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Collection.XCollection", &clsid)));
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Collection.XCollection.1", &clsid)));
    ComPtr<IUnknown> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                    reinterpret_cast<void **>(object.GetAddressOf())));
  }

  std::unique_ptr<LoadedServer> m_server;
};

TEST_F(RegistrationTest, UnregisteringRemovesWhatRegisteringWrote) {
  ExpectRegistered(ServerPath());
  EXPECT_EQ(S_OK, m_server->Unregister());
  ExpectUnregistered();
  EXPECT_EQ(S_OK, m_server->Unregister()); // nothing left to remove
  ExpectUnregistered();
  // Registering again writes everything anew.
  ASSERT_EQ(S_OK, m_server->Register());
  ExpectRegistered(ServerPath());
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
    EXPECT_EQ(S_OK, server.Unregister());
    ExpectUnregistered();
  }
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

//===- registration_fault_test.cpp - Registration when things go wrong ----===//
//
// Registers and unregisters the built server (and a build of it without a
// type library of its own) through its exports into a classes root of this
// process's own (RegistrySandbox), with parts of the registry missing or
// read-only, without a type library, and without the registrar; each case
// for the machine (DllRegisterServer) and for the user (DllInstall "user").
// Every failure must be reported as a failing status, unregistration always
// answers S_OK, and whatever a failed registration left behind is
// repaired by the next registration that can succeed: it then leaves
// exactly the registration of a clean system, and unregistration leaves
// nothing. A registration for the user writes exactly what one for the
// machine writes, into the user's classes root, and nothing into the
// machine's.
//
//===----------------------------------------------------------------------===//

#include "Registrar.h"
#include "Registration.h"

#include "support/RegistrySandbox.h"
#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace ServerTest;

namespace {

using VariantCollection::ClassesRoot;
using VariantCollection::RegistrationScope;

const wchar_t kClassId[] = L"{873026A8-3AB3-11D5-A6D4-000000000000}";
const wchar_t kJsonClassId[] = L"{C64DBB5B-5A12-4981-B093-A9F99602948A}";
const wchar_t kLibraryId[] = L"{F9572224-7601-4C69-A80E-6468A2841FCB}";
const wchar_t *const kInterfaceIds[] = {L"{873026A7-3AB3-11D5-A6D4-000000000000}",
                                        L"{7D5BBB50-E553-426E-BEED-B7229FCF13C4}",
                                        L"{9B94F8C8-9829-482D-AE88-95D880AE0E7D}"};

std::wstring Lower(std::wstring text) {
  for (wchar_t &c : text)
    c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

/// The lines that the registry script of the class `classId` with the
/// ProgID "Collection.<name>" writes (as RegistrySandbox::Contents reads
/// them), for the module at `module`.
std::vector<std::wstring> ClassLines(const std::wstring &module, const std::wstring &classId,
                                     const std::wstring &name) {
  const std::wstring key = L"clsid\\" + Lower(classId);
  const std::wstring title = name + L" Class";
  const std::wstring progId = L"Collection." + name;
  const std::wstring lower = Lower(progId);
  return {
      key,
      key + L"|=" + title,
      key + L"\\inprocserver32",
      key + L"\\inprocserver32|=" + module,
      key + L"\\progid",
      key + L"\\progid|=" + progId + L".1",
      key + L"\\programmable",
      key + L"\\typelib",
      key + L"\\typelib|=" + kLibraryId,
      key + L"\\versionindependentprogid",
      key + L"\\versionindependentprogid|=" + progId,
      lower,
      lower + L"|=" + title,
      lower + L"\\clsid",
      lower + L"\\clsid|=" + classId,
      lower + L"\\curver",
      lower + L"\\curver|=" + progId + L".1",
      lower + L".1",
      lower + L".1|=" + title,
      lower + L".1\\clsid",
      lower + L".1\\clsid|=" + classId,
  };
}

/// The lines that the registry scripts of the server's classes (the
/// collection and XJson) write, sorted.
std::vector<std::wstring> ClassLines(const std::wstring &module) {
  std::vector<std::wstring> lines = ClassLines(module, kClassId, L"XCollection");
  for (std::wstring &line : ClassLines(module, kJsonClassId, L"XJson"))
    lines.push_back(std::move(line));
  lines.push_back(L"clsid");
  std::sort(lines.begin(), lines.end());
  return lines;
}

/// The lines of `contents` that belong to the class and its ProgIDs.
std::vector<std::wstring> ClassPart(const std::vector<std::wstring> &contents) {
  std::vector<std::wstring> lines;
  for (const std::wstring &line : contents)
    if (line.rfind(L"clsid", 0) == 0 || line.rfind(L"collection.", 0) == 0)
      lines.push_back(line);
  return lines;
}

bool Contains(const std::vector<std::wstring> &contents, const std::wstring &line) {
  return std::find(contents.begin(), contents.end(), line) != contents.end();
}

std::string Narrow(const std::wstring &text) { return std::string(text.begin(), text.end()); }

/// Expects exactly the class's registration for `module`, and the type
/// library's registration from `library` (its help directory the folder
/// of `library`).
void ExpectRegistered(const RegistrySandbox &sandbox, const std::wstring &module, const std::wstring &library) {
  const std::vector<std::wstring> contents = sandbox.Contents();
  EXPECT_EQ(ClassLines(module), ClassPart(contents));
  const std::wstring version = L"typelib\\" + Lower(kLibraryId) + L"\\1.0";
  const std::wstring kind = sizeof(void *) == 8 ? L"win64" : L"win32";
  for (const std::wstring &line :
       {version + L"|=Pellucor Collection Library", version + L"\\409\\" + kind + L"|=" + library,
        version + L"\\0\\" + kind + L"|=" + library,
        version + L"\\helpdir|=" + library.substr(0, library.find_last_of(L'\\') + 1),
        std::wstring(L"interface\\{873026a7-3ab3-11d5-a6d4-000000000000}\\typelib|=") + kLibraryId,
        std::wstring(L"interface\\{7d5bbb50-e553-426e-beed-b7229fcf13c4}\\typelib|=") + kLibraryId,
        std::wstring(L"interface\\{9b94f8c8-9829-482d-ae88-95d880ae0e7d}\\typelib|=") + kLibraryId,
        std::wstring(L"interface\\{ac96056f-f05b-476b-92b0-54f7dbc3c061}\\typelib|=") + kLibraryId})
    EXPECT_TRUE(Contains(contents, line)) << Narrow(line);
}

/// Expects none of the server's keys in the machine's classes root, in
/// either registry view.
void ExpectNoneInTheMachinesClasses() {
  std::vector<std::wstring> keys = {std::wstring(L"CLSID\\") + kClassId, L"Collection.XCollection",
                                    L"Collection.XCollection.1", std::wstring(L"TypeLib\\") + kLibraryId};
  for (const wchar_t *iid : kInterfaceIds)
    keys.push_back(std::wstring(L"Interface\\") + iid);
  for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
    for (const std::wstring &key : keys) {
      HKEY opened = nullptr;
      EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &opened))
          << Narrow(key) << (view == KEY_WOW64_32KEY ? " (32-bit view)" : " (64-bit view)");
      if (opened != nullptr)
        RegCloseKey(opened);
    }
}

/// Expects nothing but the roots that registration may create and never
/// removes.
void ExpectNothingLeft(const RegistrySandbox &sandbox) {
  for (const std::wstring &line : sandbox.Contents())
    EXPECT_TRUE(line == L"clsid" || line == L"interface" || line == L"typelib") << Narrow(line);
}

void ExpectNoTypeLibrary(const RegistrySandbox &sandbox) {
  for (const std::wstring &line : sandbox.Contents())
    EXPECT_TRUE(line.rfind(L"typelib\\", 0) != 0 && line.rfind(L"interface\\", 0) != 0) << Narrow(line);
}

std::wstring Hex(HRESULT status) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(status));
  return text;
}

/// Each case runs for the machine, into a sandboxed HKEY_CLASSES_ROOT, and
/// for the user, into a sandboxed HKEY_CURRENT_USER. For the user the run's
/// registration for the machine is removed while the case runs, and the
/// machine's classes root must hold none of the server's keys at its end
/// (unless the registrar is missing: then that registration can be neither
/// removed nor put back).
class RegistrationFaults : public ::testing::TestWithParam<RegistrationScope> {
protected:
  void SetUp() override {
    m_server = std::make_unique<LoadedServer>(ServerPath(), GetParam());
    ASSERT_TRUE(m_server->Loaded());
    ComPtr<IUnknown> registrar;
    if (GetParam() == RegistrationScope::User &&
        SUCCEEDED(CoCreateInstance(VariantCollection::CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void **>(registrar.GetAddressOf())))) {
      m_machine = std::make_unique<LoadedServer>(ServerPath());
      ASSERT_EQ(S_OK, m_machine->Unregister());
    }
  }
  void TearDown() override {
    m_sandbox.reset();
    if (m_machine) {
      ExpectNoneInTheMachinesClasses();
      EXPECT_EQ(S_OK, m_machine->Register());
    }
  }

  /// Replaces the sandbox with a fresh, empty classes root. A test stops
  /// here when it cannot have one, so that it never changes the machine's
  /// registration.
  void FreshSandbox() {
    m_sandbox.reset(); // one at a time
    m_sandbox = std::make_unique<RegistrySandbox>(GetParam());
    ASSERT_TRUE(m_sandbox->Ready());
  }

  /// Every key that registration writes into an empty classes root.
  void RegisteredKeys(std::vector<std::wstring> &keys) {
    ASSERT_NO_FATAL_FAILURE(FreshSandbox());
    ASSERT_EQ(S_OK, m_server->Register());
    keys = m_sandbox->Keys();
  }

  /// Registers and expects a clean registration, then unregisters and
  /// expects nothing left.
  void ExpectRepairedAndRemoved() {
    ASSERT_EQ(S_OK, m_server->Register());
    ExpectRegistered(*m_sandbox, m_server->Path(), m_server->Path());
    EXPECT_EQ(S_OK, m_server->Unregister());
    ExpectNothingLeft(*m_sandbox);
  }

  std::unique_ptr<LoadedServer> m_server;
  std::unique_ptr<LoadedServer> m_machine; ///< For the user: the run's registration, put back at the end.
  std::unique_ptr<RegistrySandbox> m_sandbox;
};

// A system that has never seen a class or a type library: the roots are
// created as well, and unregistration leaves only them.
TEST_P(RegistrationFaults, RegistersIntoAnEmptyClassesRoot) {
  ASSERT_NO_FATAL_FAILURE(FreshSandbox());
  EXPECT_TRUE(m_sandbox->Contents().empty());
  EXPECT_EQ(S_OK, m_server->Unregister()); // nothing to remove
  EXPECT_TRUE(m_sandbox->Contents().empty());
  ASSERT_EQ(S_OK, m_server->Register());
  ExpectRegistered(*m_sandbox, m_server->Path(), m_server->Path());
  const std::vector<std::wstring> once = m_sandbox->Contents();
  ASSERT_EQ(S_OK, m_server->Register());
  EXPECT_EQ(once, m_sandbox->Contents()); // registering again changes nothing
  EXPECT_EQ(S_OK, m_server->Unregister());
  ExpectNothingLeft(*m_sandbox);
}

// Someone deleted one key of the registration: unregistering still
// answers S_OK and removes the class entirely; registering again repairs
// everything. (Without its type library's key the platform cannot find
// the interfaces that library registered: they stay until the next
// registration, whose unregistration removes them.)
TEST_P(RegistrationFaults, AMissingKeyIsSkippedAndRepaired) {
  std::vector<std::wstring> keys;
  ASSERT_NO_FATAL_FAILURE(RegisteredKeys(keys));
  ASSERT_GT(keys.size(), 20u);
  long leftInterfaces = 0;
  for (const std::wstring &key : keys) {
    SCOPED_TRACE(Narrow(key));
    ASSERT_NO_FATAL_FAILURE(FreshSandbox());
    ASSERT_EQ(S_OK, m_server->Register());
    ASSERT_TRUE(m_sandbox->Delete(key));
    EXPECT_EQ(S_OK, m_server->Unregister());
    EXPECT_TRUE(ClassPart(m_sandbox->Contents()).size() <= 1) << "the class is still registered";
    bool left = false;
    for (const std::wstring &line : m_sandbox->Contents())
      left = left || line.rfind(L"interface\\", 0) == 0;
    leftInterfaces += left;
    ExpectRepairedAndRemoved();

    ASSERT_EQ(S_OK, m_server->Register());
    ASSERT_TRUE(m_sandbox->Delete(key));
    ExpectRepairedAndRemoved();
  }
  std::cout << "missing keys: " << keys.size() << " keys deleted in turn; " << leftInterfaces
            << " of them left the interface keys until the next registration\n";
}

// A key of the registration (or a root it goes under, or the classes root
// itself) that nobody may write to, which makes each step of registration
// fail in turn: registration answers a failing status and leaves the
// registry as it was or, when it did not need to write there, succeeds
// completely;
// unregistration answers S_OK; once the key is writable again,
// registration repairs whatever was left half done.
TEST_P(RegistrationFaults, AReadOnlyKeyFailsCleanlyAndIsRepairedLater) {
  std::vector<std::wstring> keys;
  ASSERT_NO_FATAL_FAILURE(RegisteredKeys(keys));
  keys.insert(keys.begin(), L""); // the classes root itself
  std::map<std::wstring, std::vector<std::wstring>> outcomes;
  for (const std::wstring &key : keys) {
    SCOPED_TRACE(Narrow(key));
    ASSERT_NO_FATAL_FAILURE(FreshSandbox());
    ASSERT_TRUE(m_sandbox->MakeReadOnly(key));
    const std::vector<std::wstring> before = m_sandbox->Contents();
    // (The platform's RegisterTypeLib may answer S_OK without having
    // written everything; the repair below checks its part too.) A failure
    // leaves the registry as it was: all or nothing.
    const HRESULT registered = m_server->Register();
    if (registered == S_OK) {
      EXPECT_EQ(ClassLines(m_server->Path()), ClassPart(m_sandbox->Contents()));
    } else {
      EXPECT_TRUE(FAILED(registered)) << std::hex << registered;
      EXPECT_EQ(before, m_sandbox->Contents()) << "a failed registration left something behind";
    }
    EXPECT_EQ(S_OK, m_server->Unregister());
    outcomes[registered == S_OK ? L"registered anyway" : L"failed with " + Hex(registered)].push_back(
        key.empty() ? L"(root)" : key);

    ASSERT_TRUE(m_sandbox->MakeWritable(key));
    ExpectRepairedAndRemoved();
  }
  std::cout << "read-only keys: " << keys.size() << " tried\n";
  for (const auto &outcome : outcomes) {
    std::cout << "  " << Narrow(outcome.first) << ": " << outcome.second.size() << " (";
    for (std::size_t i = 0; i < outcome.second.size() && i < 3; ++i)
      std::cout << (i ? ", " : "") << Narrow(outcome.second[i]);
    std::cout << (outcome.second.size() > 3 ? ", ...)\n" : ")\n");
  }
  EXPECT_GT(outcomes.size(), 1u) << "no read-only key made registration fail";
}

// A registration that an older copy of the server left elsewhere, with
// entries that the current one does not write: registering replaces the
// class's registration wholesale.
TEST_P(RegistrationFaults, RegistrationReplacesAStaleOne) {
  ASSERT_NO_FATAL_FAILURE(FreshSandbox());
  ASSERT_EQ(S_OK, m_server->Register());
  const ClassesRoot root(GetParam());
  HKEY key = nullptr;
  const std::wstring classKey = std::wstring(L"CLSID\\") + kClassId;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root.Key(), (classKey + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const wchar_t stale[] = L"C:\\old\\Collection.dll";
  const wchar_t model[] = L"Apartment";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(stale), sizeof stale);
  RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE *>(model), sizeof model);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root.Key(), (classKey + L"\\LocalServer32").c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);

  ExpectRepairedAndRemoved();
}

/// The folder of a scratch copy of the server built without a type library
/// of its own, emptied first.
std::wstring ScratchFolder() {
  const std::wstring folder = BesideProgram(L"without type library\\");
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const wchar_t *file : {L"Collection.dll", L"Collection.tlb"})
    DeleteFileW((folder + file).c_str());
  return folder;
}

bool WriteFileBytes(const std::wstring &path, const char *bytes, DWORD size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const bool done = WriteFile(file, bytes, size, &written, nullptr) && written == size;
  CloseHandle(file);
  return done;
}

/// The status of loading a type library from `path`, as registration
/// loads it.
HRESULT LoadStatus(const std::wstring &path) {
  ComPtr<ITypeLib> library;
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
}

// A server without a type library of its own and none beside it:
// registration answers the status of loading the type library and writes
// nothing; unregistration removes the class and leaves alone the type
// library that another module registered. With the .tlb file beside
// it, the same module registers completely, from that file.
TEST_P(RegistrationFaults, WithoutTypeLibraryTheLoadStatusIsAnsweredAndTheFileBesideRepairs) {
  const std::wstring folder = ScratchFolder();
  ASSERT_TRUE(CopyFileW(BesideProgram(VARIANT_COLLECTION_SERVER_WITHOUT_TYPE_LIBRARY_FROM_TESTS).c_str(),
                        (folder + L"Collection.dll").c_str(), FALSE));
  const std::wstring library = folder + L"Collection.tlb";
  {
    LoadedServer copy(folder + L"Collection.dll", GetParam());
    ASSERT_TRUE(copy.Loaded());
    ASSERT_NO_FATAL_FAILURE(FreshSandbox());
    const RegistrySandbox &sandbox = *m_sandbox;

    // Alone: nothing to register the type library from, and so nothing is
    // written.
    const HRESULT missing = LoadStatus(library);
    ASSERT_TRUE(FAILED(missing));
    EXPECT_EQ(missing, copy.Register());
    EXPECT_TRUE(sandbox.Contents().empty());
    EXPECT_EQ(S_OK, copy.Unregister());
    ExpectNothingLeft(sandbox);

    // Another module's registration stays as it was, and its type library's
    // registration stays when the copy is unregistered.
    ASSERT_EQ(S_OK, m_server->Register());
    EXPECT_EQ(missing, copy.Register());
    ExpectRegistered(sandbox, m_server->Path(), m_server->Path());
    EXPECT_EQ(S_OK, copy.Unregister());
    ASSERT_EQ(S_OK, m_server->Register());
    ExpectRegistered(sandbox, m_server->Path(), m_server->Path());
    ASSERT_EQ(S_OK, m_server->Unregister());

    // A file beside it that is no type library.
    const char garbage[] = "not a type library";
    ASSERT_TRUE(WriteFileBytes(library, garbage, sizeof garbage));
    const HRESULT unreadable = LoadStatus(library);
    ASSERT_TRUE(FAILED(unreadable));
    EXPECT_EQ(unreadable, copy.Register());
    ExpectNoTypeLibrary(sandbox);
    EXPECT_EQ(S_OK, copy.Unregister());
    ExpectNothingLeft(sandbox);

    // The real one beside it.
    ASSERT_TRUE(CopyFileW(BesideProgram(VARIANT_COLLECTION_TYPE_LIBRARY_FROM_TESTS).c_str(), library.c_str(), FALSE));
    ASSERT_EQ(S_OK, copy.Register());
    ExpectRegistered(sandbox, copy.Path(), library);
    EXPECT_EQ(S_OK, copy.Unregister());
    ExpectNothingLeft(sandbox);
  }
  ScratchFolder();
}

// A module whose full name is longer than the platform's type-library
// loader takes (over MAX_PATH characters): registration answers that
// status instead of handing the name over, and writes nothing; another
// module's registration stays as it was.
TEST_P(RegistrationFaults, AModuleNameOverMaxPathIsRefusedAndNothingIsWritten) {
  const std::wstring longName = L"\\\\?\\"; // lifts the length limit of the file functions
  std::vector<std::wstring> folders;
  std::wstring folder = BesideProgram(L"");
  while (folder.size() < 300) {
    folder += std::wstring(50, L'n') + L"\\";
    folders.push_back(folder);
    CreateDirectoryW((longName + folder).c_str(), nullptr);
  }
  const std::wstring module = folder + L"Collection.dll";
  ASSERT_TRUE(CopyFileW(ServerPath().c_str(), (longName + module).c_str(), FALSE));
  {
    LoadedServer copy(longName + module, GetParam());
    ASSERT_TRUE(copy.Loaded());
    ASSERT_NO_FATAL_FAILURE(FreshSandbox());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), copy.Register());
    EXPECT_TRUE(m_sandbox->Contents().empty());

    ASSERT_EQ(S_OK, m_server->Register());
    const std::vector<std::wstring> before = m_sandbox->Contents();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), copy.Register());
    EXPECT_EQ(before, m_sandbox->Contents());
  }
  DeleteFileW((longName + module).c_str());
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    RemoveDirectoryW((longName + *it).c_str());
}

// Run by the test named ..._without_registrar, in a process whose platform
// cannot load the registrar component: registration answers the status of
// creating it and writes nothing, not even the type library; unregistration
// answers S_OK and still removes the type library's registration.
TEST_P(RegistrationFaults, WithoutRegistrarNothingIsWritten) {
  ComPtr<IUnknown> registrar;
  const HRESULT created = CoCreateInstance(VariantCollection::CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IUnknown, reinterpret_cast<void **>(registrar.GetAddressOf()));
  if (SUCCEEDED(created))
    GTEST_SKIP() << "the registrar is available here";
  std::cout << "without registrar: creating it answers " << Narrow(Hex(created)) << "\n";

  ASSERT_NO_FATAL_FAILURE(FreshSandbox());
  const RegistrySandbox &sandbox = *m_sandbox;
  EXPECT_EQ(created, m_server->Register());
  EXPECT_TRUE(sandbox.Contents().empty());

  {
    const ClassesRoot root(GetParam());
    ASSERT_EQ(S_OK, VariantCollection::RegisterTypeLibrary(m_server->Path().c_str(), root));
  }
  EXPECT_EQ(S_OK, m_server->Unregister());
  ExpectNothingLeft(sandbox);
}

INSTANTIATE_TEST_SUITE_P(Server, RegistrationFaults,
                         ::testing::Values(RegistrationScope::Machine, RegistrationScope::User),
                         [](const ::testing::TestParamInfo<RegistrationScope> &scope) {
                           return scope.param == RegistrationScope::User ? std::string("ForTheUser")
                                                                         : std::string("ForTheMachine");
                         });

// DllInstall registers for the user when its command line is "user", in any
// case, and refuses every other one, writing nothing.
TEST(RegistrationForTheUser, DllInstallTakesUserInAnyCaseAndNothingElse) {
  LoadedServer server(ServerPath());
  ASSERT_TRUE(server.Loaded());
  RegistrySandbox sandbox(RegistrationScope::User);
  ASSERT_TRUE(sandbox.Ready());
  for (const wchar_t *refused :
       {static_cast<const wchar_t *>(nullptr), L"", L"machine", L"users", L"user ", L"/user"})
    for (const bool install : {true, false})
      EXPECT_EQ(E_INVALIDARG, server.Install(install, refused)) << (refused ? Narrow(refused) : "(null)");
  EXPECT_TRUE(sandbox.Contents().empty());
  for (const wchar_t *accepted : {L"USER", L"User"}) {
    EXPECT_EQ(S_OK, server.Install(true, accepted));
    ExpectRegistered(sandbox, server.Path(), server.Path());
    EXPECT_EQ(S_OK, server.Install(false, accepted));
    ExpectNothingLeft(sandbox);
  }
}

} // namespace

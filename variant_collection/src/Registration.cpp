//===- Registration.cpp - Self-registration of the server -----------------===//

#include "Registration.h"

#include "ComPtr.h"
#include "ObjectMap.h"
#include "Registrar.h"
#include "RegistrySnapshot.h"
#include "ServerModule.h"

#include <oleauto.h>

#include <cwchar>

namespace VariantCollection {

namespace {

/// Loads the type library of the module at `modulePath` (embedded, else
/// beside it) without registering it; `loadedFrom` names the file it came
/// from.
HRESULT LoadTypeLibraryOf(const wchar_t *modulePath, ComPtr<ITypeLib> &library, std::wstring &loadedFrom) noexcept {
  // The platform's loader takes no longer name (it may overrun its buffer
  // on one): answer that instead of handing it over.
  const auto load = [&library](const wchar_t *file) {
    return std::wcslen(file) >= MAX_PATH ? HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)
                                         : LoadTypeLibEx(file, REGKIND_NONE, library.ReleaseAndGetAddressOf());
  };
  HRESULT status = load(modulePath);
  if (SUCCEEDED(status)) {
    try {
      loadedFrom = modulePath;
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
  } else {
    try {
      loadedFrom = TypeLibraryFileBeside(modulePath);
      status = load(loadedFrom.c_str());
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
  }
  if (FAILED(status))
    library = nullptr;
  return status;
}

/// The key of the version of the library that `attributes` describes:
/// "TypeLib\{libid}\<major>.<minor>", spelt as RegisterTypeLib spells it.
std::wstring VersionKey(const TLIBATTR &attributes) {
  wchar_t libraryId[40] = {};
  StringFromGUID2(attributes.guid, libraryId, 40);
  wchar_t version[32];
  std::swprintf(version, 32, L"%x.%x", attributes.wMajorVerNum, attributes.wMinorVerNum);
  return std::wstring(L"TypeLib\\") + libraryId + L"\\" + version;
}

/// The key that names that library's file for the locale `lcid` and its
/// system kind: "<VersionKey>\<lcid in hexadecimal>\<win32 or win64>".
std::wstring LocaleKey(const TLIBATTR &attributes, LCID lcid) {
  wchar_t locale[16];
  std::swprintf(locale, 16, L"%lx", static_cast<unsigned long>(lcid));
  return VersionKey(attributes) + L"\\" + locale + L"\\" + (attributes.syskind == SYS_WIN64 ? L"win64" : L"win32");
}

/// Creates the key `path` under `root` (with the keys above it) and sets its
/// value `name` (null: its default value) to `text`.
LONG WriteText(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &text) noexcept {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (error == ERROR_SUCCESS) {
    error = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  return error;
}

/// Registers `library` (loaded from `loadedFrom`) in the classes root `root`
/// also under the neutral locale, where the platform's marshaller finds it
/// from any apartment, unless its own locale is neutral already.
HRESULT RegisterNeutralLocale(ITypeLib *library, const std::wstring &loadedFrom, HKEY root) noexcept {
  TLIBATTR *attributes = nullptr;
  HRESULT status = library->GetLibAttr(&attributes);
  if (FAILED(status))
    return status;
  if (attributes->lcid != LOCALE_NEUTRAL) {
    try {
      const LONG error = WriteText(root, LocaleKey(*attributes, LOCALE_NEUTRAL), nullptr, loadedFrom);
      status = error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
  }
  library->ReleaseTLibAttr(attributes);
  return status;
}

/// Removes what RegisterNeutralLocale wrote into `root`: the system kind's
/// key, and the locale's key when nothing else is left in it.
void UnregisterNeutralLocale(const TLIBATTR &attributes, HKEY root) noexcept {
  if (attributes.lcid == LOCALE_NEUTRAL)
    return;
  try {
    std::wstring key = LocaleKey(attributes, LOCALE_NEUTRAL);
    RegDeleteKeyW(root, key.c_str());
    key.erase(key.rfind(L'\\'));
    RegDeleteKeyW(root, key.c_str()); // fails while another system kind's is there
  } catch (...) {
  }
}

/// An interface that registering a type library registers.
struct RegisteredInterface {
  std::wstring key;         ///< "Interface\{iid}"
  std::wstring name;        ///< The interface's name.
  const wchar_t *proxyStub; ///< The class of its proxy and stub.
};

/// The interfaces that registering `library` registers, as RegisterTypeLib
/// picks them: every dispatch interface (dual ones included) and every OLE
/// Automation one. Their proxy and stub are the platform's type-library
/// marshaller's, but for pure dispatch interfaces, whose calls go through
/// IDispatch's. Throws std::bad_alloc.
std::vector<RegisteredInterface> RegisteredInterfacesOf(ITypeLib *library) {
  std::vector<RegisteredInterface> interfaces;
  for (UINT i = 0, count = library->GetTypeInfoCount(); i < count; ++i) {
    TYPEKIND kind;
    ComPtr<ITypeInfo> type;
    TYPEATTR *attributes = nullptr;
    if (FAILED(library->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) ||
        FAILED(library->GetTypeInfo(i, type.ReleaseAndGetAddressOf())) || FAILED(type->GetTypeAttr(&attributes)))
      continue;
    const WORD flags = attributes->wTypeFlags;
    wchar_t iid[40] = {};
    StringFromGUID2(attributes->guid, iid, 40);
    type->ReleaseTypeAttr(attributes);
    if (kind == TKIND_INTERFACE && !(flags & TYPEFLAG_FOLEAUTOMATION))
      continue;
    BSTR name = nullptr;
    library->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
    const bool dispatchOnly = kind == TKIND_DISPATCH && !(flags & TYPEFLAG_FDUAL);
    interfaces.push_back({std::wstring(L"Interface\\") + iid, name != nullptr ? name : L"",
                          dispatchOnly ? L"{00020420-0000-0000-C000-000000000046}"    // PSDispatch
                                       : L"{00020424-0000-0000-C000-000000000046}"}); // PSOAInterface
    SysFreeString(name);
  }
  return interfaces;
}

/// Registers `library` (loaded from `loadedFrom`, with `helpDirectory`) in
/// the classes root `root` by writing itself the keys that RegisterTypeLib
/// writes: the version's key named after the library, its file under the
/// library's own locale and system kind, FLAGS and HELPDIR; and of every
/// interface it registers (RegisteredInterfacesOf) the name, the proxy and
/// stub's class (ProxyStubClsid and ProxyStubClsid32) and the library
/// (TypeLib, with its Version). For the user's classes root, where the
/// platform cannot be relied on: Wine 8's RegisterTypeLibForUser registers
/// for the machine, and even into a redirected HKEY_CLASSES_ROOT its
/// RegisterTypeLib writes the interfaces' keys of the other registry view
/// (32-bit beside 64-bit) into the machine's classes root. Answers the
/// first failure; never throws.
HRESULT WriteTypeLibraryKeys(ITypeLib *library, const std::wstring &loadedFrom, const std::wstring &helpDirectory,
                             HKEY root) noexcept {
  TLIBATTR *attributes = nullptr;
  HRESULT status = library->GetLibAttr(&attributes);
  if (FAILED(status))
    return status;
  const TLIBATTR identity = *attributes;
  library->ReleaseTLibAttr(attributes);
  BSTR name = nullptr;
  BSTR description = nullptr;
  status = library->GetDocumentation(-1, &name, &description, nullptr, nullptr);
  if (FAILED(status))
    return status;
  std::wstring title;
  try {
    title = description != nullptr ? description : name != nullptr ? name : L"";
  } catch (...) {
    status = E_OUTOFMEMORY;
  }
  SysFreeString(name);
  SysFreeString(description);
  if (FAILED(status))
    return status;
  try {
    wchar_t libraryId[40] = {};
    StringFromGUID2(identity.guid, libraryId, 40);
    const std::wstring version = VersionKey(identity);
    const std::wstring versionNumber = version.substr(version.rfind(L'\\') + 1);
    LONG error = WriteText(root, version, nullptr, title);
    if (error == ERROR_SUCCESS)
      error = WriteText(root, LocaleKey(identity, identity.lcid), nullptr, loadedFrom);
    if (error == ERROR_SUCCESS)
      error = WriteText(root, version + L"\\FLAGS", nullptr, std::to_wstring(identity.wLibFlags));
    if (error == ERROR_SUCCESS)
      error = WriteText(root, version + L"\\HELPDIR", nullptr, helpDirectory);
    for (const RegisteredInterface &registered : RegisteredInterfacesOf(library)) {
      if (error == ERROR_SUCCESS)
        error = WriteText(root, registered.key, nullptr, registered.name);
      for (const wchar_t *proxyStub : {L"\\ProxyStubClsid", L"\\ProxyStubClsid32"})
        if (error == ERROR_SUCCESS)
          error = WriteText(root, registered.key + proxyStub, nullptr, registered.proxyStub);
      if (error == ERROR_SUCCESS)
        error = WriteText(root, registered.key + L"\\TypeLib", nullptr, libraryId);
      if (error == ERROR_SUCCESS)
        error = WriteText(root, registered.key + L"\\TypeLib", L"Version", versionNumber);
    }
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

/// Removes from `root` what WriteTypeLibraryKeys wrote for `library`, as
/// UnRegisterTypeLib removes it: of every interface the proxy, stub and
/// library keys, then the interface's key unless something else is in it;
/// the library's file under its own locale and system kind, and the
/// locale's key when empty; and when nothing but FLAGS and HELPDIR is left
/// of the version, those, the version's key and the library's key when
/// empty. Never throws.
void EraseTypeLibraryKeys(ITypeLib *library, HKEY root) noexcept {
  TLIBATTR *attributes = nullptr;
  if (FAILED(library->GetLibAttr(&attributes)))
    return;
  const TLIBATTR identity = *attributes;
  library->ReleaseTLibAttr(attributes);
  try {
    for (const RegisteredInterface &registered : RegisteredInterfacesOf(library)) {
      for (const wchar_t *part : {L"\\ProxyStubClsid", L"\\ProxyStubClsid32", L"\\TypeLib"})
        RegDeleteKeyW(root, (registered.key + part).c_str());
      RegDeleteKeyW(root, registered.key.c_str());
    }
    std::wstring key = LocaleKey(identity, identity.lcid);
    RegDeleteKeyW(root, key.c_str());
    key.erase(key.rfind(L'\\'));
    RegDeleteKeyW(root, key.c_str());
    const std::wstring version = VersionKey(identity);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, version.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
      return;
    bool othersLeft = false;
    wchar_t name[256];
    DWORD length = 256;
    for (DWORD i = 0; RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
      othersLeft = othersLeft || (lstrcmpiW(name, L"FLAGS") != 0 && lstrcmpiW(name, L"HELPDIR") != 0);
    RegCloseKey(opened);
    if (othersLeft)
      return;
    for (const wchar_t *part : {L"\\FLAGS", L"\\HELPDIR", L""})
      RegDeleteKeyW(root, (version + part).c_str());
    RegDeleteKeyW(root, version.substr(0, version.rfind(L'\\')).c_str()); // fails while another version is there
  } catch (...) {
  }
}

/// The function `name` as the platform's oleaut32 (which the module
/// imports, and so is loaded) exports it at run time, or null.
template <class Function> Function OleAutomationFunction(const char *name) noexcept {
  HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
  return oleaut != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(oleaut, name)))
                           : nullptr;
}

/// EnumResourceNames's callback: adds the keys that the registry script
/// `name` of `module` writes to the vector of paths at `paths`.
BOOL CALLBACK AddKeysOfScript(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR paths) noexcept {
  try {
    HRSRC found = FindResourceW(module, name, L"REGISTRY");
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char *text = loaded != nullptr ? static_cast<const char *>(LockResource(loaded)) : nullptr;
    if (text != nullptr) {
      auto &into = *reinterpret_cast<std::vector<std::wstring> *>(paths);
      for (std::wstring &key : KeysWrittenBy(std::string_view(text, SizeofResource(module, found))))
        into.push_back(std::move(key));
    }
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

/// Records every part of the classes root that registering the module
/// `module` (whose type library is `library`) writes: what its registry
/// scripts create, the library's key and its interfaces' keys.
HRESULT TakeSnapshot(HMODULE module, ITypeLib *library, RegistrySnapshot &snapshot) noexcept {
  try {
    std::vector<std::wstring> paths;
    EnumResourceNamesW(module, L"REGISTRY", &AddKeysOfScript, reinterpret_cast<LONG_PTR>(&paths));
    wchar_t guid[40] = {};
    TLIBATTR *attributes = nullptr;
    HRESULT status = library->GetLibAttr(&attributes);
    if (FAILED(status))
      return status;
    StringFromGUID2(attributes->guid, guid, 40);
    library->ReleaseTLibAttr(attributes);
    paths.push_back(std::wstring(L"TypeLib\\") + guid);
    for (UINT i = 0, count = library->GetTypeInfoCount(); i < count; ++i) {
      TYPEKIND kind;
      ComPtr<ITypeInfo> type;
      if (FAILED(library->GetTypeInfoType(i, &kind)) || (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) ||
          FAILED(library->GetTypeInfo(i, type.ReleaseAndGetAddressOf())))
        continue;
      TYPEATTR *typeAttributes = nullptr;
      if (SUCCEEDED(type->GetTypeAttr(&typeAttributes))) {
        StringFromGUID2(typeAttributes->guid, guid, 40);
        paths.push_back(std::wstring(L"Interface\\") + guid);
        type->ReleaseTypeAttr(typeAttributes);
      }
    }
    for (const std::wstring &path : paths) {
      status = snapshot.Take(path);
      if (FAILED(status))
        return status;
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

} // namespace

HRESULT ModuleFileName(HMODULE module, std::wstring &path) noexcept {
  try {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
      const DWORD size = static_cast<DWORD>(path.size());
      const DWORD length = GetModuleFileNameW(module, &path[0], size);
      if (length == 0)
        return HRESULT_FROM_WIN32(GetLastError());
      if (length < size) {
        path.resize(length);
        return S_OK;
      }
      // Cut short: try again with room for a longer name.
      path.assign(path.size() * 2, L'\0');
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

std::wstring QuoteForRegistrar(std::wstring_view path) {
  std::wstring quoted;
  quoted.reserve(path.size());
  for (const wchar_t c : path) {
    quoted += c;
    if (c == L'\'')
      quoted += L'\'';
  }
  return quoted;
}

std::wstring TypeLibraryFileBeside(std::wstring_view modulePath) {
  const std::size_t nameStart = HelpDirectoryOf(modulePath).size();
  const std::size_t dot = modulePath.find_last_of(L'.');
  std::wstring file(
      modulePath.substr(0, dot != std::wstring_view::npos && dot >= nameStart ? dot : modulePath.size()));
  return file + L".tlb";
}

std::wstring HelpDirectoryOf(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  return std::wstring(separator == std::wstring_view::npos ? std::wstring_view() : path.substr(0, separator + 1));
}

HRESULT RunRegistryScript(const wchar_t *modulePath, UINT scriptId, bool registering,
                          const ClassesRoot &root) noexcept {
  ComPtr<IRegistrar> registrar;
  HRESULT status = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                    reinterpret_cast<void **>(registrar.ReleaseAndGetAddressOf()));
  if (FAILED(status))
    return status;
  try {
    // The scripts name the module as '%MODULE%', between single quotes.
    status = registrar->AddReplacement(L"Module", QuoteForRegistrar(modulePath).c_str());
  } catch (...) {
    status = E_OUTOFMEMORY;
  }
  if (FAILED(status))
    return status;
  // The scripts' HKCR: the registrar writes nowhere else.
  ClassesRootRedirection redirection(root);
  status = redirection.Status();
  if (SUCCEEDED(status)) {
    status = registering ? registrar->ResourceRegister(modulePath, scriptId, L"REGISTRY")
                         : registrar->ResourceUnregister(modulePath, scriptId, L"REGISTRY");
  }
  return status;
}

HRESULT RegisterTypeLibrary(const wchar_t *modulePath, const ClassesRoot &root) noexcept {
  ComPtr<ITypeLib> library;
  std::wstring loadedFrom;
  HRESULT status = LoadTypeLibraryOf(modulePath, library, loadedFrom);
  if (FAILED(status))
    return status;
  try {
    std::wstring helpDirectory = HelpDirectoryOf(loadedFrom);
    status = root.Scope() == RegistrationScope::Machine
                 ? RegisterTypeLib(library.Get(), &loadedFrom[0], &helpDirectory[0])
                 : WriteTypeLibraryKeys(library.Get(), loadedFrom, helpDirectory, root.Key());
    if (SUCCEEDED(status))
      status = RegisterNeutralLocale(library.Get(), loadedFrom, root.Key());
  } catch (...) {
    status = E_OUTOFMEMORY;
  }
  return status;
}

HRESULT UnregisterTypeLibrary(const wchar_t *modulePath, const ClassesRoot &root) noexcept {
  ComPtr<ITypeLib> library;
  std::wstring loadedFrom;
  HRESULT status = LoadTypeLibraryOf(modulePath, library, loadedFrom);
  if (FAILED(status))
    return status;
  TLIBATTR *attributes = nullptr;
  status = library->GetLibAttr(&attributes);
  if (SUCCEEDED(status)) {
    // First, so that the platform sees no other locale and removes the
    // library's key with its own.
    UnregisterNeutralLocale(*attributes, root.Key());
    if (root.Scope() == RegistrationScope::Machine) {
      using UnregisterFunction = HRESULT(WINAPI *)(REFGUID, WORD, WORD, LCID, SYSKIND);
      const auto unregister = OleAutomationFunction<UnregisterFunction>("UnRegisterTypeLib");
      status = unregister == nullptr ? E_NOTIMPL
                                     : unregister(attributes->guid, attributes->wMajorVerNum,
                                                  attributes->wMinorVerNum, attributes->lcid, attributes->syskind);
    } else {
      EraseTypeLibraryKeys(library.Get(), root.Key());
    }
    library->ReleaseTLibAttr(attributes);
  }
  return status;
}

HRESULT RegisterServer(RegistrationScope scope) noexcept {
  std::wstring path;
  HRESULT status = ModuleFileName(Module().Instance(), path);
  if (FAILED(status))
    return status;
  // All or nothing: the type library must load before anything is
  // written, and a step that fails puts back what the steps before it
  // changed.
  ComPtr<ITypeLib> library;
  std::wstring loadedFrom;
  status = LoadTypeLibraryOf(path.c_str(), library, loadedFrom);
  if (FAILED(status))
    return status;
  const ClassesRoot root(scope);
  if (FAILED(root.Status()))
    return root.Status();
  RegistrySnapshot snapshot(root.Key());
  status = TakeSnapshot(Module().Instance(), library.Get(), snapshot);
  library = nullptr;
  if (FAILED(status))
    return status;
  status = UpdateClassRegistry(path.c_str(), true, root);
  if (SUCCEEDED(status))
    status = RegisterTypeLibrary(path.c_str(), root);
  if (FAILED(status))
    snapshot.Restore();
  return status;
}

HRESULT UnregisterServer(RegistrationScope scope) noexcept {
  std::wstring path;
  if (FAILED(ModuleFileName(Module().Instance(), path)))
    return S_OK;
  const ClassesRoot root(scope);
  if (FAILED(root.Status()))
    return S_OK;
  UpdateClassRegistry(path.c_str(), false, root);
  UnregisterTypeLibrary(path.c_str(), root);
  return S_OK;
}

} // namespace VariantCollection

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return VariantCollection::RegisterServer(VariantCollection::RegistrationScope::Machine);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return VariantCollection::UnregisterServer(VariantCollection::RegistrationScope::Machine);
}

extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  using namespace VariantCollection;
  if (commandLine == nullptr || CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL)
    return E_INVALIDARG;
  return install ? RegisterServer(RegistrationScope::User) : UnregisterServer(RegistrationScope::User);
}

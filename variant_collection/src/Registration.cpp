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

/// The key under which the type-library marshaller looks `attributes`'s
/// library up for every locale: "TypeLib\{libid}\<major>.<minor>\0\<win32
/// or win64>", spelt as RegisterTypeLib spells the library's own.
std::wstring NeutralLocaleKey(const TLIBATTR &attributes) {
  wchar_t libraryId[40] = {};
  StringFromGUID2(attributes.guid, libraryId, 40);
  wchar_t version[32];
  std::swprintf(version, 32, L"%x.%x", attributes.wMajorVerNum, attributes.wMinorVerNum);
  return std::wstring(L"TypeLib\\") + libraryId + L"\\" + version + L"\\0\\" +
         (attributes.syskind == SYS_WIN64 ? L"win64" : L"win32");
}

/// Registers `library` (loaded from `loadedFrom`) also under the neutral
/// locale, where the platform's marshaller finds it from any apartment,
/// unless its own locale is neutral already.
HRESULT RegisterNeutralLocale(ITypeLib *library, const std::wstring &loadedFrom) noexcept {
  TLIBATTR *attributes = nullptr;
  HRESULT status = library->GetLibAttr(&attributes);
  if (FAILED(status))
    return status;
  if (attributes->lcid != LOCALE_NEUTRAL) {
    try {
      HKEY key = nullptr;
      LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, NeutralLocaleKey(*attributes).c_str(), 0, nullptr, 0, KEY_WRITE,
                                   nullptr, &key, nullptr);
      if (error == ERROR_SUCCESS) {
        error = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(loadedFrom.c_str()),
                               static_cast<DWORD>((loadedFrom.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
      }
      status = error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
  }
  library->ReleaseTLibAttr(attributes);
  return status;
}

/// Removes what RegisterNeutralLocale wrote: the system kind's key, and the
/// locale's key when nothing else is left in it.
void UnregisterNeutralLocale(const TLIBATTR &attributes) noexcept {
  if (attributes.lcid == LOCALE_NEUTRAL)
    return;
  try {
    std::wstring key = NeutralLocaleKey(attributes);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    key.erase(key.rfind(L'\\'));
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()); // fails while another system kind's is there
  } catch (...) {
  }
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

HRESULT RunRegistryScript(const wchar_t *modulePath, UINT scriptId, bool registering) noexcept {
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
  if (SUCCEEDED(status)) {
    status = registering ? registrar->ResourceRegister(modulePath, scriptId, L"REGISTRY")
                         : registrar->ResourceUnregister(modulePath, scriptId, L"REGISTRY");
  }
  return status;
}

HRESULT RegisterTypeLibrary(const wchar_t *modulePath) noexcept {
  ComPtr<ITypeLib> library;
  std::wstring loadedFrom;
  HRESULT status = LoadTypeLibraryOf(modulePath, library, loadedFrom);
  if (FAILED(status))
    return status;
  try {
    std::wstring helpDirectory = HelpDirectoryOf(loadedFrom);
    status = RegisterTypeLib(library.Get(), &loadedFrom[0], &helpDirectory[0]);
    if (SUCCEEDED(status))
      status = RegisterNeutralLocale(library.Get(), loadedFrom);
  } catch (...) {
    status = E_OUTOFMEMORY;
  }
  return status;
}

HRESULT UnregisterTypeLibrary(const wchar_t *modulePath) noexcept {
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
    UnregisterNeutralLocale(*attributes);
    using UnRegisterTypeLibFunction = HRESULT(WINAPI *)(REFGUID, WORD, WORD, LCID, SYSKIND);
    status = E_NOTIMPL;
    if (HMODULE oleaut = LoadLibraryW(L"oleaut32.dll")) {
      auto unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
          reinterpret_cast<void *>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
      if (unregister != nullptr)
        status = unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                            attributes->syskind);
      FreeLibrary(oleaut);
    }
    library->ReleaseTLibAttr(attributes);
  }
  return status;
}

} // namespace VariantCollection

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  using namespace VariantCollection;
  std::wstring path;
  HRESULT status = ModuleFileName(Module().Instance(), path);
  if (FAILED(status))
    return status;
  // All or nothing: the type library must load before anything is
  // written, and a step that fails puts back what the steps before it
  // changed.
  RegistrySnapshot snapshot;
  {
    ComPtr<ITypeLib> library;
    std::wstring loadedFrom;
    status = LoadTypeLibraryOf(path.c_str(), library, loadedFrom);
    if (FAILED(status))
      return status;
    status = TakeSnapshot(Module().Instance(), library.Get(), snapshot);
  }
  if (FAILED(status))
    return status;
  status = UpdateClassRegistry(path.c_str(), true);
  if (SUCCEEDED(status))
    status = RegisterTypeLibrary(path.c_str());
  if (FAILED(status))
    snapshot.Restore();
  return status;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  using namespace VariantCollection;
  std::wstring path;
  if (FAILED(ModuleFileName(Module().Instance(), path)))
    return S_OK;
  UpdateClassRegistry(path.c_str(), false);
  UnregisterTypeLibrary(path.c_str());
  return S_OK;
}

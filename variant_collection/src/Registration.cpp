//===- Registration.cpp - Self-registration of the server -----------------===//

#include "Registration.h"

#include "ObjectMap.h"
#include "Registrar.h"
#include "ServerModule.h"

#include <oleauto.h>

namespace VariantCollection {

namespace {

/// Loads the type library of the module at `modulePath` (embedded, else
/// beside it) without registering it; `loadedFrom` names the file it came
/// from.
HRESULT LoadTypeLibraryOf(const wchar_t *modulePath, ITypeLib **library,
                          std::wstring &loadedFrom) noexcept {
  *library = nullptr;
  HRESULT status = LoadTypeLibEx(modulePath, REGKIND_NONE, library);
  if (SUCCEEDED(status)) {
    try {
      loadedFrom = modulePath;
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
  } else {
    try {
      loadedFrom = TypeLibraryFileBeside(modulePath);
      status = LoadTypeLibEx(loadedFrom.c_str(), REGKIND_NONE, library);
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
  }
  if (FAILED(status) && *library != nullptr) {
    (*library)->Release();
    *library = nullptr;
  }
  return status;
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
  std::wstring file(modulePath.substr(0, dot != std::wstring_view::npos && dot >= nameStart
                                             ? dot
                                             : modulePath.size()));
  return file + L".tlb";
}

std::wstring HelpDirectoryOf(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(L"\\/:");
  return std::wstring(separator == std::wstring_view::npos ? std::wstring_view()
                                                           : path.substr(0, separator + 1));
}

HRESULT RunRegistryScript(const wchar_t *modulePath, UINT scriptId, bool registering) noexcept {
  IRegistrar *registrar = nullptr;
  HRESULT status = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                    reinterpret_cast<void **>(&registrar));
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
  registrar->Release();
  return status;
}

HRESULT RegisterTypeLibrary(const wchar_t *modulePath) noexcept {
  ITypeLib *library = nullptr;
  std::wstring loadedFrom;
  HRESULT status = LoadTypeLibraryOf(modulePath, &library, loadedFrom);
  if (FAILED(status))
    return status;
  try {
    std::wstring helpDirectory = HelpDirectoryOf(loadedFrom);
    status = RegisterTypeLib(library, &loadedFrom[0], &helpDirectory[0]);
  } catch (...) {
    status = E_OUTOFMEMORY;
  }
  library->Release();
  return status;
}

HRESULT UnregisterTypeLibrary(const wchar_t *modulePath) noexcept {
  ITypeLib *library = nullptr;
  std::wstring loadedFrom;
  HRESULT status = LoadTypeLibraryOf(modulePath, &library, loadedFrom);
  if (FAILED(status))
    return status;
  TLIBATTR *attributes = nullptr;
  status = library->GetLibAttr(&attributes);
  if (SUCCEEDED(status)) {
    using UnRegisterTypeLibFunction = HRESULT(WINAPI *)(REFGUID, WORD, WORD, LCID, SYSKIND);
    status = E_NOTIMPL;
    if (HMODULE oleaut = LoadLibraryW(L"oleaut32.dll")) {
      auto unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
          reinterpret_cast<void *>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
      if (unregister != nullptr)
        status = unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                            attributes->lcid, attributes->syskind);
      FreeLibrary(oleaut);
    }
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return status;
}

} // namespace VariantCollection

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  using namespace VariantCollection;
  std::wstring path;
  HRESULT status = ModuleFileName(Module().Instance(), path);
  if (FAILED(status))
    return status;
  status = UpdateClassRegistry(path.c_str(), true);
  if (FAILED(status))
    return status;
  return RegisterTypeLibrary(path.c_str());
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

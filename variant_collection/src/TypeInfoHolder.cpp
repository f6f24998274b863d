//===- TypeInfoHolder.cpp - Type information of one dual interface --------===//

#include "TypeInfoHolder.h"

#include "ComPtr.h"
#include "ScopedLock.h"
#include "ServerModule.h"

#include <cwchar>
#include <new>

namespace VariantCollection {

TypeInfoHolder::TypeInfoHolder(const IID &iid, const GUID &libid, WORD majorVersion, WORD minorVersion,
                               LCID libraryLcid) noexcept
    : m_iid(iid), m_libid(libid), m_majorVersion(majorVersion), m_minorVersion(minorVersion),
      m_libraryLcid(libraryLcid) {}

HRESULT TypeInfoHolder::EnsureLoaded(LCID lcid) noexcept {
  if (IsLoaded())
    return S_OK;
  ServerModule &module = Module();
  HRESULT status = S_OK;
  bool registerCleanup = false;
  {
    ScopedLock lock(module.TypeInfoLock());
    status = IsLoaded() ? S_OK : LoadLocked(lcid);
    registerCleanup = !m_cleanupRegistered && IsLoaded();
    if (registerCleanup)
      m_cleanupRegistered = true;
  }
  // One clean-up per holder, registered by the first successful load: a
  // library that fails to load again and again must not grow the list.
  if (registerCleanup && FAILED(module.AddTermination(&UnloadCallback, this))) {
    ScopedLock lock(module.TypeInfoLock());
    m_cleanupRegistered = false;
  }
  return status;
}

HRESULT TypeInfoHolder::LoadLocked(LCID lcid) noexcept {
  ComPtr<ITypeLib> library;
  HRESULT status = LoadRegTypeLib(m_libid, m_majorVersion, m_minorVersion, lcid, &library);
  // The library is registered under its own locale only; a caller in any
  // other locale (or a neutral one) must get the same type information.
  if (FAILED(status) && lcid != m_libraryLcid &&
      SUCCEEDED(LoadRegTypeLib(m_libid, m_majorVersion, m_minorVersion, m_libraryLcid, &library)))
    status = S_OK;
  if (FAILED(status))
    return status;
  ComPtr<ITypeInfo> info;
  status = library->GetTypeInfoOfGuid(m_iid, &info);
  library.Reset();
  if (FAILED(status))
    return status;

  ComPtr<ITypeInfo2> info2;
  if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, &info2)))
    info = info2;

  MemberName *names = nullptr;
  UINT count = 0;
  status = BuildNameCache(info.Get(), &names, &count);
  if (FAILED(status))
    return status;
  m_names = names;
  m_nameCount = count;
  m_info.store(info.Detach(), std::memory_order_release);
  return S_OK;
}

HRESULT TypeInfoHolder::BuildNameCache(ITypeInfo *info, MemberName **names, UINT *count) noexcept {
  TYPEATTR *attributes = nullptr;
  HRESULT status = info->GetTypeAttr(&attributes);
  if (FAILED(status))
    return status;
  const UINT functions = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);

  MemberName *cache = new (std::nothrow) MemberName[functions == 0 ? 1 : functions];
  if (cache == nullptr)
    return E_OUTOFMEMORY;
  UINT filled = 0;
  for (; filled < functions; ++filled) {
    FUNCDESC *function = nullptr;
    status = info->GetFuncDesc(filled, &function);
    if (FAILED(status))
      break;
    BSTR name = nullptr;
    status = info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
    cache[filled] = MemberName{name, SysStringLen(name), function->memid};
    info->ReleaseFuncDesc(function);
    if (FAILED(status))
      break;
  }
  if (FAILED(status)) {
    FreeNames(cache, filled);
    return status;
  }
  *names = cache;
  *count = functions;
  return S_OK;
}

void TypeInfoHolder::FreeNames(MemberName *names, UINT count) noexcept {
  for (UINT i = 0; i < count; ++i)
    SysFreeString(names[i].name);
  delete[] names;
}

void TypeInfoHolder::Unload() noexcept {
  ScopedLock lock(Module().TypeInfoLock());
  Clear();
}

void TypeInfoHolder::Clear() noexcept {
  ComPtr<ITypeInfo> info;
  info.Attach(m_info.exchange(nullptr, std::memory_order_acq_rel));
  info.Reset();
  FreeNames(m_names, m_nameCount);
  m_names = nullptr;
  m_nameCount = 0;
}

void TypeInfoHolder::UnloadCallback(void *holder) noexcept {
  // Runs at termination, after the module locks are gone.
  TypeInfoHolder *self = static_cast<TypeInfoHolder *>(holder);
  self->Clear();
  self->m_cleanupRegistered = false;
}

bool TypeInfoHolder::ArgumentsAreWhole(const DISPPARAMS *params) noexcept {
  return params != nullptr && (params->cArgs == 0 || params->rgvarg != nullptr) &&
         params->cNamedArgs <= params->cArgs && (params->cNamedArgs == 0 || params->rgdispidNamedArgs != nullptr);
}

HRESULT TypeInfoHolder::GetTypeInfo(LCID lcid, ITypeInfo **info) noexcept {
  if (info == nullptr)
    return E_POINTER;
  *info = nullptr;
  HRESULT status = EnsureLoaded(lcid);
  if (FAILED(status))
    return status;
  ITypeInfo *loaded = m_info.load(std::memory_order_acquire);
  loaded->AddRef();
  *info = loaded;
  return S_OK;
}

HRESULT TypeInfoHolder::GetIDsOfNames(LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) noexcept {
  // The platform's lookup reads and writes through both without a check.
  if (count > 0 && (names == nullptr || ids == nullptr))
    return E_POINTER;
  HRESULT status = EnsureLoaded(lcid);
  if (FAILED(status))
    return status;
  if (count == 1 && names[0] != nullptr) {
    const std::size_t length = std::wcslen(names[0]);
    for (UINT i = m_nameCount; i-- > 0;) {
      const MemberName &cached = m_names[i];
      if (cached.length == length && std::wmemcmp(cached.name, names[0], length) == 0) {
        ids[0] = cached.id;
        return S_OK;
      }
    }
  }
  return m_info.load(std::memory_order_acquire)->GetIDsOfNames(names, count, ids);
}

HRESULT TypeInfoHolder::Invoke(IDispatch *self, DirectCall direct, DISPID member, LCID lcid, WORD flags,
                               DISPPARAMS *params, VARIANT *result, EXCEPINFO *exception,
                               UINT *argumentError) noexcept {
  if (!ArgumentsAreWhole(params))
    return E_INVALIDARG;
  HRESULT status = EnsureLoaded(lcid);
  if (FAILED(status))
    return status;
  ITypeInfo *info = m_info.load(std::memory_order_acquire);
  const auto call = [&](WORD callFlags) {
    if (direct != nullptr && direct(self, member, callFlags, *params, result))
      return S_OK;
    return info->Invoke(self, member, callFlags, params, result, exception, argumentError);
  };
  status = call(flags);
  if (status == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_METHOD)
    status = call(DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  return status;
}

} // namespace VariantCollection

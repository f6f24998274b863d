//===- TypeInfoHolder.h - Type information of one dual interface -*- C++ -*-===//
//
// TypeInfoHolder: loads, caches and serves the type information of one dual
// interface of the server from its registered type library, for the
// IDispatch half of that interface.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TYPEINFOHOLDER_H
#define VARIANT_COLLECTION_TYPEINFOHOLDER_H

#include <oaidl.h>

#include <atomic>

namespace VariantCollection {

/// The type information of one interface, read from the registered type
/// library `COLLECTIONLib` (version 1.0) on first use and kept until the
/// module terminates, together with a cache of the interface's member names.
/// The library is looked up in the caller's locale and, when it is not
/// registered for that one, in the library's own locale, so that callers
/// in every locale (LOCALE_USER_DEFAULT, LOCALE_NEUTRAL, ...) are served.
///
/// Loading happens at most once successfully, on the first `GetTypeInfo`,
/// `GetIDsOfNames` or `Invoke`; a failed load leaves the holder unloaded, so
/// that a later call tries again. Loads are serialised by the module's
/// type-information lock. Every operation answers the status of a failed
/// load when the type library cannot be loaded (for an unregistered library:
/// the status of LoadRegTypeLib).
///
/// Thread safety: every operation may be called on any thread. Never throws.
class TypeInfoHolder {
public:
  /// A holder, not loaded yet, for the interface `iid` of the library
  /// `libid` with the given version, registered for `libraryLcid`.
  TypeInfoHolder(const IID &iid, const GUID &libid, WORD majorVersion, WORD minorVersion, LCID libraryLcid) noexcept;
  TypeInfoHolder(const TypeInfoHolder &) = delete;
  TypeInfoHolder &operator=(const TypeInfoHolder &) = delete;

  /// The interface's type information with a reference added for the
  /// caller. On failure `*info` is null and the load status is returned;
  /// E_POINTER for a null `info`. O(1) once loaded.
  HRESULT GetTypeInfo(LCID lcid, ITypeInfo **info) noexcept;

  /// DISPIDs of a member name and, optionally, its parameter names, as
  /// IDispatch::GetIDsOfNames answers them. A single member name spelt
  /// exactly as declared (case-sensitive) is answered from the name cache in
  /// O(number of members); anything else (another letter case, unknown
  /// names, parameter names) is answered by the type information, whose
  /// status is returned (DISP_E_UNKNOWNNAME for an unknown name). E_POINTER,
  /// before anything is loaded, for a null `names` or `ids` with a non-zero
  /// `count`.
  HRESULT GetIDsOfNames(LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) noexcept;

  /// A late-bound call that the object makes itself, straight through its
  /// vtable, for members that clients call often: true when it made the
  /// call and the member succeeded, with `result` (which may be null) as
  /// ITypeInfo::Invoke would have left it; false when the call is not one
  /// that it makes or the member failed, having changed nothing.
  using DirectCall = bool (*)(IDispatch *self, DISPID member, WORD flags, DISPPARAMS &params,
                              VARIANT *result) noexcept;

  /// Calls member `member` of `self` (an object implementing the interface)
  /// and returns its status, as the type information calls it. The call is
  /// first offered to `direct` (when not null); when it declines, the type
  /// information makes it. A member that failed when called directly is so
  /// called once more, through the type information, which turns its
  /// failure into the caller's status and exception information; since a
  /// failing member changes nothing, the second call meets what the first
  /// met. A call made with exactly DISPATCH_METHOD that the type
  /// information answers with DISP_E_MEMBERNOTFOUND is made again as
  /// DISPATCH_METHOD | DISPATCH_PROPERTYGET, so that a property read as a
  /// statement or as a method call works. E_INVALIDARG, before anything is
  /// loaded or called, when `params` is null or promises arguments or
  /// argument names that it does not carry (a null array with a non-zero
  /// count, more names than arguments).
  HRESULT Invoke(IDispatch *self, DirectCall direct, DISPID member, LCID lcid, WORD flags, DISPPARAMS *params,
                 VARIANT *result, EXCEPINFO *exception, UINT *argumentError) noexcept;

  /// True once the type information is loaded.
  bool IsLoaded() const noexcept { return m_info.load(std::memory_order_acquire) != nullptr; }

  /// Releases the type information and frees the name cache; the next use
  /// loads again. Must not run concurrently with the other operations.
  /// O(number of members).
  void Unload() noexcept;

private:
  struct MemberName {
    BSTR name;
    UINT length;
    DISPID id;
  };

  /// True when `params` carries every argument and name it counts.
  static bool ArgumentsAreWhole(const DISPPARAMS *params) noexcept;
  HRESULT EnsureLoaded(LCID lcid) noexcept;
  HRESULT LoadLocked(LCID lcid) noexcept;
  static HRESULT BuildNameCache(ITypeInfo *info, MemberName **names, UINT *count) noexcept;
  void Clear() noexcept;
  static void FreeNames(MemberName *names, UINT count) noexcept;
  static void UnloadCallback(void *holder) noexcept;

  const IID &m_iid;
  const GUID &m_libid;
  WORD m_majorVersion;
  WORD m_minorVersion;
  LCID m_libraryLcid;
  std::atomic<ITypeInfo *> m_info{nullptr};
  MemberName *m_names = nullptr;
  UINT m_nameCount = 0;
  bool m_cleanupRegistered = false;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_TYPEINFOHOLDER_H

//===- XItem.h - One member of a variant collection -------------*- C++ -*-===//
//
// XItem: a key and a value, fixed when the collection makes the item and
// read-only to clients through the dual interface IXItem.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_XITEM_H
#define VARIANT_COLLECTION_XITEM_H

#include "Collection.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "DualDispatch.h"

#include <string_view>

namespace VariantCollection {

/// One member of a collection: a value VARIANT and a key VARIANT (VT_EMPTY
/// for a member added without a key, otherwise VT_BSTR). Both are fixed at
/// creation and never change, so they may be read on any thread without a
/// lock; the reference count is atomic.
///
/// Interfaces: IXItem (also answered for IDispatch and IUnknown) and
/// ISupportErrorInfo; any other IID gives E_NOINTERFACE. Every live item
/// holds one module lock.
///
/// - `Value` get: a copy of the value (VariantCopy into the caller's
///   initialised VARIANT, which is cleared first; VariantCopy's status is
///   returned, such as E_OUTOFMEMORY). E_POINTER for a null pointer. Each
///   call gives an independent copy.
/// - `Key` get: the same with the key.
/// - InterfaceSupportsErrorInfo: S_OK for IID_IXItem, S_FALSE otherwise.
///
/// Late-bound, an item stands for its value when the value is an object
/// (VT_DISPATCH, not null), so that `c("tags").Count`, `c("tags")(2)` and
/// For Each over `c("tags")` reach the collection or object it holds:
///
/// - GetIDsOfNames: a name the item has (`Value`, `Key`, in any letter
///   case) is answered by the item; any other is asked of the value.
/// - Invoke: `Key`, and `Value` called without arguments, are the item's;
///   every other DISPID (the value's members, DISPID_NEWENUM, DISPID_VALUE
///   called with arguments) is the value's call, with the value's own
///   status, result, exception information and error object. An item whose
///   value is not an object answers every call itself.
///
/// Early binding (the vtable) is the item's own only.
///
/// Late-bound reads of `Value` and `Key` without arguments are made
/// straight through the vtable when the field holds a scalar, a string, an
/// interface or nothing, with the results of a call through the type
/// information; every other late-bound call goes through the type
/// information.
///
/// Only the collection makes items (`Create`); nothing else does.
class XItem final : public ComObject<XItem, SharedCount, DualDispatch<IXItem>, ISupportErrorInfo> {
public:
  /// A new item that takes over `value` and `key` (both left VT_EMPTY),
  /// holding the caller's reference; null when it cannot be allocated
  /// (`value` and `key` are then left as they were). `key` must be VT_EMPTY
  /// or VT_BSTR. O(1); never throws.
  static ComPtr<XItem> Create(VARIANT &value, VARIANT &key) noexcept;

  // IXItem
  HRESULT STDMETHODCALLTYPE get_Value(VARIANT *value) override;
  HRESULT STDMETHODCALLTYPE get_Key(VARIANT *key) override;

  // IDispatch: the item's own members, else the value's (see above).
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params,
                                   VARIANT *result, EXCEPINFO *exception, UINT *argumentError) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  /// The value, read in place (by the enumerator). Never changes.
  const VARIANT &Value() const noexcept { return m_value; }
  /// The key, read in place. Never changes.
  const VARIANT &Key() const noexcept { return m_key; }
  /// True for an item added with a key.
  bool HasKey() const noexcept { return V_VT(&m_key) == VT_BSTR; }
  /// The key's bytes (see BstrBytes); empty for an item without a key.
  std::string_view KeyBytes() const noexcept;

protected:
  bool InvokeDirect(DISPID member, WORD flags, DISPPARAMS &params, VARIANT *result) noexcept override;

private:
  friend ComObject;
  static const InterfaceEntry<XItem> kInterfaces[];

  XItem() noexcept;
  ~XItem();

  static HRESULT CopyOut(const VARIANT &field, VARIANT *destination) noexcept;
  /// The value's IDispatch, with a reference added, when the value is an
  /// object; else null.
  ComPtr<IDispatch> ValueObject() const noexcept;

  VARIANT m_key;
  VARIANT m_value;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_XITEM_H

//===- XEnumVARIANT.h - Enumerator over a collection's values ---*- C++ -*-===//
//
// XEnumVARIANT: the IEnumVARIANT that a collection hands out for For Each
// loops, walking the values of a snapshot of its members.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_XENUMVARIANT_H
#define VARIANT_COLLECTION_XENUMVARIANT_H

#include "ComObject.h"
#include "ComPtr.h"
#include "XItem.h"

#include <oaidl.h>

#include <cstdint>
#include <vector>

namespace VariantCollection {

class XCollection;

/// Walks the values of the members a collection had when the enumerator
/// was made (the snapshot), in the collection's order. Later `Add` and
/// `Remove` on the collection do not change what an enumerator yields. The
/// snapshot holds one reference on each of its members, so members removed
/// from the collection, or left when the collection dies, stay readable
/// until the enumerator goes; it holds no reference on the collection.
///
/// - Next(celt, rgVar, pCeltFetched): copies the values of the next `celt`
///   members into rgVar (each element is initialised first, so the caller's
///   contents are not cleared) and moves past them; `*pCeltFetched` (when
///   given: VBScript passes none) is the number copied. S_OK when `celt`
///   values were copied, S_FALSE when fewer were left. E_POINTER for a null
///   rgVar with a non-zero celt. When a value cannot be copied (its copy
///   status is returned, such as E_OUTOFMEMORY) nothing moves: the values
///   already copied by that call are cleared again and `*pCeltFetched`
///   stays 0. O(celt) plus the cost of the copies.
/// - Skip(celt): moves past `celt` members; S_FALSE, stopping at the end,
///   when fewer were left, S_OK otherwise (also when it lands exactly at the
///   end). O(1).
/// - Reset: back to the first member. S_OK. O(1).
/// - Clone(ppEnum): a new enumerator over the same snapshot at the same
///   position, moving independently from then on. E_POINTER for a null
///   ppEnum; E_OUTOFMEMORY when the enumerator cannot be allocated and
///   E_NOINTERFACE when its snapshot cannot be (`*ppEnum` untouched in both
///   cases). O(n).
///
/// Interfaces: IEnumVARIANT and IUnknown (the same pointer); any other IID
/// gives E_NOINTERFACE. Every live enumerator holds one module lock. Not
/// thread-safe: it lives in the apartment of the collection that made it,
/// and its reference count is not atomic. No exception leaves any member.
class XEnumVARIANT final : public ComObject<XEnumVARIANT, ApartmentCount, IEnumVARIANT> {
public:
  /// A new enumerator over the current members of `collection`, positioned
  /// at the first, as IUnknown in `*enumerator` with exactly the caller's
  /// reference. `*enumerator` is set to null first. Answers E_OUTOFMEMORY
  /// when the enumerator cannot be allocated and E_NOINTERFACE when its
  /// snapshot cannot be; the collection is unchanged either way. O(n);
  /// never throws.
  static HRESULT Create(const XCollection &collection, IUnknown **enumerator) noexcept;

  // IEnumVARIANT
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT *rgVar, ULONG *pCeltFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT **ppEnum) override;

private:
  friend ComObject;
  static const InterfaceEntry<XEnumVARIANT> kInterfaces[];

  XEnumVARIANT() noexcept = default;
  ~XEnumVARIANT() = default;

  /// Takes `items` (and the reference held on each) as the snapshot.
  void Adopt(std::vector<ComPtr<XItem>> &items) noexcept;
  /// Copies the snapshot of `other`, adding a reference on each member.
  /// E_OUTOFMEMORY (nothing taken) when the copy cannot be allocated.
  HRESULT CopySnapshot(const XEnumVARIANT &other) noexcept;

  std::vector<ComPtr<XItem>> m_items;
  std::uint32_t m_position = 0;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_XENUMVARIANT_H

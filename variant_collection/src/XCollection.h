//===- XCollection.h - Ordered collection of VARIANT values -----*- C++ -*-===//
//
// XCollection: the server's creatable class, an ordered collection of
// VARIANT values, each optionally named by a string key, with the usual
// Automation collection protocol behind the dual interface IXCollection and
// the members that its extension IXCollection2 adds.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_XCOLLECTION_H
#define VARIANT_COLLECTION_XCOLLECTION_H

#include "Collection.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "DualDispatch.h"
#include "MemberTable.h"
#include "XItem.h"

#include <cstdint>
#include <vector>

namespace VariantCollection {

/// An ordered collection of members (XItem), oldest first, each holding a
/// value and an optional string key; reachable by 1-based position or by
/// key. Keys are compared exactly, byte for byte (case-sensitive); the empty
/// string is a key of its own, distinct from no key; no two members share a
/// key.
///
/// Every argument is read through VT_BYREF references first (see Argument):
/// what is classified, compared and stored is the value the argument stands
/// for. A selector (of `Item` get and `Remove`) is a key when it is a
/// VT_BSTR and a position when it is a VT_I2 or VT_I4.
///
/// - `Add`(Item, Key): appends a new member holding a copy of Item (VT_EMPTY
///   for a VT_ERROR Item) and of Key (none when Key is VT_ERROR, the form of
///   an omitted argument). A key already present replaces that member: the
///   new one goes to the end and Count stays; holders of the old item keep
///   it unchanged. Key of any other type: "Type mismatch", E_FAIL.
/// - `Item` put(Key, value): the same as `Add`(value, Key). Late-bound, a
///   put by reference (DISPATCH_PROPERTYPUTREF, as VBScript's
///   `Set c(key) = object` makes it) is this same put.
/// - `Item` get(Key, ppItem): the member with a reference added. E_POINTER
///   for a null ppItem; E_INVALIDARG (no error object) for an unknown key;
///   "Subscript out of range", E_FAIL, for a position below 1 or above
///   Count; "Type mismatch", E_FAIL, for any other selector. `*ppItem` is
///   written only on success.
/// - `Remove`(IndexOrKey): removes the member as `Item` get finds it, with
///   the same failures.
/// - `Count` get: the number of members (E_POINTER for a null pointer).
/// - `_NewEnum` get: an XEnumVARIANT over the current members, the caller
///   holding its only reference.
/// - `Exists`(Key, pExists): VARIANT_TRUE when a member has the key Key,
///   VARIANT_FALSE otherwise. Key is read as `Add` reads it; a Key that is
///   not a string (a number, Null, Empty, an object, VT_ERROR): "Type
///   mismatch", E_FAIL. E_POINTER for a null pExists.
/// - `Keys`(pKeys): a zero-based one-dimensional array (VT_ARRAY |
///   VT_VARIANT) with one element per member, oldest first: its key
///   (VT_BSTR), or VT_EMPTY for a member without a key.
/// - `Items`(pItems): the same with a copy of each member's value.
/// - `RemoveAll`: removes every member. Items and enumerators that clients
///   hold keep what they hold.
/// - Destruction (the last Release): removes every member as `RemoveAll`
///   does, also those that client code run by a released value adds.
/// - InterfaceSupportsErrorInfo: S_OK for IID_IXCollection and
///   IID_IXCollection2, S_FALSE otherwise.
///
/// "Type mismatch" and "Subscript out of range" are posted as error objects
/// (source: the ProgID registered for CLSID_Collection; GUID:
/// IID_IXCollection, also for the members of IXCollection2). A failure of a
/// platform call (copying an argument that cannot be copied, such as
/// VT_LPSTR, or running out of memory) is returned as the operation's
/// status. After every failure the collection is unchanged and nothing is
/// leaked. No exception leaves any member.
///
/// Complexity: keyed `Add`, `Item` and `Remove` O(1) on average, plus the
/// cost of copying the arguments for `Add`; positional `Item` and `Remove` O(log n);
/// `Count` O(1); `_NewEnum` O(n); `Exists` O(1) on average; `Keys`, `Items`
/// and `RemoveAll` O(n).
///
/// Late-bound calls of `Add`, `Item` get, `Remove`, `Count` and `Exists`
/// whose arguments the platform would pass on unchanged are made straight
/// through the vtable, with the results of a call through the type
/// information; every other late-bound call goes through the type
/// information.
///
/// Interfaces: IXCollection2, IXCollection (the same object: IXCollection2
/// extends its vtable; also answered for IDispatch and IUnknown) and
/// ISupportErrorInfo; any other IID gives E_NOINTERFACE. Every live
/// collection holds one module lock. Not thread-safe: the class lives in
/// the single-threaded apartment that created it, and its reference count
/// is not atomic.
class XCollection final
    : public ComObject<XCollection, ApartmentCount, DualDispatch<IXCollection2>, ISupportErrorInfo> {
public:
  /// Makes an empty collection and asks it for `iid` into `*object`. Answers
  /// E_POINTER for a null `object`, E_OUTOFMEMORY when the collection cannot
  /// be allocated, the QueryInterface status when it does not answer `iid`
  /// (the collection is then destroyed and `*object` is null). O(1); never
  /// throws.
  static HRESULT Create(REFIID iid, void **object) noexcept;

  // IXCollection
  HRESULT STDMETHODCALLTYPE put_Item(VARIANT key, VARIANT value) override;
  HRESULT STDMETHODCALLTYPE get_Item(VARIANT key, IXItem **item) override;
  HRESULT STDMETHODCALLTYPE Add(VARIANT item, VARIANT key) override;
  HRESULT STDMETHODCALLTYPE Remove(VARIANT indexOrKey) override;
  HRESULT STDMETHODCALLTYPE get_Count(LONG *count) override;
  /// An enumerator over the current members (see XEnumVARIANT::Create):
  /// E_POINTER for a null pointer, E_OUTOFMEMORY or E_NOINTERFACE when it
  /// cannot be made.
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown **enumerator) override;

  // IXCollection2
  /// `*exists` is written only on success.
  HRESULT STDMETHODCALLTYPE Exists(VARIANT key, VARIANT_BOOL *exists) override;
  /// `*keys` is initialised (VT_EMPTY) first and holds the array only on
  /// success; E_OUTOFMEMORY when the array or a key's copy cannot be made.
  HRESULT STDMETHODCALLTYPE Keys(VARIANT *keys) override;
  /// As `Keys`; also the status of a value's copy that fails (VariantCopy).
  HRESULT STDMETHODCALLTYPE Items(VARIANT *items) override;
  HRESULT STDMETHODCALLTYPE RemoveAll() override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // IDispatch
  /// As DualDispatch::Invoke, with a put by reference of `Item` made as its
  /// put: the interface declares only the put, which stores any value,
  /// objects included.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params,
                                   VARIANT *result, EXCEPINFO *exception, UINT *argumentError) override;

  /// A new, empty collection holding the caller's reference; null when it
  /// cannot be allocated. O(1); never throws.
  static ComPtr<XCollection> CreateEmpty() noexcept;

  /// The collection that `object` is, with a reference added, when it is
  /// one of this module's collections reached directly (not through a
  /// proxy); otherwise null. O(1); never throws.
  static ComPtr<XCollection> Of(IUnknown *object) noexcept;

  /// Appends `item` (a reference the collection takes over) as the reader
  /// of JSON text builds collections: an item whose key a member has
  /// already takes that member's place, so that a repeated name keeps the
  /// last value at the place of its first appearance. E_OUTOFMEMORY, with
  /// the reference released and nothing changed, when the table cannot
  /// grow. Amortised O(1) apart from hashing; never throws.
  HRESULT Append(ComPtr<XItem> item) noexcept;

  /// Marks an empty collection as made from an empty JSON object: it
  /// writes as `{}` until a member is added. O(1).
  void MarkEmptyObject() noexcept { m_emptyObject = m_members.Count() == 0; }
  /// True for a collection marked so that no member was added to since.
  bool IsEmptyObject() const noexcept { return m_emptyObject && m_members.Count() == 0; }

  /// Fills `items` with the current members, oldest first, each with a
  /// reference added that `items` owns. Answers
  /// E_OUTOFMEMORY, with `items` emptied, when the snapshot cannot be
  /// allocated. O(n); never throws.
  HRESULT SnapshotItems(std::vector<ComPtr<XItem>> &items) const noexcept;

protected:
  bool InvokeDirect(DISPID member, WORD flags, DISPPARAMS &params, VARIANT *result) noexcept override;

private:
  friend ComObject;
  static const InterfaceEntry<XCollection> kInterfaces[];

  XCollection() noexcept = default;
  ~XCollection();

  /// The member that `selector` picks, with its 1-based position when the
  /// selector is a position (0 for a key); or the failure that `Item` get
  /// and `Remove` answer.
  HRESULT Select(const VARIANT &selector, XItem **item, std::uint32_t *position) const noexcept;
  HRESULT TypeMismatch() const noexcept;
  HRESULT OutOfRange() const noexcept;
  /// Into `*array` (E_POINTER when null): a new zero-based VT_ARRAY |
  /// VT_VARIANT with a copy of `field` of each member, in member order
  /// (`Keys` and `Items`). On failure `*array` is VT_EMPTY and the status
  /// that of the snapshot, the array or the copy that failed.
  HRESULT FieldArray(const VARIANT &(XItem::*field)() const noexcept, VARIANT *array) const noexcept;

  MemberTable<XItem> m_members;
  /// Set by MarkEmptyObject, cleared by every Add.
  bool m_emptyObject = false;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_XCOLLECTION_H

//===- XCollection.cpp - Ordered collection of VARIANT values -------------===//

#include "XCollection.h"

#include "Argument.h"
#include "DispIds.h"
#include "LateBound.h"
#include "ReportError.h"
#include "XEnumVARIANT.h"

namespace VariantCollection {

namespace {

/// Answered only by collections of this module, for XCollection::Of: no
/// proxy knows it, so an object of another apartment never answers it.
// {F26CBDE7-0C1B-4E08-9E8B-4F8C1E5B1F3A}
const IID kCollectionObject = {0xF26CBDE7, 0x0C1B, 0x4E08, {0x9E, 0x8B, 0x4F, 0x8C, 0x1E, 0x5B, 0x1F, 0x3A}};

} // namespace

const InterfaceEntry<XCollection> XCollection::kInterfaces[] = {
    {&IID_IXCollection2, &InterfaceOf<IXCollection2>},
    {&IID_IXCollection, &InterfaceOf<IXCollection2>},
    {&IID_IDispatch, &InterfaceOf<IXCollection2>},
    {&IID_IUnknown, &InterfaceOf<IXCollection2>},
    {&IID_ISupportErrorInfo, &InterfaceOf<ISupportErrorInfo>},
    {&kCollectionObject, &InterfaceOf<IXCollection2>},
    {nullptr, nullptr},
};

XCollection::~XCollection() {
  // Releasing a value may run client code that uses this collection again,
  // even adds to it: the members leave the table before any is released
  // (RemoveAll), until none is left.
  while (m_members.Count() > 0)
    RemoveAll();
}

HRESULT XCollection::Create(REFIID iid, void **object) noexcept {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  const ComPtr<XCollection> collection = New();
  if (!collection)
    return E_OUTOFMEMORY;
  return collection->QueryInterface(iid, object);
}

ComPtr<XCollection> XCollection::CreateEmpty() noexcept { return New(); }

ComPtr<XCollection> XCollection::Of(IUnknown *object) noexcept {
  ComPtr<XCollection> collection;
  IXCollection2 *answer = nullptr;
  if (object != nullptr && SUCCEEDED(object->QueryInterface(kCollectionObject, reinterpret_cast<void **>(&answer))))
    collection.Attach(static_cast<XCollection *>(answer));
  return collection;
}

HRESULT XCollection::Append(ComPtr<XItem> item) noexcept {
  ComPtr<XItem> displaced;
  if (item->HasKey())
    displaced.Attach(m_members.Exchange(item.Get()));
  if (!displaced) {
    try {
      displaced.Attach(m_members.Add(item.Get()));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  item.Detach(); // the table holds that reference now
  return S_OK;
}

HRESULT XCollection::TypeMismatch() const noexcept {
  return ReportError(CLSID_Collection, "Type mismatch", IID_IXCollection, E_FAIL);
}

HRESULT XCollection::OutOfRange() const noexcept {
  return ReportError(CLSID_Collection, "Subscript out of range", IID_IXCollection, E_FAIL);
}

HRESULT XCollection::Select(const VARIANT &selector, XItem **item, std::uint32_t *position) const noexcept {
  Argument argument;
  HRESULT status = argument.Borrow(selector);
  if (FAILED(status))
    return WithoutErrorObject(status);
  switch (argument.Classify()) {
  case Argument::Kind::Key:
    *item = m_members.Find(argument.KeyBytes());
    *position = 0;
    return *item != nullptr ? S_OK : WithoutErrorObject(E_INVALIDARG);
  case Argument::Kind::Position: {
    const LONG requested = argument.Position();
    if (requested < 1 || static_cast<std::uint32_t>(requested) > m_members.Count())
      return OutOfRange();
    *position = static_cast<std::uint32_t>(requested);
    *item = m_members.At(*position);
    return S_OK;
  }
  default:
    return TypeMismatch();
  }
}

HRESULT STDMETHODCALLTYPE XCollection::put_Item(VARIANT key, VARIANT value) { return Add(value, key); }

HRESULT STDMETHODCALLTYPE XCollection::get_Item(VARIANT key, IXItem **item) {
  if (item == nullptr)
    return WithoutErrorObject(E_POINTER);
  XItem *found = nullptr;
  std::uint32_t position = 0;
  const HRESULT status = Select(key, &found, &position);
  if (FAILED(status))
    return status;
  found->AddRef();
  *item = found;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XCollection::Add(VARIANT item, VARIANT key) {
  Argument keyArgument;
  HRESULT status = keyArgument.Read(key);
  if (FAILED(status))
    return WithoutErrorObject(status);
  const Argument::Kind keyKind = keyArgument.Classify();
  if (keyKind != Argument::Kind::Key && keyKind != Argument::Kind::Missing)
    return TypeMismatch();
  Argument valueArgument;
  status = valueArgument.Read(item);
  if (FAILED(status))
    return WithoutErrorObject(status);

  VARIANT newValue;
  VARIANT newKey;
  VariantInit(&newValue);
  VariantInit(&newKey);
  if (valueArgument.Classify() != Argument::Kind::Missing)
    valueArgument.MoveTo(newValue);
  if (keyKind == Argument::Kind::Key)
    keyArgument.MoveTo(newKey);
  ComPtr<XItem> member = XItem::Create(newValue, newKey);
  if (!member) {
    VariantClear(&newValue);
    VariantClear(&newKey);
    return WithoutErrorObject(E_OUTOFMEMORY);
  }

  // Released only when this returns, with the table consistent again:
  // releasing a value may run client code that calls back into this
  // collection.
  ComPtr<XItem> displaced;
  try {
    displaced.Attach(m_members.Add(member.Get()));
  } catch (...) {
    return WithoutErrorObject(E_OUTOFMEMORY);
  }
  member.Detach(); // the table holds that reference now
  m_emptyObject = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XCollection::Remove(VARIANT indexOrKey) {
  XItem *found = nullptr;
  std::uint32_t position = 0;
  const HRESULT status = Select(indexOrKey, &found, &position);
  if (FAILED(status))
    return status;
  ComPtr<XItem> removed;
  removed.Attach(position != 0 ? m_members.RemoveAt(position) : m_members.Remove(found->KeyBytes()));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XCollection::get_Count(LONG *count) {
  if (count == nullptr)
    return WithoutErrorObject(E_POINTER);
  *count = static_cast<LONG>(m_members.Count());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XCollection::get__NewEnum(IUnknown **enumerator) {
  return WithoutErrorObject(XEnumVARIANT::Create(*this, enumerator));
}

HRESULT STDMETHODCALLTYPE XCollection::Exists(VARIANT key, VARIANT_BOOL *exists) {
  if (exists == nullptr)
    return WithoutErrorObject(E_POINTER);
  Argument argument;
  const HRESULT status = argument.Borrow(key);
  if (FAILED(status))
    return WithoutErrorObject(status);
  if (argument.Classify() != Argument::Kind::Key)
    return TypeMismatch();
  *exists = m_members.Find(argument.KeyBytes()) != nullptr ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT XCollection::FieldArray(const VARIANT &(XItem::*field)() const noexcept, VARIANT *array) const noexcept {
  if (array == nullptr)
    return WithoutErrorObject(E_POINTER);
  VariantInit(array);
  // Copying a value may run client code (a record's copy, an object's
  // AddRef) that changes this collection: the copies are made from a
  // snapshot that holds every member.
  std::vector<ComPtr<XItem>> members;
  HRESULT status = SnapshotItems(members);
  if (FAILED(status))
    return WithoutErrorObject(status);
  SAFEARRAY *elements = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(members.size()));
  if (elements == nullptr)
    return WithoutErrorObject(E_OUTOFMEMORY);
  VARIANT *element = nullptr;
  status = SafeArrayAccessData(elements, reinterpret_cast<void **>(&element));
  if (SUCCEEDED(status)) {
    for (std::size_t i = 0; i < members.size(); ++i) {
      status = CopyValue(element[i], ((*members[i]).*field)());
      if (FAILED(status))
        break;
    }
    SafeArrayUnaccessData(elements);
  }
  if (FAILED(status)) {
    SafeArrayDestroy(elements); // clears the elements copied so far
    return WithoutErrorObject(status);
  }
  V_VT(array) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(array) = elements;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XCollection::Keys(VARIANT *keys) { return FieldArray(&XItem::Key, keys); }

HRESULT STDMETHODCALLTYPE XCollection::Items(VARIANT *items) { return FieldArray(&XItem::Value, items); }

HRESULT STDMETHODCALLTYPE XCollection::RemoveAll() {
  // The members leave the table before any is released: releasing a value
  // may run client code that calls back into this collection.
  MemberTable<XItem> removed;
  m_members.Swap(removed);
  removed.ForEach([](XItem *item) { item->Release(); });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XCollection::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IXCollection) || IsEqualIID(iid, IID_IXCollection2) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE XCollection::Invoke(DISPID member, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params,
                                              VARIANT *result, EXCEPINFO *exception, UINT *argumentError) {
  if (member == DISPID_XCOLLECTION_ITEM && flags == DISPATCH_PROPERTYPUTREF)
    flags = DISPATCH_PROPERTYPUT;
  return DualDispatch::Invoke(member, iid, lcid, flags, params, result, exception, argumentError);
}

bool XCollection::InvokeDirect(DISPID member, WORD flags, DISPPARAMS &params, VARIANT *result) noexcept {
  if (!LateBound::PassesArgumentsUnchanged(params))
    return false;
  VARIANT *arguments = params.rgvarg; // the last argument first
  switch (member) {
  case DISPID_XCOLLECTION_ADD:
    if (!LateBound::SelectsMethod(flags))
      return false;
    if (params.cArgs == 1) {
      VARIANT missing = LateBound::MissingArgument();
      return SUCCEEDED(Add(arguments[0], missing));
    }
    return params.cArgs == 2 && SUCCEEDED(Add(arguments[1], arguments[0]));
  case DISPID_XCOLLECTION_ITEM: {
    IXItem *item = nullptr;
    if (!LateBound::SelectsPropertyGet(flags) || params.cArgs != 1 || FAILED(get_Item(arguments[0], &item)))
      return false;
    VARIANT value;
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = item;
    LateBound::Return(result, value);
    return true;
  }
  case DISPID_XCOLLECTION_REMOVE:
    return LateBound::SelectsMethod(flags) && params.cArgs == 1 && SUCCEEDED(Remove(arguments[0]));
  case DISPID_XCOLLECTION_COUNT: {
    if (!LateBound::SelectsPropertyGet(flags) || params.cArgs != 0)
      return false;
    VARIANT value;
    V_VT(&value) = VT_I4;
    get_Count(&V_I4(&value));
    LateBound::Return(result, value);
    return true;
  }
  case DISPID_XCOLLECTION_EXISTS: {
    VARIANT value;
    V_VT(&value) = VT_BOOL;
    if (!LateBound::SelectsMethod(flags) || params.cArgs != 1 || FAILED(Exists(arguments[0], &V_BOOL(&value))))
      return false;
    LateBound::Return(result, value);
    return true;
  }
  default:
    return false;
  }
}

HRESULT XCollection::SnapshotItems(std::vector<ComPtr<XItem>> &items) const noexcept {
  items.clear();
  try {
    items.reserve(m_members.Count());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  m_members.ForEach([&items](XItem *item) { items.emplace_back(item); });
  return S_OK;
}

} // namespace VariantCollection

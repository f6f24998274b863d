//===- XItem.cpp - One member of a variant collection ---------------------===//

#include "XItem.h"

#include "Argument.h"
#include "DispIds.h"
#include "LateBound.h"
#include "ReportError.h"

namespace VariantCollection {

const InterfaceEntry<XItem> XItem::kInterfaces[] = {
    {&IID_IXItem, &InterfaceOf<IXItem>},
    {&IID_IDispatch, &InterfaceOf<IXItem>},
    {&IID_IUnknown, &InterfaceOf<IXItem>},
    {&IID_ISupportErrorInfo, &InterfaceOf<ISupportErrorInfo>},
    {nullptr, nullptr},
};

XItem::XItem() noexcept {
  VariantInit(&m_key);
  VariantInit(&m_value);
}

XItem::~XItem() {
  VariantClear(&m_value);
  VariantClear(&m_key);
}

ComPtr<XItem> XItem::Create(VARIANT &value, VARIANT &key) noexcept {
  ComPtr<XItem> item = New();
  if (!item)
    return item;
  item->m_value = value;
  item->m_key = key;
  VariantInit(&value);
  VariantInit(&key);
  return item;
}

std::string_view XItem::KeyBytes() const noexcept {
  return HasKey() ? BstrBytes(V_BSTR(&m_key)) : std::string_view();
}

HRESULT STDMETHODCALLTYPE XItem::get_Value(VARIANT *value) { return WithoutErrorObject(CopyOut(m_value, value)); }

HRESULT STDMETHODCALLTYPE XItem::get_Key(VARIANT *key) { return WithoutErrorObject(CopyOut(m_key, key)); }

HRESULT XItem::CopyOut(const VARIANT &field, VARIANT *destination) noexcept {
  // The platform's VariantCopy does not survive a null destination.
  if (destination == nullptr)
    return E_POINTER;
  return CopyValue(*destination, field);
}

bool XItem::InvokeDirect(DISPID member, WORD flags, DISPPARAMS &params, VARIANT *result) noexcept {
  if (member != DISPID_XITEM_VALUE && member != DISPID_XITEM_KEY)
    return false;
  const VARIANT &field = member == DISPID_XITEM_VALUE ? m_value : m_key;
  // Arrays and records are copied by code of the platform or the client;
  // they take the type information's way, copies and all. (A field never
  // holds a reference: what it stores was read through any.)
  if (!LateBound::SelectsPropertyGet(flags) || params.cArgs != 0 || !LateBound::PassesUnchanged(field))
    return false;
  VARIANT value;
  VariantInit(&value);
  if (FAILED(CopyOut(field, &value)))
    return false;
  LateBound::Return(result, value);
  return true;
}

ComPtr<IDispatch> XItem::ValueObject() const noexcept {
  return ComPtr<IDispatch>(V_VT(&m_value) == VT_DISPATCH ? V_DISPATCH(&m_value) : nullptr);
}

HRESULT STDMETHODCALLTYPE XItem::GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) {
  const HRESULT status = DualDispatch<IXItem>::GetIDsOfNames(riid, names, count, lcid, ids);
  const ComPtr<IDispatch> value = ValueObject();
  if (status != DISP_E_UNKNOWNNAME || !value)
    return status;
  return value->GetIDsOfNames(riid, names, count, lcid, ids);
}

HRESULT STDMETHODCALLTYPE XItem::Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params,
                                        VARIANT *result, EXCEPINFO *exception, UINT *argumentError) {
  const bool own =
      member == DISPID_XITEM_KEY || params == nullptr || (member == DISPID_XITEM_VALUE && params->cArgs == 0);
  const ComPtr<IDispatch> value = own ? nullptr : ValueObject();
  if (!value)
    return DualDispatch<IXItem>::Invoke(member, riid, lcid, flags, params, result, exception, argumentError);
  return value->Invoke(member, riid, lcid, flags, params, result, exception, argumentError);
}

HRESULT STDMETHODCALLTYPE XItem::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IXItem) ? S_OK : S_FALSE;
}

} // namespace VariantCollection

//===- XEnumVARIANT.cpp - Enumerator over a collection's values -----------===//

#include "XEnumVARIANT.h"

#include "Argument.h"
#include "XCollection.h"

namespace VariantCollection {

const InterfaceEntry<XEnumVARIANT> XEnumVARIANT::kInterfaces[] = {
    {&IID_IEnumVARIANT, &InterfaceOf<IEnumVARIANT>},
    {&IID_IUnknown, &InterfaceOf<IEnumVARIANT>},
    {nullptr, nullptr},
};

HRESULT XEnumVARIANT::Create(const XCollection &collection, IUnknown **enumerator) noexcept {
  if (enumerator == nullptr)
    return E_POINTER;
  *enumerator = nullptr;
  const ComPtr<XEnumVARIANT> created = New();
  if (!created)
    return E_OUTOFMEMORY;
  std::vector<ComPtr<XItem>> items;
  HRESULT status = collection.SnapshotItems(items);
  if (SUCCEEDED(status)) {
    created->Adopt(items);
    status = created->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(enumerator));
  }
  return SUCCEEDED(status) ? S_OK : E_NOINTERFACE;
}

void XEnumVARIANT::Adopt(std::vector<ComPtr<XItem>> &items) noexcept {
  m_items.swap(items);
  m_position = 0;
}

HRESULT XEnumVARIANT::CopySnapshot(const XEnumVARIANT &other) noexcept {
  try {
    m_items = other.m_items;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XEnumVARIANT::Next(ULONG celt, VARIANT *rgVar, ULONG *pCeltFetched) {
  if (pCeltFetched != nullptr)
    *pCeltFetched = 0;
  if (celt == 0)
    return S_OK;
  if (rgVar == nullptr)
    return E_POINTER;
  for (ULONG i = 0; i < celt; ++i)
    VariantInit(&rgVar[i]);

  const std::uint32_t left = static_cast<std::uint32_t>(m_items.size()) - m_position;
  const ULONG wanted = celt < left ? celt : left;
  for (ULONG fetched = 0; fetched < wanted; ++fetched) {
    const HRESULT status = CopyValue(rgVar[fetched], m_items[m_position + fetched]->Value());
    if (FAILED(status)) {
      // Nothing was yielded: give back what this call copied so far.
      for (ULONG copied = 0; copied < fetched; ++copied)
        VariantClear(&rgVar[copied]);
      return status;
    }
  }
  m_position += wanted;
  if (pCeltFetched != nullptr)
    *pCeltFetched = wanted;
  return wanted < celt ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE XEnumVARIANT::Skip(ULONG celt) {
  const std::uint32_t left = static_cast<std::uint32_t>(m_items.size()) - m_position;
  if (celt > left) {
    m_position = static_cast<std::uint32_t>(m_items.size());
    return S_FALSE;
  }
  m_position += celt;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XEnumVARIANT::Reset() {
  m_position = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XEnumVARIANT::Clone(IEnumVARIANT **ppEnum) {
  if (ppEnum == nullptr)
    return E_POINTER;
  const ComPtr<XEnumVARIANT> clone = New();
  if (!clone)
    return E_OUTOFMEMORY;
  if (FAILED(clone->CopySnapshot(*this)))
    return E_NOINTERFACE;
  clone->m_position = m_position;
  const HRESULT status = clone->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void **>(ppEnum));
  return SUCCEEDED(status) ? S_OK : E_NOINTERFACE;
}

} // namespace VariantCollection

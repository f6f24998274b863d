//===- XEnumVARIANT.cpp - Enumerator over a collection's values -----------===//

#include "XEnumVARIANT.h"

#include "ServerModule.h"
#include "XCollection.h"

#include <new>

namespace VariantCollection {

XEnumVARIANT::XEnumVARIANT() noexcept { Module().Lock(); }

XEnumVARIANT::~XEnumVARIANT() {
  for (XItem *item : m_items)
    item->Release();
  // Last, so that the module cannot be unloaded while this code still runs.
  Module().Unlock();
}

HRESULT XEnumVARIANT::Create(const XCollection &collection, IUnknown **enumerator) noexcept {
  if (enumerator == nullptr)
    return E_POINTER;
  *enumerator = nullptr;
  XEnumVARIANT *created = new (std::nothrow) XEnumVARIANT();
  if (created == nullptr)
    return E_OUTOFMEMORY;
  created->AddRef();
  std::vector<XItem *> items;
  HRESULT status = collection.SnapshotItems(items);
  if (SUCCEEDED(status)) {
    created->Adopt(items);
    status = created->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(enumerator));
  }
  created->Release();
  return SUCCEEDED(status) ? S_OK : E_NOINTERFACE;
}

void XEnumVARIANT::Adopt(std::vector<XItem *> &items) noexcept {
  m_items.swap(items);
  m_position = 0;
}

HRESULT XEnumVARIANT::CopySnapshot(const XEnumVARIANT &other) noexcept {
  try {
    m_items = other.m_items;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  for (XItem *item : m_items)
    item->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE XEnumVARIANT::QueryInterface(REFIID iid, void **object) {
  if (object == nullptr)
    return E_POINTER;
  if (!IsEqualIID(iid, IID_IEnumVARIANT) && !IsEqualIID(iid, IID_IUnknown)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IEnumVARIANT *>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE XEnumVARIANT::AddRef() { return ++m_references; }

ULONG STDMETHODCALLTYPE XEnumVARIANT::Release() {
  const ULONG references = --m_references;
  if (references == 0)
    delete this;
  return references;
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
    const HRESULT status =
        VariantCopy(&rgVar[fetched], const_cast<VARIANT *>(&m_items[m_position + fetched]->Value()));
    if (FAILED(status)) {
      // Nothing was yielded: give back what this call copied so far.
      for (ULONG copied = 0; copied < fetched; ++copied)
        VariantClear(&rgVar[copied]);
      VariantInit(&rgVar[fetched]);
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
  XEnumVARIANT *clone = new (std::nothrow) XEnumVARIANT();
  if (clone == nullptr)
    return E_OUTOFMEMORY;
  clone->AddRef();
  if (FAILED(clone->CopySnapshot(*this))) {
    clone->Release();
    return E_NOINTERFACE;
  }
  clone->m_position = m_position;
  const HRESULT status = clone->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void **>(ppEnum));
  clone->Release();
  return SUCCEEDED(status) ? S_OK : E_NOINTERFACE;
}

} // namespace VariantCollection

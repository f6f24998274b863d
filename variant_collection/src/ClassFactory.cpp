//===- ClassFactory.cpp - Class object of a creatable class ---------------===//

#include "ClassFactory.h"

#include "ServerModule.h"

#include <new>

namespace VariantCollection {

ClassFactory::ClassFactory(InstanceCreator creator) noexcept : m_creator(creator) {
  InitializeCriticalSection(&m_lock);
}

ClassFactory::~ClassFactory() { DeleteCriticalSection(&m_lock); }

ClassFactory *ClassFactory::Create(InstanceCreator creator) noexcept {
  return new (std::nothrow) ClassFactory(creator);
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void **object) {
  if (object == nullptr)
    return E_POINTER;
  if (!IsEqualIID(iid, IID_IClassFactory) && !IsEqualIID(iid, IID_IUnknown)) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IClassFactory *>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
  EnterCriticalSection(&m_lock);
  const LONG references = InterlockedIncrement(&m_references);
  // The first reference is the module's own; the second is the first that
  // a client holds.
  if (references == 2)
    Module().Lock();
  LeaveCriticalSection(&m_lock);
  return static_cast<ULONG>(references);
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
  EnterCriticalSection(&m_lock);
  const LONG references = InterlockedDecrement(&m_references);
  if (references == 1)
    Module().Unlock();
  LeaveCriticalSection(&m_lock);
  if (references == 0)
    delete this;
  return static_cast<ULONG>(references);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown *outer, REFIID iid, void **object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (outer != nullptr)
    return CLASS_E_NOAGGREGATION;
  return m_creator(iid, object);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
  if (lock)
    Module().Lock();
  else
    Module().Unlock();
  return S_OK;
}

} // namespace VariantCollection

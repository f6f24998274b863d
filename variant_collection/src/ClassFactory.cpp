//===- ClassFactory.cpp - Class object of a creatable class ---------------===//

#include "ClassFactory.h"

#include "ServerModule.h"

namespace VariantCollection {

const InterfaceEntry<ClassFactory> ClassFactory::kInterfaces[] = {
    {&IID_IClassFactory, &InterfaceOf<IClassFactory>},
    {&IID_IUnknown, &InterfaceOf<IClassFactory>},
    {nullptr, nullptr},
};

ComPtr<ClassFactory> ClassFactory::Create(InstanceCreator creator) noexcept { return New(creator); }

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

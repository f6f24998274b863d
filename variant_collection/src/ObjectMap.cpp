//===- ObjectMap.cpp - The classes the server makes -----------------------===//

#include "ObjectMap.h"

#include "ClassFactory.h"
#include "Registration.h"
#include "ResourceIds.h"
#include "ScopedLock.h"
#include "ServerModule.h"
#include "XCollection.h"
#include "XJson.h"

#include <atomic>

namespace VariantCollection {

namespace {

struct ObjectMapEntry {
  const CLSID *clsid;
  UINT registryScript;
  ClassFactory::InstanceCreator createInstance;
  /// The module's reference on the class object, once made.
  std::atomic<IUnknown *> classObject;
};

// Constant-initialised: ready before any code of the module runs.
ObjectMapEntry g_objectMap[] = {
    {&CLSID_Collection, IDR_XCOLLECTION, &XCollection::Create, {nullptr}},
    {&CLSID_XJson, IDR_XJSON, &XJson::Create, {nullptr}},
};

/// The class object of `entry`, made on the first request. Null when it
/// cannot be allocated.
IUnknown *ClassObjectOf(ObjectMapEntry &entry) noexcept {
  IUnknown *classObject = entry.classObject.load(std::memory_order_acquire);
  if (classObject != nullptr)
    return classObject;
  ScopedLock lock(Module().ClassObjectLock());
  classObject = entry.classObject.load(std::memory_order_relaxed);
  if (classObject == nullptr) {
    // The factory's first reference is the module's, kept in the map.
    classObject = ClassFactory::Create(entry.createInstance).Detach();
    if (classObject != nullptr)
      entry.classObject.store(classObject, std::memory_order_release);
  }
  return classObject;
}

} // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **object) noexcept {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  for (ObjectMapEntry &entry : g_objectMap) {
    if (!IsEqualCLSID(*entry.clsid, clsid))
      continue;
    IUnknown *classObject = ClassObjectOf(entry);
    if (classObject == nullptr)
      return E_OUTOFMEMORY;
    return classObject->QueryInterface(iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassObjects() noexcept {
  for (ObjectMapEntry &entry : g_objectMap) {
    ComPtr<IUnknown> classObject;
    classObject.Attach(entry.classObject.exchange(nullptr));
  }
}

HRESULT UpdateClassRegistry(const wchar_t *modulePath, bool registering, const ClassesRoot &root) noexcept {
  HRESULT result = S_OK;
  for (const ObjectMapEntry &entry : g_objectMap) {
    const HRESULT status = RunRegistryScript(modulePath, entry.registryScript, registering, root);
    if (FAILED(status)) {
      result = status;
      if (registering)
        break;
    }
  }
  return result;
}

} // namespace VariantCollection

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void **object) {
  return VariantCollection::GetClassObject(clsid, iid, object);
}

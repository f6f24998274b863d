//===- ObjectMap.h - The classes the server makes ---------------*- C++ -*-===//
//
// The object map: the classes that clients can create from this server (the
// collection and XJson), their class objects and their registry scripts; and the
// DllGetClassObject export built on it.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_OBJECTMAP_H
#define VARIANT_COLLECTION_OBJECTMAP_H

#include "ClassesRoot.h"

#include <windows.h>

namespace VariantCollection {

/// The class object of the class `clsid`, asked for `iid` into `*object`.
/// Each class's object is made on its first request (serialised by the
/// module's class-object lock) and kept, with one reference of the module's
/// own, until `ReleaseClassObjects`; every request answers that same object.
///
/// Answers E_POINTER for a null `object`; otherwise `*object` is set to null
/// first. CLASS_E_CLASSNOTAVAILABLE for a class the server does not make
/// (the item and enumerator classes included), E_OUTOFMEMORY when the class
/// object cannot be allocated, else the class object's QueryInterface
/// status (E_NOINTERFACE for anything but IClassFactory and IUnknown).
/// O(1); may be called on any thread; never throws.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **object) noexcept;

/// Releases the module's reference on every class object made so far
/// (process detach). A class object that a client still holds lives on
/// until the client releases it. O(number of classes); never throws.
void ReleaseClassObjects() noexcept;

/// Runs the registry script of every class with the module at `modulePath`
/// into `root` (see RunRegistryScript): when registering, stops at and
/// answers the first failure; when unregistering, runs every script and
/// answers the last failure, or S_OK. Never throws.
HRESULT UpdateClassRegistry(const wchar_t *modulePath, bool registering, const ClassesRoot &root) noexcept;

} // namespace VariantCollection

/// GetClassObject, exported by name.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void **object);

#endif // VARIANT_COLLECTION_OBJECTMAP_H

//===- ComObject.h - IUnknown of the server's objects -----------*- C++ -*-===//
//
// ComObject: the one implementation of IUnknown (QueryInterface through an
// interface table, AddRef, Release, and creation holding the first
// reference) for every COM object the server and its tests write, with the
// reference counts and module-lock rules they choose from.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_COMOBJECT_H
#define VARIANT_COLLECTION_COMOBJECT_H

#include "ComPtr.h"
#include "ScopedLock.h"
#include "ServerModule.h"

#include <windows.h>
#include <unknwn.h>

#include <new>
#include <utility>

namespace VariantCollection {

/// One row of an object's interface table: an IID and the object's pointer
/// for it. A table ends with a row whose `iid` is null.
template <class Object> struct InterfaceEntry {
  const IID *iid;
  IUnknown *(*pointer)(Object &object) noexcept;
};

/// The pointer of `object` for its base interface `Interface`, for an
/// interface table row.
template <class Interface, class Object> IUnknown *InterfaceOf(Object &object) noexcept {
  return static_cast<Interface *>(&object);
}

/// The reference count of an object that lives in one apartment: not
/// atomic. The object holds one module lock for its whole life.
class ApartmentCount {
public:
  ApartmentCount() noexcept { Module().Lock(); }
  ~ApartmentCount() { Module().Unlock(); }
  ApartmentCount(const ApartmentCount &) = delete;
  ApartmentCount &operator=(const ApartmentCount &) = delete;
  ULONG Increment() noexcept { return ++m_count; }
  ULONG Decrement() noexcept { return --m_count; }

private:
  ULONG m_count = 0;
};

/// The reference count of an object that any thread may use: atomic. The
/// object holds one module lock for its whole life.
class SharedCount {
public:
  SharedCount() noexcept { Module().Lock(); }
  ~SharedCount() { Module().Unlock(); }
  SharedCount(const SharedCount &) = delete;
  SharedCount &operator=(const SharedCount &) = delete;
  ULONG Increment() noexcept { return static_cast<ULONG>(InterlockedIncrement(&m_count)); }
  ULONG Decrement() noexcept { return static_cast<ULONG>(InterlockedDecrement(&m_count)); }

private:
  LONG m_count = 0;
};

/// The reference count of a class object: atomic, changed under the
/// object's own lock. Its first reference belongs to the module; while any
/// further one is held (a client's), the object holds one module lock: the
/// lock is taken when the count reaches 2 and given back when it falls
/// back to 1.
class ClassObjectCount {
public:
  ClassObjectCount() noexcept { InitializeCriticalSection(&m_lock); }
  ~ClassObjectCount() { DeleteCriticalSection(&m_lock); }
  ClassObjectCount(const ClassObjectCount &) = delete;
  ClassObjectCount &operator=(const ClassObjectCount &) = delete;
  ULONG Increment() noexcept {
    ScopedLock lock(m_lock);
    const LONG references = InterlockedIncrement(&m_count);
    if (references == 2)
      Module().Lock();
    return static_cast<ULONG>(references);
  }
  ULONG Decrement() noexcept {
    ScopedLock lock(m_lock);
    const LONG references = InterlockedDecrement(&m_count);
    if (references == 1)
      Module().Unlock();
    return static_cast<ULONG>(references);
  }

private:
  CRITICAL_SECTION m_lock;
  LONG m_count = 0;
};

/// IUnknown of the class `Object`, which derives from ComObject<Object,
/// Count, Bases...> (`Bases` are the interfaces, or classes implementing
/// interfaces, that it derives from) and declares
///
///     static const InterfaceEntry<Object> kInterfaces[];
///
/// its interface table (ended by a null row), and makes ComObject a friend
/// (for construction and destruction).
///
/// - QueryInterface: E_POINTER for a null out-pointer; the table's pointer
///   for `iid` with a reference added; E_NOINTERFACE (`*object` null) for
///   an IID the table does not name. O(table rows).
/// - AddRef, Release: `Count`'s rules (see ApartmentCount, SharedCount,
///   ClassObjectCount); the last Release destroys the object, once: while
///   it is destroyed the object holds a reference of its own again, so that
///   references that code run by its destructor takes and gives back (a
///   client's, called when a value the object held is released) never
///   bring the count to zero a second time. O(1).
///
/// An object's count starts at 0 and `New` takes its first reference, so
/// that every object is born holding exactly its creator's reference.
/// Never throws.
template <class Object, class Count, class... Bases> class ComObject : public Bases... {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
    if (object == nullptr)
      return E_POINTER;
    for (const InterfaceEntry<Object> *entry = Object::kInterfaces; entry->iid != nullptr; ++entry) {
      if (IsEqualIID(iid, *entry->iid)) {
        IUnknown *answer = entry->pointer(static_cast<Object &>(*this));
        answer->AddRef();
        *object = answer;
        return S_OK;
      }
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return m_count.Increment(); }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG references = m_count.Decrement();
    if (references == 0) {
      m_count.Increment(); // the destruction's own reference, never given back
      delete static_cast<Object *>(this);
    }
    return references;
  }

protected:
  ComObject() noexcept = default;
  ~ComObject() = default;
  ComObject(const ComObject &) = delete;
  ComObject &operator=(const ComObject &) = delete;

  /// A new Object made from `arguments`, holding the caller's (first)
  /// reference; null when it cannot be allocated. O(1) plus the
  /// constructor.
  template <class... Arguments> static ComPtr<Object> New(Arguments &&...arguments) noexcept {
    ComPtr<Object> created;
    created.Attach(new (std::nothrow) Object(std::forward<Arguments>(arguments)...));
    if (created)
      created->AddRef();
    return created;
  }

private:
  Count m_count;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_COMOBJECT_H

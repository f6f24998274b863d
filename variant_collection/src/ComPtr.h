//===- ComPtr.h - Owning pointer to a COM interface -------------*- C++ -*-===//
//
// ComPtr<T>: holds one reference on a COM interface and releases it when it
// goes. Shared by the server and its tests.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_COMPTR_H
#define VARIANT_COLLECTION_COMPTR_H

#include <unknwn.h>

#include <cstddef>
#include <memory>
#include <utility>

namespace VariantCollection {

template <class T> class ComPtr;

/// What `&pointer` gives: the address of the pointer a ComPtr holds, as an
/// out-parameter (`T **` or `void **`). The reference held before is
/// released first.
template <class T> class ComPtrAddress {
public:
  explicit ComPtrAddress(ComPtr<T> &owner) noexcept : m_owner(owner) {}
  operator T **() const noexcept { return m_owner.ReleaseAndGetAddressOf(); }
  operator void **() const noexcept { return reinterpret_cast<void **>(m_owner.ReleaseAndGetAddressOf()); }
  ComPtr<T> &Owner() const noexcept { return m_owner; }

private:
  ComPtr<T> &m_owner;
};

/// Owns one reference on a `T` (an interface or a class that implements
/// IUnknown), or nothing. Copying adds a reference, moving passes it on,
/// destruction releases it. Every operation is O(1) apart from what the
/// object's AddRef, Release and QueryInterface cost, and never throws.
/// Not thread-safe: one ComPtr is used by one thread at a time.
template <class T> class ComPtr {
public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  /// Adds a reference on `object` (when not null).
  ComPtr(T *object) noexcept : m_object(object) { AddRefHeld(); }
  ComPtr(const ComPtr &other) noexcept : ComPtr(other.m_object) {}
  template <class U> ComPtr(const ComPtr<U> &other) noexcept : ComPtr(other.Get()) {}
  ComPtr(ComPtr &&other) noexcept : m_object(other.Detach()) {}
  ~ComPtr() { Reset(); }

  ComPtr &operator=(ComPtr other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ComPtr &operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  T *Get() const noexcept { return m_object; }
  T *operator->() const noexcept { return m_object; }
  T &operator*() const noexcept { return *m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

  /// The held pointer's address, for an out-parameter; releases the held
  /// reference first.
  ComPtrAddress<T> operator&() noexcept { return ComPtrAddress<T>(*this); }
  /// The held pointer's address, the reference kept.
  T **GetAddressOf() noexcept { return &m_object; }
  /// Releases the held reference and gives the emptied pointer's address.
  T **ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &m_object;
  }

  /// Releases the held reference; answers Release's count (0 when empty).
  unsigned long Reset() noexcept {
    T *object = m_object;
    m_object = nullptr;
    return object != nullptr ? object->Release() : 0;
  }
  /// Takes over `object`'s reference without adding one; releases the
  /// reference held before.
  void Attach(T *object) noexcept {
    Reset();
    m_object = object;
  }
  /// Gives up the held reference to the caller, leaving this empty.
  T *Detach() noexcept { return std::exchange(m_object, nullptr); }

  /// Asks the object for `U` into `target` (QueryInterface's status).
  template <class U> HRESULT As(ComPtr<U> *target) const noexcept {
    return m_object->QueryInterface(__uuidof(U), reinterpret_cast<void **>(target->ReleaseAndGetAddressOf()));
  }
  template <class U> HRESULT As(ComPtrAddress<U> target) const noexcept { return As(std::addressof(target.Owner())); }

private:
  void AddRefHeld() noexcept {
    if (m_object != nullptr)
      m_object->AddRef();
  }

  T *m_object = nullptr;
};

/// Pointers compare by the held pointer.
template <class T, class U> bool operator==(const ComPtr<T> &a, const ComPtr<U> &b) noexcept {
  return a.Get() == b.Get();
}
template <class T, class U> bool operator!=(const ComPtr<T> &a, const ComPtr<U> &b) noexcept {
  return a.Get() != b.Get();
}
template <class T> bool operator==(const ComPtr<T> &a, std::nullptr_t) noexcept { return a.Get() == nullptr; }
template <class T> bool operator!=(const ComPtr<T> &a, std::nullptr_t) noexcept { return a.Get() != nullptr; }
template <class T> bool operator<(const ComPtr<T> &a, const ComPtr<T> &b) noexcept { return a.Get() < b.Get(); }

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_COMPTR_H

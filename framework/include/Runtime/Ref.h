//===- Runtime/Ref.h - Counted handle on a framework object ------*- C++ -*-===//
//
// Runtime::Ref<T>, the handle that owns one reference on a Runtime::Object.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_RUNTIME_REF_H
#define ZORBIN_TESSEL_RUNTIME_REF_H

#include <Runtime/Object.h>

#include <cstddef>
#include <type_traits>
#include <utility>

namespace Zorbin {
namespace Tessel {
namespace Runtime {

/// A handle that owns exactly one reference on a `T` (a class derived from
/// `Runtime::Object`), or nothing.
///
/// - `Ref()` and `Ref(nullptr)` are empty.
/// - `Ref(T* fresh)` adopts a freshly constructed object: it takes over the
///   creator's reference without `Retain`.
/// - `Ref(T& existing)` shares an object that lives elsewhere: it retains it.
/// - Copies retain; moves transfer the reference; destruction releases.
/// - Assignment from a handle on another object retains the new object before
///   it releases the old one, so assigning a handle reachable only through the
///   old object is safe; assigning a handle to itself changes no count.
///
/// Every operation is O(1) (plus a destructor on the last release) and none
/// throws. A handle is not synchronised: share the object, not the handle.
template <typename T> class Ref {
public:
  using element_type = T;

  Ref() noexcept : m_object(nullptr) {}
  Ref(std::nullptr_t) noexcept : m_object(nullptr) {}

  /// Adopts `fresh` (which may be null) without `Retain`.
  explicit Ref(T *fresh) noexcept : m_object(fresh) {}

  /// Shares `existing`, adding one reference to it.
  Ref(T &existing) noexcept : m_object(&existing) { m_object->Retain(); }

  Ref(const Ref &other) noexcept : m_object(other.m_object) { RetainObject(); }
  Ref(Ref &&other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }

  template <typename U, typename = std::enable_if_t<std::is_convertible<U *, T *>::value>>
  Ref(const Ref<U> &other) noexcept : m_object(other.Get()) {
    RetainObject();
  }

  template <typename U, typename = std::enable_if_t<std::is_convertible<U *, T *>::value>>
  Ref(Ref<U> &&other) noexcept : m_object(other.Detach()) {}

  ~Ref() { ReleaseObject(); }

  Ref &operator=(const Ref &other) noexcept {
    if (this != &other) {
      T *previous = m_object;
      m_object = other.m_object;
      RetainObject();
      if (previous)
        previous->Release();
    }
    return *this;
  }

  Ref &operator=(Ref &&other) noexcept {
    if (this != &other) {
      T *previous = m_object;
      m_object = other.m_object;
      other.m_object = nullptr;
      if (previous)
        previous->Release();
    }
    return *this;
  }

  /// Adopts a freshly constructed object (without `Retain`).
  static Ref Adopt(T *fresh) noexcept { return Ref(fresh); }

  /// Releases the object held, if any, and leaves the handle empty.
  void Reset() noexcept {
    T *previous = m_object;
    m_object = nullptr;
    if (previous)
      previous->Release();
  }

  /// Gives up the reference without releasing it; the caller now owns it.
  T *Detach() noexcept {
    T *object = m_object;
    m_object = nullptr;
    return object;
  }

  T *Get() const noexcept { return m_object; }
  T &operator*() const noexcept { return *m_object; }
  T *operator->() const noexcept { return m_object; }
  explicit operator bool() const noexcept { return m_object != nullptr; }

  friend bool operator==(const Ref &a, const Ref &b) noexcept { return a.m_object == b.m_object; }
  friend bool operator!=(const Ref &a, const Ref &b) noexcept { return a.m_object != b.m_object; }

private:
  void RetainObject() const noexcept {
    if (m_object)
      m_object->Retain();
  }
  void ReleaseObject() noexcept {
    if (m_object)
      m_object->Release();
  }

  T *m_object;
};

} // namespace Runtime
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_RUNTIME_REF_H

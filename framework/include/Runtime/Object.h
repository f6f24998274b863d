//===- Runtime/Object.h - Reference-counted framework object -----*- C++ -*-===//
//
// The framework's base class for objects that live by reference counts.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_RUNTIME_OBJECT_H
#define ZORBIN_TESSEL_RUNTIME_OBJECT_H

#include <Runtime/Export.h>

#include <atomic>
#include <cstdint>

namespace Zorbin {
namespace Tessel {
namespace Runtime {

/// A reference-counted object.
///
/// A new object carries one reference, owned by whoever constructed it.
/// `Retain` adds a reference and `Release` drops one; the release of the last
/// reference destroys the object through its virtual destructor, which hands
/// its memory back through the class's `operator delete`. The count is a
/// 32-bit atomic, on every platform: references may be taken and dropped on
/// any thread, and an object holds at most 4294967295 of them.
class RUNTIME_API Object {
public:
  /// A new object with one reference, owned by the caller.
  Object() noexcept;

  /// A copy is a new object: it starts with its own single reference and
  /// shares nothing with `other`'s count.
  Object(const Object &other) noexcept;

  /// Assignment leaves both counts as they are.
  Object &operator=(const Object &other) noexcept;

  /// Adds one reference. Complexity: O(1). Never throws.
  void Retain() const noexcept;

  /// Drops one reference and destroys the object when it was the last.
  /// Releasing an object that holds no reference is undefined.
  /// Complexity: O(1) plus the destructor. Never throws.
  void Release() const noexcept;

  /// The number of references held now; for tests and diagnostics only,
  /// since another thread may change it at any moment.
  unsigned long RetainCount() const noexcept;

protected:
  virtual ~Object();

private:
  // 32 bits wide even where `long` is 64: on such builds a derived class's
  // first member fills the room beside it, which keeps small values small.
  mutable std::atomic<std::uint32_t> m_retainCount;
};

} // namespace Runtime
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_RUNTIME_OBJECT_H

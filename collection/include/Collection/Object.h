//===- Collection/Object.h - Wrapped framework objects ----------*- C++ -*-===//
//
// Object: the value kind that carries a framework object (any
// Runtime::Object) among the other values.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_OBJECT_H
#define ZORBIN_TESSEL_COLLECTION_OBJECT_H

#include <Collection/Value.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// A value that shares a framework object and keeps it alive.
///
/// The value holds one reference on the wrapped `Runtime::Object` for its
/// whole life and never changes the object itself. Not to be confused with
/// `Runtime::Object`, which every value (this one included) already is.
///
/// - `ObjectValue` (and the conversion to `const Runtime::Object&`) answers
///   the wrapped object. Any framework object may be wrapped, values of the
///   model included.
/// - Two `Object` values are equal exactly when they wrap the very same
///   object; wrappers of two distinct objects of equal content are not. An
///   `Object` never equals a value of another kind.
/// - `Print` writes "<", the name that `std::type_info::name()` gives for the
///   wrapped object's dynamic type, and ">". The form of the name is the
///   platform's (GCC and MinGW give the mangled name).
/// - Every other accessor gives `Value`'s default.
///
/// Nothing throws except the printing into a stream and `ToString`
/// (std::bad_alloc).
class COLLECTION_API Object : public Value {
public:
  /// A new value wrapping `object`, which gains one reference. O(1).
  explicit Object(const Runtime::Object &object) noexcept;

  /// A new value (with its own single reference, owned by its creator)
  /// wrapping the same object as `other`, which gains one reference. O(1).
  Object(const Object &other) noexcept;

  /// Makes this value wrap the object that `other` wraps: that object gains
  /// a reference before the one wrapped so far loses this value's (which may
  /// destroy it). Assigning a value to itself, or between two values that
  /// wrap the same object, changes no count. The value's own count is left
  /// as it is. O(1) plus a destructor.
  Object &operator=(const Object &other) noexcept;

  /// The wrapped object. O(1), never throws.
  const Runtime::Object &ObjectValue() const override;

  /// True exactly when `other` is an `Object` wrapping the same object, as
  /// the other value's typed equality answers. Never throws.
  bool operator==(const Value &other) const override;

  /// "<" type name ">", the name of the wrapped object's dynamic type.
  void Print(std::ostream &os) const override;

  /// True when both values' `ObjectValue` are the same object. Never throws.
  virtual bool operator==(const Object &other) const;

protected:
  /// Gives the wrapped object back its reference.
  ~Object() override;

private:
  Runtime::Ref<const Runtime::Object> m_object;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_OBJECT_H

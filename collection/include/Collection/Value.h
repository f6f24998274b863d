//===- Collection/Value.h - Root of the value model -------------*- C++ -*-===//
//
// Value: the interface every kind of value answers, with a fixed default for
// every operation.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_VALUE_H
#define ZORBIN_TESSEL_COLLECTION_VALUE_H

#include <Collection/BasicData.h>
#include <Collection/Export.h>
#include <Runtime/Object.h>
#include <Runtime/Ref.h>

#include <cstddef>
#include <iosfwd>
#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// The root of the value model.
///
/// Every kind of value (null, boolean, number, string, byte buffer, wrapped
/// framework object, array, dictionary) derives from `Value` and answers its
/// whole interface. `Value` gives every operation a fixed default, so a kind
/// overrides only what it can answer: a question a value cannot answer yields
/// false, 0, 0.0, the empty string, an empty buffer, a null pointer or the
/// null value, and a missing entry is never an error.
///
/// Values are reference-counted through `Runtime::Object` and die only by
/// their last `Release`. Their memory comes from the native allocator: a
/// value's `operator new` answers null instead of throwing when the allocator
/// is exhausted, so `new` of a value kind then yields null and constructs
/// nothing.
///
/// Integers: in every signature `long` is a signed and `unsigned long` an
/// unsigned 32-bit quantity. Where the platform's `long` is wider (64-bit
/// Linux), results stay within the 32-bit range and wrap exactly as on a
/// 32-bit platform, and a parameter wider than 32 bits is cut to its low 32
/// bits, except an index: an index that does not fit 32 bits is out of
/// range (lookups answer the null value, mutators do nothing).
///
/// Thread safety: a value that is shared is never changed by the library
/// (booleans, numbers, strings, byte buffers and wrapped objects never change
/// after construction) and reference counts are atomic. So any number of
/// threads may read one tree of values at once (accessors, lookups, key
/// paths, walks, iteration, printing, equality, copies and merges into
/// containers of their own), each taking and dropping references of its own
/// (`Runtime::Ref` copies) on the shared values. A container that some
/// thread changes needs the caller's own lock around every use of it, reads
/// included, for as long as it may change; a handle (`Runtime::Ref`) object
/// itself is not synchronised: share the values, each thread its own handles.
class COLLECTION_API Value : public Runtime::Object {
public:
  /// The one null value. It lives as long as the library is loaded and no
  /// pairing of `Retain` and `Release` frees it. O(1).
  static const Value &Null() noexcept;

  /// True only for the null value.
  virtual bool IsNull() const;

  /// Typed accessors; each answers the default given here unless the kind
  /// converts its content (see each kind). None throws except
  /// `StringValue` and `DataValue`, which may raise std::bad_alloc for their
  /// result.
  virtual bool BoolValue() const;                 ///< Default false.
  virtual long IntValue() const;                  ///< Default 0.
  virtual unsigned long UnsignedIntValue() const; ///< Default 0.
  virtual float FloatValue() const;               ///< Default 0.0.
  virtual double DoubleValue() const;             ///< Default 0.0.
  virtual std::string StringValue() const;        ///< Default the empty string.
  /// Default an empty buffer. A non-empty result is a deep copy that the
  /// caller owns; copying may raise std::bad_alloc.
  virtual Container::basic_data<unsigned char> DataValue() const;
  virtual void *PointerValue() const; ///< Default null.
  /// Default: this value itself, seen as a framework object.
  virtual const Runtime::Object &ObjectValue() const;

  /// Equality, decided by the left operand's dynamic kind. The default is
  /// identity (the very same object). Values of different kinds are never
  /// equal. Never throws.
  virtual bool operator==(const Value &other) const;
  /// `!(*this == other)`, through the left operand's `operator==`.
  virtual bool operator!=(const Value &other) const;

  /// The conversions are each exactly one call of the accessor named; a kind
  /// changes them by overriding the accessor.
  virtual bool operator!() const;                                ///< `!BoolValue()`.
  virtual operator bool() const;                                 ///< `BoolValue()`.
  virtual operator short() const;                                ///< Low 16 bits of `IntValue()`.
  virtual operator unsigned short() const;                       ///< Low 16 bits of `UnsignedIntValue()`.
  virtual operator int() const;                                  ///< `IntValue()`.
  virtual operator unsigned int() const;                         ///< `UnsignedIntValue()`.
  virtual operator long() const;                                 ///< `IntValue()`.
  virtual operator unsigned long() const;                        ///< `UnsignedIntValue()`.
  virtual operator float() const;                                ///< `FloatValue()`.
  virtual operator double() const;                               ///< `DoubleValue()`.
  virtual operator std::string() const;                          ///< `StringValue()`.
  virtual operator Container::basic_data<unsigned char>() const; ///< `DataValue()`.
  virtual operator void *() const;                               ///< `PointerValue()`.
  /// `ObjectValue()`. Since a value already is a `Runtime::Object`, the
  /// language binds references to the base directly and calls this operator
  /// only when it is named: `value.operator const Runtime::Object &()`.
#if defined(__clang__)
#  pragma clang diagnostic push
#  pragma clang diagnostic ignored "-Wclass-conversion"
#elif defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wclass-conversion"
#endif
  virtual operator const Runtime::Object &() const;
#if defined(__clang__)
#  pragma clang diagnostic pop
#elif defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

  /// The number of elements or entries; 0 for every kind but containers.
  virtual unsigned long Count() const;

  /// The element at `index`, or the null value; the default answers the null
  /// value for every index. The reference stays valid while the receiver
  /// holds the element. Never throws.
  virtual const Value &GetValueAtIndex(unsigned long index) const;

  /// `GetValueForKey(std::string(key))`: the key is taken whole, a dot in it
  /// is part of the key. `key` must be a zero-terminated string.
  /// May raise std::bad_alloc for the temporary string.
  virtual const Value &operator[](const char *key) const;

  /// `GetValueAtIndex(index)` with `index` taken as an unsigned 32-bit
  /// number, so -1 asks for index 4294967295.
  virtual const Value &operator[](int index) const;

  /// The entry under `key`, or the null value; the default answers the null
  /// value for every key. Never throws.
  virtual const Value &GetValueForKey(const std::string &key) const;

  /// Writes the value's text into `os` without changing the stream's flags.
  /// The default writes "(value)".
  virtual void Print(std::ostream &os) const;

  /// The text `Print` writes into a fresh, default-formatted string stream.
  /// May raise std::bad_alloc.
  virtual std::string ToString() const;

  /// Writes the `Print` text and a newline to std::cerr and flushes it.
  virtual void Log() const;

  /// Value objects take their memory from the native allocator. Null on
  /// exhaustion (nothing is then constructed); never throws.
  static void *operator new(std::size_t size) noexcept;
  static void operator delete(void *block) noexcept;
  /// Placement forms, for constructing a value in storage the caller owns.
  static void *operator new(std::size_t, void *place) noexcept { return place; }
  static void operator delete(void *, void *) noexcept {}

protected:
  Value() noexcept = default;
  Value(const Value &) noexcept = default;
  Value &operator=(const Value &) noexcept = default;
  virtual ~Value();
};

/// `value.Print(os)`, then `os`: `std::cout << value` writes any value (of
/// any kind, reached by reference or through a handle's `*`) with the
/// stream's own formatting, as `Print` does. A plain function taking `const
/// Value&`, so it is chosen over the conversion operators. Throws what
/// `Print` throws.
COLLECTION_API std::ostream &operator<<(std::ostream &os, const Value &value);

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_VALUE_H

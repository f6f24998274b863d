//===- Collection/Number.h - Numbers of four machine types ------*- C++ -*-===//
//
// Number: the value kind that holds one number, remembering its type.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_NUMBER_H
#define ZORBIN_TESSEL_COLLECTION_NUMBER_H

#include <Collection/Value.h>

#include <cstdint>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// One immutable number, stored as a signed or unsigned 32-bit integer, a
/// 32-bit float or a 64-bit double, and converted from that stored type by
/// every numeric accessor:
///
/// | accessor          | from an integer                  | from a float or double |
/// |-------------------|----------------------------------|------------------------|
/// | `BoolValue`       | not 0                            | `!= 0.0` (NaN true, -0.0 false) |
/// | `IntValue`        | the 32 bits read as signed       | truncated; NaN or outside the signed 32-bit range gives -2147483648 |
/// | `UnsignedIntValue`| the 32 bits read as unsigned     | truncated to a signed 64-bit integer, its low 32 bits; NaN or outside that range gives 0 |
/// | `FloatValue`      | nearest float                    | nearest float; beyond the float range +/-infinity |
/// | `DoubleValue`     | exact                            | exact |
///
/// Rounding is to nearest, ties to even; the rounding mode is never changed.
/// Two numbers are equal when their `DoubleValue`s compare equal (the stored
/// types play no part; NaN equals nothing). A number never equals a value of
/// another kind. `Print` inserts the stored value with the stream's own
/// insertion for its type, so the caller's formatting applies; `StringValue`
/// and `ToString` give that text in default formatting (in the classic
/// global locale made without a stream, the same bytes). No accessor throws except the string results
/// (std::bad_alloc).
///
/// Lifetime: a number made with `new` (or by `MakeValue`) lives by its
/// reference count like every other value; that is the kind of number a
/// container or a handle may hold. A number on the stack or inside another
/// object is for local use only: it must not be stored in a container or
/// held by a `Runtime::Ref` that outlives it. A number destroyed while
/// references other than its creator's are still held (its count above 1)
/// writes one line naming the problem to the standard error stream and
/// aborts the process, as a failed assertion does.
///
/// A number never changes after construction: it can be copied (a new value
/// with its own count) but not assigned.
class COLLECTION_API Number : public Value {
public:
  enum NumericType { Int = 0, UnsignedInt = 1, Float = 2, Double = 3 };

  Number(int value) noexcept;           ///< Kind `Int`.
  Number(unsigned int value) noexcept;  ///< Kind `UnsignedInt`.
  Number(long value) noexcept;          ///< Kind `Int`; kept to 32 bits.
  Number(unsigned long value) noexcept; ///< Kind `UnsignedInt`; kept to 32 bits.
  Number(float value) noexcept;         ///< Kind `Float`.
  Number(double value) noexcept;        ///< Kind `Double`.

  Number(const Number &) noexcept = default;
  Number &operator=(const Number &) = delete;

  /// Unlike the other kinds, a number may also live on the stack or inside
  /// another object, and may be deleted directly, but only while nothing
  /// else refers to it: with a retain count above 1 (a container or a handle
  /// still holds it) the destructor reports the fault on the standard error
  /// stream and aborts.
  ~Number() override;

  /// The stored type.
  NumericType Type() const noexcept { return m_type; }

  bool BoolValue() const override;
  long IntValue() const override;
  unsigned long UnsignedIntValue() const override;
  float FloatValue() const override;
  double DoubleValue() const override;
  std::string StringValue() const override;
  bool operator==(const Value &other) const override;
  void Print(std::ostream &os) const override;
  /// The `Print` text in a default-formatted stream. In the classic global
  /// locale it is made with `std::to_chars` (integers in decimal, floating
  /// values as "%g" with 6 significant digits); in any other, and for
  /// infinities and NaNs, by the stream itself. May raise std::bad_alloc.
  std::string ToString() const override;

  /// IEEE equality of both `DoubleValue`s.
  virtual bool operator==(const Number &other) const;

private:
  NumericType m_type;
  union {
    std::int32_t m_int;
    std::uint32_t m_unsigned;
    float m_float;
    double m_double;
  };
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_NUMBER_H

//===- Collection/Boolean.h - Truth values ----------------------*- C++ -*-===//
//
// Boolean: the value kind that holds one truth value.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_BOOLEAN_H
#define ZORBIN_TESSEL_COLLECTION_BOOLEAN_H

#include <Collection/Value.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// One immutable truth value.
///
/// Numbers read as 1 or 0 (1.0 or 0.0), text as "true" or "false"; every
/// other accessor gives `Value`'s default. A `Boolean` equals exactly the
/// other `Boolean`s holding the same truth value, whichever objects they are,
/// and no value of another kind. No operation throws except the string
/// results, which may raise std::bad_alloc.
class COLLECTION_API Boolean : public Value {
public:
  /// A new value holding `value`, carrying one reference for its creator.
  explicit Boolean(bool value) noexcept;

  /// A boolean never changes after construction: no assignment.
  Boolean &operator=(const Boolean &) = delete;

  /// The shared true and false values. They live as long as the library is
  /// loaded; no pairing of `Retain` and `Release` frees them. O(1).
  static const Boolean &True() noexcept;
  static const Boolean &False() noexcept;

  bool BoolValue() const override;                 ///< The truth value.
  long IntValue() const override;                  ///< 1 or 0.
  unsigned long UnsignedIntValue() const override; ///< 1 or 0.
  float FloatValue() const override;               ///< 1.0 or 0.0.
  double DoubleValue() const override;             ///< 1.0 or 0.0.
  std::string StringValue() const override;        ///< "true" or "false".
  /// True exactly when `other` is a `Boolean` with the same truth value.
  bool operator==(const Value &other) const override;
  operator bool() const override;              ///< The truth value.
  void Print(std::ostream &os) const override; ///< "true" or "false".
  std::string ToString() const override;       ///< "true" or "false".

  /// True when both hold the same truth value.
  bool operator==(const Boolean &other) const noexcept;

protected:
  ~Boolean() override;

private:
  bool m_value;

  static const Boolean s_true;
  static const Boolean s_false;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_BOOLEAN_H

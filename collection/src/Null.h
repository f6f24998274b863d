//===- Null.h - The null value (internal) -----------------------*- C++ -*-===//
//
// The one null value. Clients know it only as the `const Value&` that
// `Value::Null()` returns; the class is not exported.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_SRC_NULL_H
#define ZORBIN_TESSEL_COLLECTION_SRC_NULL_H

#include <Collection/Value.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// Answers `IsNull` true, equals exactly the values that say `IsNull`, prints
/// "(null)"; everything else is `Value`'s default, so its text
/// (`StringValue`) is empty and every lookup on it answers itself.
class Null final : public Value {
public:
  bool IsNull() const override;
  bool operator==(const Value &other) const override;
  void Print(std::ostream &os) const override;

private:
  friend class Value;
  Null() noexcept = default;
  ~Null() override;

  /// Made at load after the two shared booleans, destroyed at unload before
  /// them (all three are defined in one translation unit, in that order).
  static const Null s_instance;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_SRC_NULL_H

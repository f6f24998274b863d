//===- ValueSlot.h - Replacing the value a container slot holds (internal) -*- C++ -*-===//
//
// The one rule by which an array element or a dictionary entry takes a new
// value in place of the one it holds.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_SRC_VALUESLOT_H
#define ZORBIN_TESSEL_COLLECTION_SRC_VALUESLOT_H

#include <Collection/Value.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// Makes `slot` hold `value`. When it already holds that very object no count
/// changes; otherwise `value` is retained before the former value is
/// released, so a `value` whose only holder was the former value survives.
/// O(1) plus the destruction of the former value. Never throws.
inline void StoreInSlot(Runtime::Ref<const Value> &slot, const Value &value) noexcept {
  if (slot.Get() != &value)
    slot = Runtime::Ref<const Value>(value);
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_SRC_VALUESLOT_H

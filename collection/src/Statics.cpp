//===- Statics.cpp - The library's three static values --------------------===//
//
// The shared true and false values and the null value, defined here together
// so that they are made in this order when the library is loaded and
// destroyed in the reverse order when it is unloaded.
//
//===----------------------------------------------------------------------===//

#include "Null.h"

#include <Collection/Boolean.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {

const Boolean Boolean::s_true(true);
const Boolean Boolean::s_false(false);
const Null Null::s_instance;

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

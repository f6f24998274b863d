//===- FailingNew.h - Make the standard operator new fail on demand -*- C++ -*-===//
//
// Test support: the test program replaces the global operator new, so that a
// test can make the next standard allocation (a std::string's text, say)
// raise std::bad_alloc.
//
// The replacement reaches the code of every module only where the platform
// binds operator new across modules to the program's own (ELF systems). On
// Windows each DLL keeps the C++ runtime's operator new, so a failure armed
// here never reaches the value library there: see `ReachesTheLibrary`.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_TESTS_SUPPORT_FAILINGNEW_H
#define COLLECTION_TESTS_SUPPORT_FAILINGNEW_H

#include <cstddef>

namespace CollectionTest {
namespace FailingNew {

/// True where a failure armed here also reaches allocations made inside the
/// value library and the C++ runtime.
constexpr bool ReachesTheLibrary() {
#if defined(_WIN32)
  return false;
#else
  return true;
#endif
}

/// Makes the next call of operator new that asks for exactly `size` bytes
/// raise std::bad_alloc; the calls after it succeed again. (Asking by size
/// lets the test hit the one allocation it means, such as the text of a
/// std::string of `size - 1` characters, and no bookkeeping on the way.)
void FailNextOfSize(std::size_t size);

/// Disarms a failure that has not happened yet.
void Heal();

/// The number of failures raised so far.
int Failures();

} // namespace FailingNew
} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_FAILINGNEW_H

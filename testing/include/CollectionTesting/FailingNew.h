//===- CollectionTesting/FailingNew.h - Make operator new fail on demand -*- C++ -*-===//
//
// Test support shared by the test programs of both deliverables (target
// CollectionTestingFailingNew): the program replaces the global operator new
// and delete (every form), so that a test can make the next standard
// allocation of a given size (a std::string's text, say) raise
// std::bad_alloc, or fail the k-th allocation attempt from now: the throwing
// forms then raise std::bad_alloc, the nothrow forms answer null.
//
// The countdown counts the attempts of operator new (where asked) and of the
// test's native allocators together (see FailingAllocations.h of the value
// library's tests), and the replacement counts the blocks it has out.
//
// The replacement reaches the code of every module only where the platform
// binds operator new across modules to the program's own (ELF systems). On
// Windows each DLL keeps the C++ runtime's operator new, so a failure armed
// here never reaches the value library there: see `ReachesTheLibrary`. Code
// linked into the program itself (the variant collection server's classes in
// its test program) is reached everywhere.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTIONTESTING_FAILINGNEW_H
#define COLLECTIONTESTING_FAILINGNEW_H

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

/// A countdown over allocation attempts, shared by operator new (when
/// `countOperatorNew`, by default where `ReachesTheLibrary()`) and every
/// allocator that reports its attempts through `TakeAttempt`. Once armed,
/// the `k`-th attempt from now (1-based) fails: operator new raises
/// std::bad_alloc (its nothrow forms answer null), a native allocator
/// answers null. The attempts after it succeed again.
void FailAttempt(unsigned long long k, bool countOperatorNew = ReachesTheLibrary());

/// Counts one attempt; true when it is the one that must fail.
bool TakeAttempt();

/// Disarms the countdown; true when the armed attempt had come.
bool HealAttempts();

/// True when the attempt armed last has come (and failed).
bool AttemptFailed();

/// While it lives, the `nth` attempt of operator new in this program from
/// its construction on (1-based) fails (`FailAttempt(nth, true)`); its
/// destruction disarms the countdown. Not for use from more than one
/// thread.
class FailingAttempt {
public:
  explicit FailingAttempt(unsigned long long nth) { FailAttempt(nth, true); }
  ~FailingAttempt() { HealAttempts(); }
  FailingAttempt(const FailingAttempt &) = delete;
  FailingAttempt &operator=(const FailingAttempt &) = delete;

  /// True once the chosen allocation has failed.
  bool Failed() const { return AttemptFailed(); }
};

/// While one lives, operator new neither counts nor fails: for the
/// bookkeeping of the test's own allocators.
class Pause {
public:
  Pause();
  ~Pause();
  Pause(const Pause &) = delete;
  Pause &operator=(const Pause &) = delete;
};

/// Blocks that operator new handed out and operator delete has not taken
/// back yet, counted since the program started.
long LiveBlocks();

} // namespace FailingNew
} // namespace CollectionTest

#endif // COLLECTIONTESTING_FAILINGNEW_H

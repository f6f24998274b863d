//===- FailingNew.h - Make one allocation of this program fail --*- C++ -*-===//
//
// Test support: this program replaces the global operator new (all forms)
// so that a test can make exactly one allocation fail, as when memory runs
// out. The server's classes, linked into the program, allocate through it.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_FAILINGNEW_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_FAILINGNEW_H

namespace ServerTest {

/// While it lives, the `nth` allocation through operator new made from its
/// construction on (1-based) fails: std::bad_alloc, or null for the nothrow
/// forms. Every other allocation succeeds as usual. Not for use from more
/// than one thread.
class FailingNew {
public:
  explicit FailingNew(long nth) noexcept;
  ~FailingNew();
  FailingNew(const FailingNew &) = delete;
  FailingNew &operator=(const FailingNew &) = delete;

  /// True once the chosen allocation has failed.
  bool Failed() const noexcept;
};

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_FAILINGNEW_H

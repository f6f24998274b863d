//===- ScopedLock.h - Critical section held for a scope ---------*- C++ -*-===//
//
// ScopedLock: enters a critical section on construction and leaves it on
// destruction.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_SCOPEDLOCK_H
#define VARIANT_COLLECTION_SCOPEDLOCK_H

#include <windows.h>

namespace VariantCollection {

/// Holds `section` from construction to destruction. The section must be
/// initialised and outlive the lock. O(1) apart from waiting for the
/// section; never throws.
class ScopedLock {
public:
  explicit ScopedLock(CRITICAL_SECTION &section) noexcept : m_section(section) { EnterCriticalSection(&m_section); }
  ~ScopedLock() { LeaveCriticalSection(&m_section); }
  ScopedLock(const ScopedLock &) = delete;
  ScopedLock &operator=(const ScopedLock &) = delete;

private:
  CRITICAL_SECTION &m_section;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_SCOPEDLOCK_H

//===- Tracked.h - A framework object that counts its deaths ----*- C++ -*-===//
#ifndef COLLECTION_TESTS_SUPPORT_TRACKED_H
#define COLLECTION_TESTS_SUPPORT_TRACKED_H

#include <Runtime/Object.h>

namespace CollectionTest {

/// A framework object (not a value) that counts its destructions in an
/// `int` the test owns. It takes its memory from the standard heap, not from
/// the native allocator.
class Tracked : public Zorbin::Tessel::Runtime::Object {
public:
  explicit Tracked(int *deaths) : m_deaths(deaths) {}

protected:
  ~Tracked() override { ++*m_deaths; }

private:
  int *m_deaths;
};

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_TRACKED_H

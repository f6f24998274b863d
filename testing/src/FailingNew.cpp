//===- FailingNew.cpp - Make operator new fail on demand ------------------===//

#include <CollectionTesting/FailingNew.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> s_failingSize{0}; // 0: disarmed
std::atomic<int> s_failures{0};
std::atomic<unsigned long long> s_attemptsLeft{0}; // 0: disarmed; 1: the next attempt fails
std::atomic<bool> s_attemptFailed{false};
std::atomic<bool> s_countOperatorNew{false};
std::atomic<int> s_pauses{0};
std::atomic<long> s_liveBlocks{0};

} // namespace

namespace CollectionTest {
namespace FailingNew {

void FailNextOfSize(std::size_t size) { s_failingSize.store(size); }
void Heal() { s_failingSize.store(0); }
int Failures() { return s_failures.load(); }

void FailAttempt(unsigned long long k, bool countOperatorNew) {
  s_attemptFailed.store(false);
  s_countOperatorNew.store(countOperatorNew);
  s_attemptsLeft.store(k);
}

bool TakeAttempt() {
  unsigned long long left = s_attemptsLeft.load();
  while (left != 0 && !s_attemptsLeft.compare_exchange_weak(left, left - 1)) {
  }
  if (left != 1)
    return false;
  s_attemptFailed.store(true);
  return true;
}

bool HealAttempts() {
  s_attemptsLeft.store(0);
  s_countOperatorNew.store(false);
  return s_attemptFailed.exchange(false);
}

bool AttemptFailed() { return s_attemptFailed.load(); }

Pause::Pause() { s_pauses.fetch_add(1); }
Pause::~Pause() { s_pauses.fetch_sub(1); }

long LiveBlocks() { return s_liveBlocks.load(); }

} // namespace FailingNew
} // namespace CollectionTest

void *operator new(std::size_t size) {
  namespace FailingNew = CollectionTest::FailingNew;
  std::size_t armed = size;
  const bool failing = (size != 0 && s_failingSize.compare_exchange_strong(armed, 0)) ||
                       (s_countOperatorNew.load() && s_pauses.load() == 0 && FailingNew::TakeAttempt());
  if (failing) {
    s_failures.fetch_add(1);
    throw std::bad_alloc();
  }
  if (void *block = std::malloc(size != 0 ? size : 1)) {
    s_liveBlocks.fetch_add(1);
    return block;
  }
  throw std::bad_alloc();
}

void *operator new[](std::size_t size) { return operator new(size); }

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return operator new(size, std::nothrow); }

void operator delete(void *block) noexcept {
  if (block != nullptr)
    s_liveBlocks.fetch_sub(1);
  std::free(block);
}
void operator delete[](void *block) noexcept { operator delete(block); }
void operator delete(void *block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void *block, std::size_t) noexcept { operator delete(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { operator delete(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { operator delete(block); }

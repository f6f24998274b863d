//===- FailingNew.cpp - Make the standard operator new fail on demand -----===//

#include "FailingNew.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> s_failingSize{0}; // 0: disarmed
std::atomic<int> s_failures{0};

} // namespace

namespace CollectionTest {
namespace FailingNew {

void FailNextOfSize(std::size_t size) { s_failingSize.store(size); }
void Heal() { s_failingSize.store(0); }
int Failures() { return s_failures.load(); }

} // namespace FailingNew
} // namespace CollectionTest

void *operator new(std::size_t size) {
  std::size_t armed = size;
  if (size != 0 && s_failingSize.compare_exchange_strong(armed, 0)) {
    s_failures.fetch_add(1);
    throw std::bad_alloc();
  }
  if (void *block = std::malloc(size != 0 ? size : 1))
    return block;
  throw std::bad_alloc();
}

void operator delete(void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }

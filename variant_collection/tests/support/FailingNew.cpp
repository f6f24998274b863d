//===- FailingNew.cpp - Make one allocation of this program fail ----------===//

#include "FailingNew.h"

#include <cstdlib>
#include <new>

namespace {

long g_countdown = 0; // 0: no failure planned
bool g_failed = false;

bool ShouldFail() noexcept {
  if (g_countdown == 0 || --g_countdown != 0)
    return false;
  g_failed = true;
  return true;
}

void *Allocate(std::size_t size) noexcept {
  if (ShouldFail())
    return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

} // namespace

namespace ServerTest {

FailingNew::FailingNew(long nth) noexcept {
  g_countdown = nth;
  g_failed = false;
}

FailingNew::~FailingNew() { g_countdown = 0; }

bool FailingNew::Failed() const noexcept { return g_failed; }

} // namespace ServerTest

void *operator new(std::size_t size) {
  void *block = Allocate(size);
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}

void *operator new[](std::size_t size) { return operator new(size); }

void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return Allocate(size); }

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return Allocate(size); }

void operator delete(void *block) noexcept { std::free(block); }
void operator delete[](void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t) noexcept { std::free(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { std::free(block); }

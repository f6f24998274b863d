//===- Object.cpp - Reference-counted framework object --------------------===//

#include <Runtime/Object.h>

namespace Zorbin {
namespace Tessel {
namespace Runtime {

Object::Object() noexcept : m_retainCount(1) {}

Object::Object(const Object &) noexcept : m_retainCount(1) {}

Object &Object::operator=(const Object &) noexcept { return *this; }

Object::~Object() = default;

void Object::Retain() const noexcept { m_retainCount.fetch_add(1, std::memory_order_relaxed); }

void Object::Release() const noexcept {
  if (m_retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete this;
}

unsigned long Object::RetainCount() const noexcept { return m_retainCount.load(std::memory_order_acquire); }

} // namespace Runtime
} // namespace Tessel
} // namespace Zorbin

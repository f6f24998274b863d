//===- Boolean.cpp - Truth values -----------------------------------------===//

#include <Collection/Boolean.h>

#include <ostream>
#include <typeinfo>

namespace Zorbin {
namespace Tessel {
namespace Collection {

Boolean::Boolean(bool value) noexcept : m_value(value) {}

Boolean::~Boolean() = default;

const Boolean &Boolean::True() noexcept { return s_true; }
const Boolean &Boolean::False() noexcept { return s_false; }

bool Boolean::BoolValue() const { return m_value; }
long Boolean::IntValue() const { return m_value ? 1 : 0; }
unsigned long Boolean::UnsignedIntValue() const { return m_value ? 1u : 0u; }
float Boolean::FloatValue() const { return m_value ? 1.0f : 0.0f; }
double Boolean::DoubleValue() const { return m_value ? 1.0 : 0.0; }
std::string Boolean::StringValue() const { return m_value ? "true" : "false"; }
Boolean::operator bool() const { return m_value; }

bool Boolean::operator==(const Value &other) const {
  const Boolean *same = dynamic_cast<const Boolean *>(&other);
  return same != nullptr && *same == *this;
}

bool Boolean::operator==(const Boolean &other) const noexcept {
  return (m_value != false) == (other.m_value != false);
}

void Boolean::Print(std::ostream &os) const { os << (m_value ? "true" : "false"); }

std::string Boolean::ToString() const {
  if (typeid(*this) != typeid(Boolean))
    return Value::ToString(); // a derived kind may print otherwise
  return m_value ? "true" : "false";
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

//===- Array.cpp - Ordered container of values ----------------------------===//

#include "ValueSlot.h"
#include "ValueText.h"

#include <Collection/Array.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <typeinfo>

namespace Zorbin {
namespace Tessel {
namespace Collection {

namespace {

// Indexes are 32-bit quantities on every platform: one that does not fit 32
// bits (possible where `unsigned long` is wider) is beyond every array.
constexpr std::size_t kOutOfRange = std::numeric_limits<std::size_t>::max();
std::size_t Index(unsigned long index) {
  return (static_cast<std::uint64_t>(index) >> 32) == 0 ? static_cast<std::size_t>(index) : kOutOfRange;
}

} // namespace

Array::Array() noexcept = default;

Array::~Array() {
  for (Runtime::Ref<const Value> &element : m_elements)
    element.Reset();
}

bool Array::operator==(const Value &other) const {
  const Array *array = dynamic_cast<const Array *>(&other);
  return array != nullptr && *array == *this;
}

bool Array::operator==(const Array &other) const {
  const unsigned long count = Count();
  if (other.Count() != count)
    return false;
  for (unsigned long i = 0; i < count; ++i) {
    if (GetValueAtIndex(i) != other.GetValueAtIndex(i))
      return false;
  }
  return true;
}

unsigned long Array::Count() const { return static_cast<std::uint32_t>(m_elements.size()); }

const Value &Array::GetValueAtIndex(unsigned long index) const {
  const std::size_t at = Index(index);
  return at < m_elements.size() ? *m_elements[at] : Value::Null();
}

void Array::Print(std::ostream &os) const {
  os << "{ ";
  for (const Runtime::Ref<const Value> &element : m_elements) {
    element->Print(os);
    os << "," << std::endl;
  }
  os << "}";
}

std::string Array::ToString() const {
  if (typeid(*this) != typeid(Array))
    return Value::ToString(); // a derived kind may print otherwise
  const bool classicNumbers = ValueText::ClassicNumbers();
  // Each element's Print would write into a default-formatted stream.
  std::string text("{ ");
  for (const Runtime::Ref<const Value> &element : m_elements) {
    ValueText::Append(text, *element, ValueText::Fallback::Print, classicNumbers);
    text += ",\n"; // std::endl, whose flush a string stream ignores
  }
  text += '}';
  return text;
}

void Array::AddValue(const Value &value) { m_elements.emplace_back(value); }

void Array::InsertValueAtIndex(unsigned long index, const Value &value) {
  const std::size_t at = Index(index);
  if (at > m_elements.size())
    return;
  AddValue(value);
  std::rotate(m_elements.begin() + at, m_elements.end() - 1, m_elements.end());
}

void Array::RemoveLastValue() {
  if (!m_elements.empty())
    m_elements.pop_back();
}

void Array::RemoveValueAtIndex(unsigned long index) {
  const std::size_t at = Index(index);
  if (at < m_elements.size())
    m_elements.erase(m_elements.begin() + at);
}

void Array::ReplaceValueAtIndex(unsigned long index, const Value &value) {
  const std::size_t at = Index(index);
  if (at < m_elements.size())
    StoreInSlot(m_elements[at], value);
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

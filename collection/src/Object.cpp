//===- Object.cpp - Wrapped framework objects -----------------------------===//

#include <Collection/Object.h>

#include <ostream>
#include <typeinfo>

namespace Zorbin {
namespace Tessel {
namespace Collection {

Object::Object(const Runtime::Object &object) noexcept : m_object(object) {}

Object::Object(const Object &other) noexcept : Value(other), m_object(other.m_object) {}

Object &Object::operator=(const Object &other) noexcept {
  // The handle retains the new object before it releases the old one, which
  // may be what keeps `other` alive.
  if (m_object.Get() != other.m_object.Get())
    m_object = other.m_object;
  return *this;
}

Object::~Object() = default;

const Runtime::Object &Object::ObjectValue() const { return *m_object; }

bool Object::operator==(const Value &other) const {
  const Object *object = dynamic_cast<const Object *>(&other);
  return object != nullptr && *object == *this;
}

bool Object::operator==(const Object &other) const { return &ObjectValue() == &other.ObjectValue(); }

void Object::Print(std::ostream &os) const {
  const Runtime::Object &wrapped = ObjectValue();
  os << '<' << typeid(wrapped).name() << '>';
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

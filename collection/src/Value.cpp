//===- Value.cpp - Root of the value model --------------------------------===//

#include "Null.h"

#include <Collection/Value.h>

#include <cstdint>
#include <iostream>
#include <sstream>

namespace Zorbin {
namespace Tessel {
namespace Collection {

const Value &Value::Null() noexcept { return Collection::Null::s_instance; }

Value::~Value() = default;

bool Value::IsNull() const { return false; }
bool Value::BoolValue() const { return false; }
long Value::IntValue() const { return 0; }
unsigned long Value::UnsignedIntValue() const { return 0; }
float Value::FloatValue() const { return 0.0f; }
double Value::DoubleValue() const { return 0.0; }
std::string Value::StringValue() const { return std::string(); }
Container::basic_data<unsigned char> Value::DataValue() const { return {}; }
void *Value::PointerValue() const { return nullptr; }
const Runtime::Object &Value::ObjectValue() const { return *this; }

bool Value::operator==(const Value &other) const { return this == &other; }
bool Value::operator!=(const Value &other) const { return !(*this == other); }

bool Value::operator!() const { return !BoolValue(); }
Value::operator bool() const { return BoolValue(); }
Value::operator short() const { return static_cast<short>(static_cast<std::uint16_t>(IntValue())); }
Value::operator unsigned short() const { return static_cast<unsigned short>(UnsignedIntValue()); }
Value::operator int() const { return static_cast<int>(IntValue()); }
Value::operator unsigned int() const { return static_cast<unsigned int>(UnsignedIntValue()); }
Value::operator long() const { return IntValue(); }
Value::operator unsigned long() const { return UnsignedIntValue(); }
Value::operator float() const { return FloatValue(); }
Value::operator double() const { return DoubleValue(); }
Value::operator std::string() const { return StringValue(); }
Value::operator Container::basic_data<unsigned char>() const { return DataValue(); }
Value::operator void *() const { return PointerValue(); }
#if defined(__clang__)
#  pragma clang diagnostic push
#  pragma clang diagnostic ignored "-Wclass-conversion"
#endif
Value::operator const Runtime::Object &() const { return ObjectValue(); }
#if defined(__clang__)
#  pragma clang diagnostic pop
#endif

unsigned long Value::Count() const { return 0; }

const Value &Value::GetValueAtIndex(unsigned long) const { return Null(); }

const Value &Value::operator[](const char *key) const { return GetValueForKey(std::string(key)); }

const Value &Value::operator[](int index) const { return GetValueAtIndex(static_cast<std::uint32_t>(index)); }

const Value &Value::GetValueForKey(const std::string &) const { return Null(); }

void Value::Print(std::ostream &os) const { os << "(value)"; }

std::string Value::ToString() const {
  std::ostringstream text;
  Print(text);
  return text.str();
}

void Value::Log() const {
  Print(std::cerr);
  std::cerr << std::endl;
}

std::ostream &operator<<(std::ostream &os, const Value &value) {
  value.Print(os);
  return os;
}

void *Value::operator new(std::size_t size) noexcept { return GetNativeAllocator()->Allocate(size); }

void Value::operator delete(void *block) noexcept { GetNativeAllocator()->Free(block); }

bool Null::IsNull() const { return true; }

bool Null::operator==(const Value &other) const { return other.IsNull(); }

void Null::Print(std::ostream &os) const { os << "(null)"; }

Null::~Null() = default;

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

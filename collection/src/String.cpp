//===- String.cpp - Text values -------------------------------------------===//

#include "TextNumber.h"

#include <Collection/String.h>

#include <ostream>

namespace Zorbin {
namespace Tessel {
namespace Collection {

String::String() = default;
String::String(const std::string &text) : m_text(text) {}
String::~String() = default;

bool String::BoolValue() const { return !m_text.empty(); }
long String::IntValue() const { return TextNumber::ReadInt32(m_text); }
unsigned long String::UnsignedIntValue() const { return TextNumber::ReadUInt32(m_text); }
float String::FloatValue() const { return TextNumber::ReadFloat(m_text); }
double String::DoubleValue() const { return TextNumber::ReadDouble(m_text); }
std::string String::StringValue() const { return m_text; }
std::string String::ToString() const { return m_text; }

bool String::operator==(const Value &other) const {
  const String *text = dynamic_cast<const String *>(&other);
  return text != nullptr && *this == *text;
}

bool String::operator==(const String &other) const { return m_text == other.m_text; }

void String::Print(std::ostream &os) const { os << m_text; }

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

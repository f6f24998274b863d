//===- Data.cpp - Byte buffers --------------------------------------------===//

#include <Collection/Data.h>

#include <cstring>
#include <ostream>

namespace Zorbin {
namespace Tessel {
namespace Collection {

Data::Data(const Buffer &data) : m_data(data) {}

Data::Data(const void *bytes, unsigned long length) : m_data(static_cast<const unsigned char *>(bytes), length) {}

Data::~Data() = default;

unsigned long Data::Length() const noexcept { return m_data.size(); }
const void *Data::Bytes() const noexcept { return m_data.data(); }

Data::operator Buffer &() { return GetData(); }
Data::operator const Buffer &() const { return GetData(); }

Data::Buffer &Data::GetData() { return m_data; }
const Data::Buffer &Data::GetData() const { return m_data; }

Data::Buffer Data::DataValue() const { return m_data; }

void *Data::PointerValue() const {
  void *pointer = nullptr;
  if (m_data.size() == sizeof pointer)
    std::memcpy(&pointer, m_data.data(), sizeof pointer);
  return pointer;
}

bool Data::operator==(const Value &other) const {
  const Data *data = dynamic_cast<const Data *>(&other);
  return data != nullptr && *this == *data;
}

bool Data::operator==(const Data &other) const { return m_data == other.m_data; }

void Data::Print(std::ostream &os) const { os << '<' << Length() << " bytes>"; }

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

//===- WriteJson.cpp - Value trees into JSON text -------------------------===//
//
// Walks a value tree and hands it to RapidJSON's writer (compact) or pretty
// writer, which escape the strings (checked here to be UTF-8). Doubles are
// formatted here, as the shortest text that reads back as the same double.
//
//===----------------------------------------------------------------------===//

#include <Collection/Json.h>

#include <Collection/Array.h>
#include <Collection/Boolean.h>
#include <Collection/Data.h>
#include <Collection/Dictionary.h>
#include <Collection/Number.h>
#include <Collection/Object.h>
#include <Collection/String.h>

#include "internal/JsonText.h"
#include "internal/RapidJsonSupport.h"
#include "internal/StreamExceptionsOff.h"

#include <cmath>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

namespace Zorbin {
namespace Tessel {
namespace Collection {

namespace {

constexpr std::size_t kMaxDepth = 1000;

using Buffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, internal::ThrowingAllocator>;
using CompactWriter = rapidjson::Writer<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, internal::ThrowingAllocator>;
using PrettyWriter =
    rapidjson::PrettyWriter<Buffer, rapidjson::UTF8<>, rapidjson::UTF8<>, internal::ThrowingAllocator>;

// Feeds one value tree to a RapidJSON writer, keeping the path of the value
// being written for the messages of its errors.
template <typename Writer> class Emitter {
public:
  explicit Emitter(Writer &writer) : m_writer(writer) {}

  void Write(const Value &value) {
    const std::type_info &type = typeid(value);
    if (type == typeid(Number))
      return WriteNumber(static_cast<const Number &>(value));
    if (type == typeid(String))
      return WriteString(static_cast<const String &>(value));
    if (type == typeid(Dictionary))
      return WriteDictionary(static_cast<const Dictionary &>(value));
    if (type == typeid(Array))
      return WriteArray(static_cast<const Array &>(value));
    if (value.IsNull()) {
      m_writer.Null();
      return;
    }
    if (const Boolean *boolean = dynamic_cast<const Boolean *>(&value)) {
      m_writer.Bool(boolean->BoolValue());
      return;
    }
    if (const Number *number = dynamic_cast<const Number *>(&value))
      return WriteNumber(*number);
    if (const String *string = dynamic_cast<const String *>(&value))
      return WriteString(*string);
    if (const Dictionary *dictionary = dynamic_cast<const Dictionary *>(&value))
      return WriteDictionary(*dictionary);
    if (const Array *array = dynamic_cast<const Array *>(&value))
      return WriteArray(*array);
    if (dynamic_cast<const Data *>(&value) != nullptr)
      Fail("a Data value (bytes) has no JSON form");
    if (dynamic_cast<const Object *>(&value) != nullptr)
      Fail("an Object value (a wrapped framework object) has no JSON form");
    Fail("a value of an unknown kind has no JSON form");
  }

private:
  struct Segment {
    const std::string *key;
    unsigned long index;
  };

  class EntryWriter : public Dictionary::Applier {
  public:
    explicit EntryWriter(Emitter &emitter) : m_emitter(emitter) {}
    bool ApplyToEntry(const std::string &key, const Value &value) override {
      m_emitter.m_path.push_back(Segment{&key, 0});
      if (!internal::IsValidUtf8(key.data(), key.size()))
        m_emitter.Fail("a member name that is not valid UTF-8 has no JSON form");
      m_emitter.m_writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
      m_emitter.Write(value);
      m_emitter.m_path.pop_back();
      return true;
    }

  private:
    Emitter &m_emitter;
  };

  [[noreturn]] void Fail(const char *message) const {
    std::string path;
    for (const Segment &segment : m_path) {
      if (segment.key != nullptr)
        internal::AppendKeyToPath(path, *segment.key);
      else
        internal::AppendIndexToPath(path, segment.index);
    }
    throw JsonError(path.empty() ? std::string(message) : path + ": " + message, 0, 0, 0, path);
  }

  void WriteNumber(const Number &number) {
    double value;
    switch (number.Type()) {
    case Number::Int:
      m_writer.Int(static_cast<int>(number.IntValue()));
      return;
    case Number::UnsignedInt:
      m_writer.Uint(static_cast<unsigned>(number.UnsignedIntValue()));
      return;
    case Number::Float:
      value = static_cast<double>(number.FloatValue());
      break;
    default:
      value = number.DoubleValue();
      break;
    }
    if (std::isnan(value))
      Fail("NaN has no JSON form");
    if (std::isinf(value))
      Fail(value > 0 ? "infinity has no JSON form" : "-infinity has no JSON form");
    char text[32];
    std::size_t length = internal::FormatDouble(value, text);
    m_writer.RawValue(text, length, rapidjson::kNumberType);
  }

  void WriteString(const String &string) {
    const std::string &text = string.Str();
    // Checked here, not by RapidJSON's writer, whose check reads past the
    // end of a sequence cut short.
    if (!internal::IsValidUtf8(text.data(), text.size()))
      Fail("text that is not valid UTF-8 has no JSON form");
    m_writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  }

  void Enter() {
    if (m_depth == kMaxDepth)
      Fail("nesting deeper than 1000 levels has no JSON form");
    ++m_depth;
  }

  void WriteArray(const Array &array) {
    Enter();
    m_writer.StartArray();
    unsigned long count = array.Count();
    for (unsigned long index = 0; index < count; ++index) {
      m_path.push_back(Segment{nullptr, index});
      Write(array.GetValueAtIndex(index));
      m_path.pop_back();
    }
    m_writer.EndArray();
    --m_depth;
  }

  void WriteDictionary(const Dictionary &dictionary) {
    Enter();
    m_writer.StartObject();
    EntryWriter entries(*this);
    dictionary.Apply(entries);
    m_writer.EndObject();
    --m_depth;
  }

  Writer &m_writer;
  std::vector<Segment> m_path;
  std::size_t m_depth = 0;
};

} // namespace

std::string WriteJson(const Value &value, const JsonWriteOptions &options) {
  Buffer buffer;
  if (options.indent == 0) {
    CompactWriter writer(buffer);
    Emitter<CompactWriter>(writer).Write(value);
  } else {
    PrettyWriter writer(buffer);
    writer.SetIndent(' ', options.indent);
    Emitter<PrettyWriter>(writer).Write(value);
  }
  return std::string(buffer.GetString(), buffer.GetSize());
}

void WriteJson(const Value &value, std::ostream &out, const JsonWriteOptions &options) {
  std::string text = WriteJson(value, options);
  internal::StreamExceptionsOff quiet(out);
  if (!out.write(text.data(), static_cast<std::streamsize>(text.size())))
    throw JsonError("cannot write the output stream", 0, 0, 0, "");
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

//===- ReadJson.cpp - JSON text into value trees --------------------------===//
//
// RapidJSON's SAX reader, iterative and validating UTF-8, hands its events
// to a handler that builds the values straight away: no document in between.
// Numbers come as their text and are converted here (std::from_chars), so
// that every literal gets its correctly rounded double.
//
//===----------------------------------------------------------------------===//

#include <Collection/Json.h>

#include <Collection/Array.h>
#include <Collection/Boolean.h>
#include <Collection/Dictionary.h>
#include <Collection/Number.h>
#include <Collection/String.h>

#include "internal/JsonFiles.h"
#include "internal/JsonText.h"
#include "internal/RapidJsonSupport.h"
#include "internal/StreamExceptionsOff.h"

#include <cstring>
#include <istream>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace Zorbin {
namespace Tessel {
namespace Collection {

namespace {

using internal::JsonNumber;

constexpr std::size_t kMaxDepth = 1000;
constexpr std::size_t kBomLength = 3;
constexpr std::size_t kPadding = 4;

using Reader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, internal::ThrowingAllocator>;
constexpr unsigned kParseFlags = rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag |
                                 rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag;

// A handle on a value just made; a null handle means the native allocator
// is exhausted.
template <typename Kind> Runtime::Ref<Kind> Made(Kind *made) {
  if (made == nullptr)
    throw std::bad_alloc();
  return Runtime::Ref<Kind>(made);
}

// The message of each of RapidJSON's errors, as a person reads it.
const char *Describe(rapidjson::ParseErrorCode code) {
  switch (code) {
  case rapidjson::kParseErrorDocumentEmpty:
    return "no JSON value (the input is empty or only white space)";
  case rapidjson::kParseErrorDocumentRootNotSingular:
    return "unexpected text after the JSON value";
  case rapidjson::kParseErrorValueInvalid:
    return "invalid value";
  case rapidjson::kParseErrorObjectMissName:
    return "expected a member name in double quotes";
  case rapidjson::kParseErrorObjectMissColon:
    return "expected ':' after the member name";
  case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
    return "expected ',' or '}' after the member";
  case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
    return "expected ',' or ']' after the element";
  case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
    return "invalid \\u escape (four hexadecimal digits expected)";
  case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
    return "lone surrogate in a \\u escape";
  case rapidjson::kParseErrorStringEscapeInvalid:
    return "invalid escape in a string";
  case rapidjson::kParseErrorStringMissQuotationMark:
    return "unterminated string";
  case rapidjson::kParseErrorStringInvalidEncoding:
    return "invalid UTF-8 in a string";
  case rapidjson::kParseErrorNumberTooBig:
    return "number out of range";
  case rapidjson::kParseErrorNumberMissFraction:
    return "expected digits after the decimal point";
  case rapidjson::kParseErrorNumberMissExponent:
    return "expected digits in the exponent";
  default:
    return "invalid JSON";
  }
}

// Builds the values of one read. The containers being filled stand on a
// stack, each held by a handle, so that an error or an exception anywhere
// releases whatever was made.
class Builder {
public:
  Builder(const char *buffer, const std::map<std::size_t, JsonNumber> &numbers)
      : m_buffer(buffer), m_numbers(numbers) {}

  // RapidJSON's events. Each answers false to stop the read, after noting
  // why in Failure().
  bool Null() { return Add(Runtime::Ref<const Value>(Value::Null())); }
  bool Bool(bool value) {
    return Add(Runtime::Ref<const Value>(value ? static_cast<const Value &>(Boolean::True()) : Boolean::False()));
  }
  bool Int(int) { return false; }
  bool Uint(unsigned) { return false; }
  bool Int64(std::int64_t) { return false; }
  bool Uint64(std::uint64_t) { return false; }
  bool Double(double) { return false; }
  bool RawNumber(const char *text, rapidjson::SizeType length, bool) {
    std::size_t offset = static_cast<std::size_t>(text - m_buffer);
    JsonNumber number;
    auto replaced = m_numbers.find(offset);
    if (replaced != m_numbers.end())
      number = replaced->second;
    else
      number = internal::ConvertNumber(text, length);
    switch (number.kind) {
    case JsonNumber::Int:
      return Add(Made<const Value>(new Number(number.intValue)));
    case JsonNumber::UnsignedInt:
      return Add(Made<const Value>(new Number(number.unsignedValue)));
    case JsonNumber::Double:
      return Add(Made<const Value>(new Number(number.doubleValue)));
    case JsonNumber::OutOfRange:
      break;
    }
    return Fail("number out of range", offset);
  }
  bool String(const char *text, rapidjson::SizeType length, bool) {
    if (HasLoneSurrogate(text, length))
      return FailAtSurrogate();
    // Through a buffer kept for the whole read: the value's own copy is then
    // the only allocation.
    m_text.assign(text, length);
    return Add(Made<const Value>(new Collection::String(m_text)));
  }
  bool StartObject() { return Open(nullptr, Made(new Dictionary())); }
  bool Key(const char *text, rapidjson::SizeType length, bool) {
    if (HasLoneSurrogate(text, length))
      return FailAtSurrogate();
    Frame &top = m_stack.back();
    top.key.assign(text, length);
    top.hasKey = true;
    return true;
  }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool StartArray() { return Open(Made(new Array()), nullptr); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

  // Where the containers being read stand now (see JsonError::Path).
  std::string Path() const {
    std::string path;
    for (const Frame &frame : m_stack) {
      if (frame.array)
        internal::AppendIndexToPath(path, frame.array->Count());
      else if (frame.hasKey)
        internal::AppendKeyToPath(path, frame.key);
      else
        break;
    }
    return path;
  }

  // The offset of the input, its stream, as RapidJSON reads it: for the
  // position of the handler's own errors.
  void SetPosition(const std::string *input, const std::size_t *position) {
    m_input = input;
    m_position = position;
  }
  const char *Failure() const { return m_failure; }
  std::size_t FailureOffset() const { return m_failureOffset; }
  Runtime::Ref<const Value> TakeRoot() { return std::move(m_root); }

private:
  struct Frame {
    Runtime::Ref<Array> array;
    Runtime::Ref<Dictionary> dictionary;
    std::string key;
    bool hasKey = false;
  };

  // RapidJSON decodes a \u escape of a low surrogate without a high one
  // before it into the three bytes of that surrogate (0xED 0xB0-0xBF ...),
  // which are no UTF-8: valid input never holds them otherwise.
  static bool HasLoneSurrogate(const char *text, std::size_t length) {
    const void *found = std::memchr(text, '\xED', length);
    while (found != nullptr) {
      const char *p = static_cast<const char *>(found);
      if (p + 1 < text + length && static_cast<unsigned char>(p[1]) >= 0xA0)
        return true;
      ++p;
      found = std::memchr(p, '\xED', static_cast<std::size_t>(text + length - p));
    }
    return false;
  }

  // Fails at the first lone low surrogate escape of the string whose
  // opening quote is at the stream's position (RapidJSON's string scanner
  // works on a copy of the stream), found in the input as it was.
  bool FailAtSurrogate() {
    const std::string &input = *m_input;
    std::size_t start = *m_position;
    std::size_t end = input.size();
    std::size_t offset = start;
    for (std::size_t i = start + 1; i + 5 < end && input[i] != '"'; ++i) {
      if (input[i] != '\\')
        continue;
      if (input[i + 1] == 'u') {
        unsigned code = static_cast<unsigned>(std::stoul(input.substr(i + 2, 4), nullptr, 16));
        if (code >= 0xDC00 && code <= 0xDFFF) {
          offset = i;
          break;
        }
        if (code >= 0xD800 && code <= 0xDBFF)
          i += 6;
        i += 4;
      }
      ++i;
    }
    return Fail("lone surrogate in a \\u escape", offset);
  }

  bool Fail(const char *message, std::size_t offset) {
    m_failure = message;
    m_failureOffset = offset;
    return false;
  }

  bool Add(Runtime::Ref<const Value> value) {
    if (m_stack.empty()) {
      m_root = std::move(value);
      return true;
    }
    Frame &top = m_stack.back();
    if (top.array) {
      top.array->AddValue(*value);
    } else {
      top.dictionary->SetValueForKey(top.key, *value);
      top.hasKey = false;
    }
    return true;
  }

  bool Open(Runtime::Ref<Array> array, Runtime::Ref<Dictionary> dictionary) {
    if (m_stack.size() == kMaxDepth)
      return Fail("nesting deeper than 1000 levels", *m_position);
    m_stack.emplace_back();
    m_stack.back().array = std::move(array);
    m_stack.back().dictionary = std::move(dictionary);
    return true;
  }

  bool Close() {
    Frame &top = m_stack.back();
    Runtime::Ref<const Value> done;
    if (top.array)
      done = std::move(top.array);
    else
      done = std::move(top.dictionary);
    m_stack.pop_back();
    return Add(std::move(done));
  }

  const char *m_buffer;
  const std::map<std::size_t, JsonNumber> &m_numbers;
  const std::string *m_input = nullptr;
  const std::size_t *m_position = nullptr;
  std::vector<Frame> m_stack;
  std::string m_text;
  Runtime::Ref<const Value> m_root;
  const char *m_failure = nullptr;
  std::size_t m_failureOffset = 0;
};

// RapidJSON's in-place stream. (Its number scanner works on a copy of it and
// hands the number's own text to the handler only for this very type.)
using InputStream = rapidjson::InsituStringStream;

// RapidJSON's number scanner refuses some literals whose value is finite
// ("0e400", an integer part of 400 digits with a large negative exponent).
// Every literal it might refuse is converted here and replaced in the text
// by "0" padded with spaces, which keeps every other offset; the builder
// takes the literal's value from `numbers` instead.
bool MightBeRefused(const char *text, std::size_t length) {
  if (length >= 300)
    return true;
  const char *end = text + length;
  for (const char *p = text; p != end; ++p)
    if (*p == 'e' || *p == 'E') {
      ++p;
      if (p != end && (*p == '+' || *p == '-'))
        ++p;
      return end - p >= 3;
    }
  return false;
}

void ReplaceLongNumbers(std::string &text, std::size_t begin, std::map<std::size_t, JsonNumber> &numbers) {
  bool inString = false;
  char *data = &text[0];
  const char *end = data + text.size();
  for (std::size_t i = begin; i < text.size();) {
    char c = data[i];
    if (inString) {
      if (c == '\\')
        i += 2;
      else {
        inString = c != '"';
        ++i;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
      ++i;
      continue;
    }
    if (c != '-' && !(c >= '0' && c <= '9')) {
      ++i;
      continue;
    }
    std::size_t length = internal::NumberLength(data + i, end);
    if (length == 0) {
      ++i;
      continue;
    }
    if (MightBeRefused(data + i, length)) {
      numbers[i] = internal::ConvertNumber(data + i, length);
      data[i] = '0';
      std::memset(data + i + 1, ' ', length - 1);
    }
    i += length;
  }
}

Runtime::Ref<const Value> Read(const std::string &text, const char *context) {
  std::size_t begin = 0;
  if (text.size() >= kBomLength && std::memcmp(text.data(), "\xEF\xBB\xBF", kBomLength) == 0)
    begin = kBomLength;
  std::map<std::size_t, JsonNumber> numbers;
  std::string patched;
  for (int attempt = 0;; ++attempt) {
    // RapidJSON's UTF-8 validation takes every byte a lead byte announces
    // before it judges them, so a sequence cut off by the end of the input
    // reads on past it: zero bytes after the end keep it inside the buffer
    // (and end the input for RapidJSON).
    const std::string &source = attempt == 0 ? text : patched;
    std::string buffer;
    buffer.reserve(source.size() + kPadding);
    buffer.assign(source);
    buffer.append(kPadding, '\0');
    char *start = &buffer[0];
    InputStream stream(start + begin);
    Builder builder(start, numbers);
    Reader reader;
    std::size_t failurePosition = 0;
    builder.SetPosition(&text, &failurePosition);
    rapidjson::ParseResult result;
    {
      // Keeps the position current for the builder's own errors. At these
      // events the stream still stands on the opening bracket or quote
      // (RapidJSON's scanners work on copies of it).
      struct Tracking {
        Builder &builder;
        InputStream &stream;
        std::size_t base;
        std::size_t &position;
        bool Null() { return builder.Null(); }
        bool Bool(bool b) { return builder.Bool(b); }
        bool Int(int i) { return builder.Int(i); }
        bool Uint(unsigned u) { return builder.Uint(u); }
        bool Int64(std::int64_t i) { return builder.Int64(i); }
        bool Uint64(std::uint64_t u) { return builder.Uint64(u); }
        bool Double(double d) { return builder.Double(d); }
        bool RawNumber(const char *s, rapidjson::SizeType n, bool c) { return builder.RawNumber(s, n, c); }
        bool String(const char *s, rapidjson::SizeType n, bool c) {
          position = base + stream.Tell();
          return builder.String(s, n, c);
        }
        bool StartObject() {
          position = base + stream.Tell();
          return builder.StartObject();
        }
        bool Key(const char *s, rapidjson::SizeType n, bool c) {
          position = base + stream.Tell();
          return builder.Key(s, n, c);
        }
        bool EndObject(rapidjson::SizeType n) { return builder.EndObject(n); }
        bool StartArray() {
          position = base + stream.Tell();
          return builder.StartArray();
        }
        bool EndArray(rapidjson::SizeType n) { return builder.EndArray(n); }
      } tracking{builder, stream, begin, failurePosition};
      result = reader.Parse<kParseFlags>(stream, tracking);
    }
    std::size_t offset = 0;
    const char *message = nullptr;
    if (result.IsError()) {
      if (result.Code() == rapidjson::kParseErrorNumberTooBig && attempt == 0) {
        patched = text;
        ReplaceLongNumbers(patched, begin, numbers);
        continue;
      }
      if (result.Code() == rapidjson::kParseErrorTermination && builder.Failure() != nullptr) {
        message = builder.Failure();
        offset = builder.FailureOffset();
      } else {
        message = Describe(result.Code());
        offset = begin + result.Offset();
        // RapidJSON reports a raw control byte in a string as a bad escape,
        // and a raw zero byte, which ends its input, as a missing quote.
        bool inString = result.Code() == rapidjson::kParseErrorStringEscapeInvalid ||
                        result.Code() == rapidjson::kParseErrorStringMissQuotationMark;
        if (inString && offset < text.size() && static_cast<unsigned char>(text[offset]) < 0x20)
          message = "control character in a string (write it as an escape)";
      }
    } else if (begin + stream.Tell() != text.size()) {
      // A zero byte ends RapidJSON's input; what follows it is not JSON.
      message = "unexpected text after the JSON value";
      offset = begin + stream.Tell();
    }
    if (message == nullptr)
      return builder.TakeRoot();
    if (offset > text.size())
      offset = text.size();
    std::size_t line = 0, column = 0;
    internal::LineAndColumn(text, offset, line, column);
    std::string what;
    if (context != nullptr) {
      what += context;
      what += ": ";
    }
    what += "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
    throw JsonError(what, line, column, offset, builder.Path());
  }
}

} // namespace

namespace internal {

Runtime::Ref<const Value> ReadJsonText(const std::string &text, const char *context) { return Read(text, context); }

} // namespace internal

Runtime::Ref<const Value> ReadJson(const std::string &text) { return Read(text, nullptr); }

Runtime::Ref<const Value> ReadJson(std::istream &in) {
  std::string text;
  {
    internal::StreamExceptionsOff quiet(in);
    bool failed = in.fail();
    char chunk[65536];
    while (!failed && in) {
      in.read(chunk, sizeof chunk);
      text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    // The last read ran into the end (eofbit), which it counts as a failure
    // too (failbit); anything else is the stream's own.
    if (failed || in.bad() || !in.eof())
      throw JsonError("cannot read the input stream", 0, 0, 0, "");
    in.clear(std::ios::eofbit);
  }
  return Read(text, nullptr);
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

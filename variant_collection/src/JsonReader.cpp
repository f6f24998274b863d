//===- JsonReader.cpp - JSON text read into collections -------------------===//

#include "JsonReader.h"

#include "ComPtr.h"
#include "XCollection.h"
#include "XItem.h"

#include "internal/JsonLiterals.h"

#include <oleauto.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace VariantCollection {

namespace {

namespace Literals = Zorbin::Tessel::Collection::internal;

/// A BSTR owned until it is given away.
class OwnedString {
public:
  OwnedString() noexcept = default;
  explicit OwnedString(BSTR text) noexcept : m_text(text) {}
  OwnedString(OwnedString &&other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
  OwnedString &operator=(OwnedString &&other) noexcept {
    std::swap(m_text, other.m_text);
    return *this;
  }
  ~OwnedString() { SysFreeString(m_text); }
  BSTR Release() noexcept { return std::exchange(m_text, nullptr); }

private:
  BSTR m_text = nullptr;
};

/// One object or array being read: its collection and, in an object, the
/// name of the member whose value comes next.
struct Frame {
  ComPtr<XCollection> collection;
  bool object;
  OwnedString name;
};

/// What went wrong, found by the reader where it happened.
struct Failure {
  const char *what;
  std::size_t offset;
};

bool IsNumberCharacter(unsigned c) noexcept {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

/// 1-based line and column of `offset` in `text`: lines end at a line feed,
/// a carriage return, or both together; columns count characters (a
/// surrogate pair or a UTF-8 sequence is one).
template <class Char>
void LineAndColumn(const Char *text, std::size_t offset, std::size_t &line, std::size_t &column) {
  line = 1;
  column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    const unsigned c = static_cast<std::make_unsigned_t<Char>>(text[i]);
    if (c == '\n' || (c == '\r' && (i + 1 >= offset || text[i + 1] != '\n'))) {
      ++line;
      column = 1;
      continue;
    }
    if (c == '\r')
      continue;
    const bool continues = sizeof(Char) == 1 ? (c & 0xC0) == 0x80
                                             : (c >= 0xDC00 && c <= 0xDFFF && i > 0 &&
                                                static_cast<unsigned>(text[i - 1]) - 0xD800u < 0x400u);
    if (!continues)
      ++column;
  }
}

/// Reads one JSON value from text in code units `Char`: wchar_t (UTF-16)
/// or char (UTF-8, already checked to be well-formed).
template <class Char> class Reader {
public:
  Reader(const Char *text, std::size_t length) noexcept : m_begin(text), m_p(text), m_end(text + length) {}

  HRESULT Read(VARIANT &result, std::wstring &description) noexcept {
    HRESULT status = E_OUTOFMEMORY;
    VARIANT value;
    VariantInit(&value);
    try {
      status = Run(value);
    } catch (...) {
      status = E_OUTOFMEMORY;
    }
    if (status == S_OK) {
      result = value;
      return S_OK;
    }
    VariantClear(&value);
    m_stack.clear();
    if (status == E_FAIL) {
      try {
        Describe(description);
      } catch (...) {
        status = E_OUTOFMEMORY;
      }
    }
    return status;
  }

private:
  static unsigned Unit(Char c) noexcept { return static_cast<std::make_unsigned_t<Char>>(c); }

  HRESULT Fail(const char *what, const Char *at) noexcept {
    m_failure = Failure{what, static_cast<std::size_t>(at - m_begin)};
    return E_FAIL;
  }

  void Describe(std::wstring &description) const {
    std::size_t line = 0, column = 0;
    LineAndColumn(m_begin, m_failure.offset, line, column);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "line %zu, column %zu: ", line, column);
    description.clear();
    for (const char *c = prefix; *c != '\0'; ++c)
      description += static_cast<wchar_t>(*c);
    for (const char *c = m_failure.what; *c != '\0'; ++c)
      description += static_cast<wchar_t>(*c);
  }

  void SkipWhitespace() noexcept {
    while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
      ++m_p;
  }

  bool At(char c) const noexcept { return m_p != m_end && *m_p == c; }

  /// The whole reading: values, and the objects and arrays around them on
  /// m_stack (no recursion).
  HRESULT Run(VARIANT &value) {
    SkipWhitespace();
    if (m_p == m_end)
      return Fail(m_begin == m_end ? "the text is empty" : "expected a value", m_p);
    for (;;) {
      // A value starts here.
      SkipWhitespace();
      if (At('{') || At('[')) {
        const bool object = *m_p == '{';
        if (m_stack.size() == kMaxJsonDepth)
          return Fail("nesting deeper than 1000 levels", m_p);
        ComPtr<XCollection> collection = XCollection::CreateEmpty();
        if (!collection)
          return E_OUTOFMEMORY;
        ++m_p;
        SkipWhitespace();
        if (At(object ? '}' : ']')) {
          ++m_p;
          if (object)
            collection->MarkEmptyObject();
          TakeCollection(collection, value);
        } else {
          m_stack.push_back(Frame{std::move(collection), object, OwnedString()});
          if (object) {
            const HRESULT status = ReadName();
            if (status != S_OK)
              return status;
          }
          continue;
        }
      } else {
        const HRESULT status = ReadScalar(value);
        if (status != S_OK)
          return status;
      }
      // A value is complete: it goes into the collection being read, and
      // what follows ends that collection (completing it in turn) or
      // starts the next value.
      for (;;) {
        if (m_stack.empty()) {
          SkipWhitespace();
          return m_p == m_end ? S_OK : Fail("unexpected text after the value", m_p);
        }
        Frame &top = m_stack.back();
        VARIANT key;
        VariantInit(&key);
        if (top.object) {
          V_VT(&key) = VT_BSTR;
          V_BSTR(&key) = top.name.Release();
        }
        ComPtr<XItem> item = XItem::Create(value, key);
        if (!item) {
          VariantClear(&key);
          return E_OUTOFMEMORY;
        }
        if (FAILED(top.collection->Append(std::move(item))))
          return E_OUTOFMEMORY;
        SkipWhitespace();
        if (At(',')) {
          ++m_p;
          if (top.object) {
            const HRESULT status = ReadName();
            if (status != S_OK)
              return status;
          }
          break;
        }
        if (!At(top.object ? '}' : ']'))
          return Fail(top.object ? "expected ',' or '}' after the member" : "expected ',' or ']' after the element",
                      m_p);
        ++m_p;
        ComPtr<XCollection> done = std::move(top.collection);
        m_stack.pop_back();
        TakeCollection(done, value);
      }
    }
  }

  static void TakeCollection(ComPtr<XCollection> &collection, VARIANT &value) noexcept {
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = static_cast<IXCollection2 *>(collection.Detach());
  }

  /// A member's name and the colon after it, into the top frame.
  HRESULT ReadName() {
    SkipWhitespace();
    if (!At('"'))
      return Fail("expected a member name in double quotes", m_p);
    BSTR name = nullptr;
    HRESULT status = ReadString(name);
    if (status != S_OK)
      return status;
    m_stack.back().name = OwnedString(name);
    SkipWhitespace();
    if (!At(':'))
      return Fail("expected ':' after the member name", m_p);
    ++m_p;
    return S_OK;
  }

  HRESULT ReadScalar(VARIANT &value) {
    if (m_p == m_end)
      return Fail("expected a value", m_p);
    const unsigned c = Unit(*m_p);
    if (c == '"') {
      BSTR text = nullptr;
      const HRESULT status = ReadString(text);
      if (status == S_OK) {
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = text;
      }
      return status;
    }
    if (c == '-' || (c >= '0' && c <= '9'))
      return ReadNumber(value);
    if (ReadWord("true")) {
      V_VT(&value) = VT_BOOL;
      V_BOOL(&value) = VARIANT_TRUE;
    } else if (ReadWord("false")) {
      V_VT(&value) = VT_BOOL;
      V_BOOL(&value) = VARIANT_FALSE;
    } else if (ReadWord("null")) {
      V_VT(&value) = VT_NULL;
    } else {
      return Fail("expected a value", m_p);
    }
    return S_OK;
  }

  bool ReadWord(const char *word) noexcept {
    const Char *p = m_p;
    for (; *word != '\0'; ++word, ++p)
      if (p == m_end || Unit(*p) != static_cast<unsigned char>(*word))
        return false;
    m_p = p;
    return true;
  }

  HRESULT ReadNumber(VARIANT &value) {
    const Char *start = m_p;
    const Char *stop = m_p;
    while (stop != m_end && IsNumberCharacter(Unit(*stop)))
      ++stop;
    const char *digits = nullptr;
    if constexpr (sizeof(Char) == 1) {
      digits = start;
    } else {
      m_digits.assign(start, stop);
      digits = m_digits.data();
    }
    const std::size_t available = static_cast<std::size_t>(stop - start);
    const std::size_t length = Literals::NumberLength(digits, digits + available);
    if (length == 0 || length != available)
      return Fail("invalid number", start);
    const Literals::JsonNumber number = Literals::ConvertNumber(digits, length);
    switch (number.kind) {
    case Literals::JsonNumber::Int:
      V_VT(&value) = VT_I4;
      V_I4(&value) = static_cast<LONG>(number.intValue);
      break;
    case Literals::JsonNumber::UnsignedInt:
      V_VT(&value) = VT_R8;
      V_R8(&value) = static_cast<double>(number.unsignedValue);
      break;
    case Literals::JsonNumber::Double:
      V_VT(&value) = VT_R8;
      V_R8(&value) = number.doubleValue;
      break;
    default:
      return Fail("number out of range", start);
    }
    m_p = stop;
    return S_OK;
  }

  static int HexDigit(unsigned c) noexcept {
    if (c >= '0' && c <= '9')
      return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
      return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
      return static_cast<int>(c - 'A' + 10);
    return -1;
  }

  /// Appends the UTF-16 of the character that starts at m_p (well-formed
  /// UTF-8) and moves past it.
  void DecodeInto(std::wstring &text) {
    if constexpr (sizeof(Char) == 1) {
      const unsigned lead = Unit(*m_p);
      unsigned code = 0;
      int extra = 0;
      if (lead < 0xE0) {
        code = lead & 0x1F;
        extra = 1;
      } else if (lead < 0xF0) {
        code = lead & 0x0F;
        extra = 2;
      } else {
        code = lead & 0x07;
        extra = 3;
      }
      for (int i = 1; i <= extra; ++i)
        code = (code << 6) | (Unit(m_p[i]) & 0x3F);
      m_p += extra + 1;
      if (code >= 0x10000) {
        code -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (code >> 10));
        text += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
      } else {
        text += static_cast<wchar_t>(code);
      }
    } else {
      text += static_cast<wchar_t>(*m_p++);
    }
  }

  /// The string that starts at m_p (a double quote) as a new BSTR.
  HRESULT ReadString(BSTR &result) {
    const Char *open = m_p++;
    // Most strings hold nothing to decode: taken as they stand.
    const Char *plain = m_p;
    while (plain != m_end && *plain != '"' && *plain != '\\' && Unit(*plain) >= 0x20 &&
           (sizeof(Char) != 1 || Unit(*plain) < 0x80))
      ++plain;
    if (plain != m_end && *plain == '"') {
      if constexpr (sizeof(Char) == 1) {
        m_text.assign(m_p, plain);
        result = SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
      } else {
        result = SysAllocStringLen(m_p, static_cast<UINT>(plain - m_p));
      }
      m_p = plain + 1;
      return result != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    m_text.clear();
    for (;;) {
      if (m_p == m_end)
        return Fail("unterminated string", open);
      const unsigned c = Unit(*m_p);
      if (c == '"')
        break;
      if (c < 0x20)
        return Fail("control character in a string (write it as an escape)", m_p);
      if (c != '\\') {
        if (c < 0x80)
          m_text += static_cast<wchar_t>(*m_p++);
        else
          DecodeInto(m_text);
        continue;
      }
      const Char *escape = m_p++;
      if (m_p == m_end)
        return Fail("unterminated string", open);
      switch (Unit(*m_p++)) {
      case '"':
        m_text += L'"';
        break;
      case '\\':
        m_text += L'\\';
        break;
      case '/':
        m_text += L'/';
        break;
      case 'b':
        m_text += L'\b';
        break;
      case 'f':
        m_text += L'\f';
        break;
      case 'n':
        m_text += L'\n';
        break;
      case 'r':
        m_text += L'\r';
        break;
      case 't':
        m_text += L'\t';
        break;
      case 'u': {
        unsigned unit = 0;
        for (int i = 0; i < 4; ++i, ++m_p) {
          const int digit = m_p != m_end ? HexDigit(Unit(*m_p)) : -1;
          if (digit < 0)
            return Fail("invalid escape: \\u needs four hexadecimal digits", escape);
          unit = unit * 16 + static_cast<unsigned>(digit);
        }
        m_text += static_cast<wchar_t>(unit); // a lone surrogate stays as it is
        break;
      }
      default:
        return Fail("invalid escape", escape);
      }
    }
    ++m_p;
    result = SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
    return result != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  const Char *const m_begin;
  const Char *m_p;
  const Char *const m_end;
  std::vector<Frame> m_stack;
  /// A string's decoded text, and a number's characters, reused.
  std::wstring m_text;
  std::string m_digits;
  Failure m_failure{"", 0};
};

} // namespace

HRESULT ReadJson(const wchar_t *text, std::size_t length, VARIANT &value, std::wstring &failure) noexcept {
  VariantInit(&value);
  return Reader<wchar_t>(text, length).Read(value, failure);
}

HRESULT ReadJson(const char *text, std::size_t length, VARIANT &value, std::wstring &failure) noexcept {
  VariantInit(&value);
  const std::size_t valid = Literals::ValidUtf8Length(text, length);
  if (valid != length) {
    std::size_t line = 0, column = 0;
    LineAndColumn(text, valid, line, column);
    try {
      failure = L"line " + std::to_wstring(line) + L", column " + std::to_wstring(column) + L": invalid UTF-8";
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return E_FAIL;
  }
  return Reader<char>(text, length).Read(value, failure);
}

} // namespace VariantCollection

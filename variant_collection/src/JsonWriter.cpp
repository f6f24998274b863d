//===- JsonWriter.cpp - Values written as JSON text -----------------------===//

#include "JsonWriter.h"

#include "ComPtr.h"
#include "JsonReader.h"
#include "XCollection.h"
#include "XItem.h"

#include <oleauto.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace VariantCollection {

namespace {

void AppendAscii(std::wstring &text, const char *begin, const char *end) {
  for (; begin != end; ++begin)
    text += static_cast<wchar_t>(*begin);
}

void AppendAscii(std::wstring &text, const char *ascii) { AppendAscii(text, ascii, ascii + std::strlen(ascii)); }

/// ECMAScript's Number::toString of a finite `value`.
void AppendDouble(std::wstring &text, double value) {
  if (value == 0) {
    text += L'0'; // also -0
    return;
  }
  if (value < 0) {
    text += L'-';
    value = -value;
  }
  // The shortest digits that read back, as d.ddde±x.
  char buffer[40];
  const char *end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
  const char *e = std::find(static_cast<const char *>(buffer), end, 'e');
  char digits[24];
  int count = 0;
  for (const char *p = buffer; p != e; ++p)
    if (*p != '.')
      digits[count++] = *p;
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
  const int n = exponent + 1; // the decimal point's place after the first digit
  if (count <= n && n <= 21) {
    AppendAscii(text, digits, digits + count);
    text.append(static_cast<std::size_t>(n - count), L'0');
  } else if (0 < n && n <= 21) {
    AppendAscii(text, digits, digits + n);
    text += L'.';
    AppendAscii(text, digits + n, digits + count);
  } else if (-6 < n && n <= 0) {
    text += L"0.";
    text.append(static_cast<std::size_t>(-n), L'0');
    AppendAscii(text, digits, digits + count);
  } else {
    text += static_cast<wchar_t>(digits[0]);
    if (count > 1) {
      text += L'.';
      AppendAscii(text, digits + 1, digits + count);
    }
    text += n - 1 >= 0 ? L"e+" : L"e-";
    const std::wstring power = std::to_wstring(n - 1 >= 0 ? n - 1 : 1 - n);
    text += power;
  }
}

template <class Integer> void AppendInteger(std::wstring &text, Integer value) {
  char buffer[24];
  AppendAscii(text, buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

/// The magnitude `digits` (decimal, most significant first) with `scale`
/// digits after the decimal point, trailing zeros of the fraction left out.
void AppendScaled(std::wstring &text, bool negative, std::string digits, unsigned scale) {
  while (!digits.empty() && digits[0] == '0')
    digits.erase(0, 1);
  if (digits.empty()) {
    text += L'0';
    return;
  }
  if (digits.size() <= scale)
    digits.insert(0, scale - digits.size() + 1, '0');
  std::size_t point = digits.size() - scale;
  std::size_t last = digits.size();
  while (last > point && digits[last - 1] == '0')
    --last;
  if (negative)
    text += L'-';
  AppendAscii(text, digits.data(), digits.data() + point);
  if (last > point) {
    text += L'.';
    AppendAscii(text, digits.data() + point, digits.data() + last);
  }
}

void AppendCurrency(std::wstring &text, CY value) {
  const bool negative = value.int64 < 0;
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value.int64) + 1 : static_cast<std::uint64_t>(value.int64);
  AppendScaled(text, negative, std::to_string(magnitude), 4);
}

void AppendDecimal(std::wstring &text, const DECIMAL &value) {
  // The 96-bit magnitude in three 32-bit parts, most significant first,
  // divided by ten again and again.
  std::uint32_t parts[3] = {value.Hi32, static_cast<std::uint32_t>(value.Lo64 >> 32),
                            static_cast<std::uint32_t>(value.Lo64)};
  std::string digits;
  while (parts[0] != 0 || parts[1] != 0 || parts[2] != 0) {
    std::uint64_t remainder = 0;
    for (std::uint32_t &part : parts) {
      const std::uint64_t current = (remainder << 32) | part;
      part = static_cast<std::uint32_t>(current / 10);
      remainder = current % 10;
    }
    digits += static_cast<char>('0' + remainder);
  }
  std::reverse(digits.begin(), digits.end());
  AppendScaled(text, (value.sign & DECIMAL_NEG) != 0, digits, value.scale);
}

void AppendHexEscape(std::wstring &text, unsigned unit) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  text += L"\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    text += kHex[(unit >> shift) & 0xF];
}

void AppendString(std::wstring &text, const wchar_t *chars, std::size_t length) {
  text += L'"';
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned c = static_cast<unsigned>(chars[i]);
    switch (c) {
    case '"':
      text += L"\\\"";
      continue;
    case '\\':
      text += L"\\\\";
      continue;
    case '\b':
      text += L"\\b";
      continue;
    case '\t':
      text += L"\\t";
      continue;
    case '\n':
      text += L"\\n";
      continue;
    case '\f':
      text += L"\\f";
      continue;
    case '\r':
      text += L"\\r";
      continue;
    default:
      break;
    }
    if (c < 0x20) {
      AppendHexEscape(text, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && static_cast<unsigned>(chars[i + 1]) >= 0xDC00 &&
               static_cast<unsigned>(chars[i + 1]) <= 0xDFFF) {
      text += chars[i];
      text += chars[++i];
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendHexEscape(text, c); // a lone surrogate
    } else {
      text += chars[i];
    }
  }
  text += L'"';
}

/// True for a key that a path may write as `.key`.
bool IsPlainName(const std::wstring_view key) {
  if (key.empty() || (key[0] >= L'0' && key[0] <= L'9'))
    return false;
  for (wchar_t c : key)
    if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' || c == L'$'))
      return false;
  return true;
}

/// A SAFEARRAY locked, and its VARIANT elements reachable, for as long as
/// this lives.
class LockedArray {
public:
  explicit LockedArray(SAFEARRAY *array) noexcept : m_array(array) {
    if (m_array != nullptr && FAILED(SafeArrayLock(m_array)))
      m_array = nullptr;
  }
  ~LockedArray() {
    if (m_array != nullptr)
      SafeArrayUnlock(m_array);
  }
  LockedArray(const LockedArray &) = delete;
  LockedArray &operator=(const LockedArray &) = delete;

  bool Locked() const noexcept { return m_array != nullptr; }
  UINT Dimensions() const noexcept { return SafeArrayGetDim(m_array); }
  void Bounds(UINT dimension, LONG &lower, LONG &upper) const noexcept {
    lower = 0;
    upper = -1;
    if (FAILED(SafeArrayGetLBound(m_array, dimension, &lower)) ||
        FAILED(SafeArrayGetUBound(m_array, dimension, &upper)))
      upper = lower - 1;
  }
  /// The element at `indexes` (one per dimension, the first dimension's
  /// first), or null.
  const VARIANT *At(LONG *indexes) const noexcept {
    void *element = nullptr;
    return SUCCEEDED(SafeArrayPtrOfIndex(m_array, indexes, &element)) ? static_cast<const VARIANT *>(element)
                                                                      : nullptr;
  }

private:
  SAFEARRAY *m_array;
};

class Writer {
public:
  Writer(int indent, std::wstring &text, std::wstring &failure) noexcept
      : m_indent(indent), m_text(text), m_failure(failure) {}

  HRESULT Write(const VARIANT &value) { return Value(value); }

private:
  /// One step of the path to the value being written: a key, or a
  /// position or index.
  struct Step {
    std::wstring_view key;
    bool keyed;
    LONG index;
  };

  HRESULT Fail(const std::wstring &what) {
    m_failure.clear();
    for (const Step &step : m_path) {
      if (!step.keyed) {
        m_failure += L'[' + std::to_wstring(step.index) + L']';
      } else if (IsPlainName(step.key)) {
        if (!m_failure.empty())
          m_failure += L'.';
        m_failure += step.key;
      } else {
        m_failure += L'[';
        AppendString(m_failure, step.key.data(), step.key.size());
        m_failure += L']';
      }
    }
    if (!m_failure.empty())
      m_failure += L": ";
    m_failure += what;
    return E_FAIL;
  }

  void NewLine(std::size_t depth) {
    if (m_indent == 0)
      return;
    m_text += L'\n';
    m_text.append(depth * static_cast<std::size_t>(m_indent), L' ');
  }

  void Name(std::wstring_view key) {
    AppendString(m_text, key.data(), key.size());
    m_text += m_indent == 0 ? L":" : L": ";
  }

  HRESULT Value(const VARIANT &value) {
    const VARIANT *v = &value;
    for (int hops = 0; V_VT(v) == (VT_BYREF | VT_VARIANT); ++hops) {
      if (V_VARIANTREF(v) == nullptr || hops == 8)
        return Fail(L"a reference with nothing behind it");
      v = V_VARIANTREF(v);
    }
    const VARTYPE type = V_VT(v) & ~VT_BYREF;
    const bool byReference = (V_VT(v) & VT_BYREF) != 0;
    if (byReference && V_BYREF(v) == nullptr)
      return Fail(L"a reference with nothing behind it");
    if ((type & VT_ARRAY) != 0) {
      if ((type & ~VT_ARRAY) != VT_VARIANT)
        return NoJsonForm(V_VT(v));
      return Array(byReference ? *V_ARRAYREF(v) : V_ARRAY(v));
    }
    // Every field but a DECIMAL's lies where V_UI1 does.
    const void *data = byReference          ? V_BYREF(v)
                       : type == VT_DECIMAL ? static_cast<const void *>(&V_DECIMAL(v))
                                            : static_cast<const void *>(&V_UI1(v));
    const auto read = [data](auto &field) {
      std::memcpy(&field, data, sizeof field);
      return field;
    };
    switch (type) {
    case VT_EMPTY:
    case VT_NULL:
      if (byReference)
        return NoJsonForm(V_VT(v));
      m_text += L"null";
      return S_OK;
    case VT_BOOL: {
      VARIANT_BOOL flag;
      m_text += read(flag) != VARIANT_FALSE ? L"true" : L"false";
      return S_OK;
    }
    case VT_I1: {
      signed char n;
      AppendInteger(m_text, static_cast<int>(read(n)));
      return S_OK;
    }
    case VT_UI1: {
      unsigned char n;
      AppendInteger(m_text, static_cast<unsigned>(read(n)));
      return S_OK;
    }
    case VT_I2: {
      SHORT n;
      AppendInteger(m_text, static_cast<int>(read(n)));
      return S_OK;
    }
    case VT_UI2: {
      USHORT n;
      AppendInteger(m_text, static_cast<unsigned>(read(n)));
      return S_OK;
    }
    case VT_I4:
    case VT_INT: {
      std::int32_t n;
      AppendInteger(m_text, read(n));
      return S_OK;
    }
    case VT_UI4:
    case VT_UINT: {
      std::uint32_t n;
      AppendInteger(m_text, read(n));
      return S_OK;
    }
    case VT_I8: {
      std::int64_t n;
      AppendInteger(m_text, read(n));
      return S_OK;
    }
    case VT_UI8: {
      std::uint64_t n;
      AppendInteger(m_text, read(n));
      return S_OK;
    }
    case VT_R4: {
      float n;
      return Number(static_cast<double>(read(n)));
    }
    case VT_R8: {
      double n;
      return Number(read(n));
    }
    case VT_CY: {
      CY n;
      AppendCurrency(m_text, read(n));
      return S_OK;
    }
    case VT_DECIMAL: {
      DECIMAL n;
      AppendDecimal(m_text, read(n));
      return S_OK;
    }
    case VT_DATE: {
      DATE date;
      SYSTEMTIME time;
      if (!VariantTimeToSystemTime(read(date), &time))
        return Fail(L"a date out of range");
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "\"%04u-%02u-%02uT%02u:%02u:%02u\"", time.wYear, time.wMonth, time.wDay,
                    time.wHour, time.wMinute, time.wSecond);
      AppendAscii(m_text, buffer);
      return S_OK;
    }
    case VT_BSTR: {
      BSTR text;
      read(text);
      AppendString(m_text, text, SysStringLen(text));
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown *object;
      read(object);
      if (object == nullptr) {
        m_text += L"null";
        return S_OK;
      }
      return Object(object);
    }
    default:
      return NoJsonForm(V_VT(v));
    }
  }

  HRESULT NoJsonForm(VARTYPE type) {
    wchar_t text[64];
    std::swprintf(text, 64, L"a value with no JSON form (VARTYPE 0x%04X)", static_cast<unsigned>(type));
    return Fail(text);
  }

  HRESULT Number(double value) {
    if (!std::isfinite(value))
      return Fail(L"NaN or an infinity, which JSON cannot hold");
    AppendDouble(m_text, value);
    return S_OK;
  }

  /// Enters an object or array, whose identity is `object` (null for an
  /// array): fails for nesting too deep and for an object that is being
  /// written already (a cycle).
  HRESULT Enter(IUnknown *object) {
    if (m_depth == kMaxJsonDepth)
      return Fail(L"nesting deeper than 1000 levels");
    if (object != nullptr) {
      for (IUnknown *open : m_open)
        if (open == object)
          return Fail(L"a collection that holds itself");
      m_open.push_back(object);
    }
    ++m_depth;
    return S_OK;
  }

  template <class Body> HRESULT Container(IUnknown *identity, Body body) {
    HRESULT status = Enter(identity);
    if (FAILED(status))
      return status;
    status = body();
    if (identity != nullptr)
      m_open.pop_back();
    --m_depth;
    return status;
  }

  HRESULT Object(IUnknown *object) {
    ComPtr<IUnknown> identity;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(identity.GetAddressOf()))))
      return Fail(L"an object with no JSON form");
    if (const ComPtr<XCollection> collection = XCollection::Of(object))
      return Container(identity.Get(), [&] { return Collection(*collection); });
    ComPtr<IXItem> item;
    if (SUCCEEDED(object->QueryInterface(IID_IXItem, reinterpret_cast<void **>(item.GetAddressOf())))) {
      VARIANT value;
      VariantInit(&value);
      HRESULT status = item->get_Value(&value);
      if (SUCCEEDED(status))
        status = Value(value); // an item stands for its value
      else
        status = Fail(L"an item whose value cannot be read");
      VariantClear(&value);
      return status;
    }
    ComPtr<IDispatch> dispatch;
    DISPID keys = DISPID_UNKNOWN, items = DISPID_UNKNOWN;
    if (SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(dispatch.GetAddressOf())))) {
      LPOLESTR names[] = {const_cast<LPOLESTR>(L"Keys"), const_cast<LPOLESTR>(L"Items")};
      if (FAILED(dispatch->GetIDsOfNames(IID_NULL, &names[0], 1, LOCALE_USER_DEFAULT, &keys)) ||
          FAILED(dispatch->GetIDsOfNames(IID_NULL, &names[1], 1, LOCALE_USER_DEFAULT, &items)))
        dispatch = nullptr;
    }
    if (!dispatch)
      return Fail(L"an object with no JSON form");
    return Container(identity.Get(), [&] { return Dictionary(dispatch.Get(), keys, items); });
  }

  HRESULT Collection(const XCollection &collection) {
    std::vector<ComPtr<XItem>> members;
    if (FAILED(collection.SnapshotItems(members)))
      return E_OUTOFMEMORY;
    if (members.empty()) {
      m_text += collection.IsEmptyObject() ? L"{}" : L"[]";
      return S_OK;
    }
    const bool keyed = members[0]->HasKey();
    for (std::size_t i = 0; i < members.size(); ++i)
      if (members[i]->HasKey() != keyed) {
        std::size_t unkeyed = i;
        if (!keyed)
          unkeyed = 0;
        return Fail(L"a collection that mixes members with and without keys (member " + std::to_wstring(unkeyed + 1) +
                    L" has no key)");
      }
    const std::size_t depth = m_depth;
    m_text += keyed ? L'{' : L'[';
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i > 0)
        m_text += L',';
      NewLine(depth);
      const XItem &member = *members[i];
      Step step{std::wstring_view(), keyed, static_cast<LONG>(i + 1)};
      if (keyed) {
        BSTR key = V_BSTR(&member.Key());
        step.key = std::wstring_view(key, SysStringLen(key));
        Name(step.key);
      }
      m_path.push_back(step);
      const HRESULT status = Value(member.Value());
      if (FAILED(status))
        return status;
      m_path.pop_back();
    }
    NewLine(depth - 1);
    m_text += keyed ? L'}' : L']';
    return S_OK;
  }

  /// A dictionary's key as a string: a string as it is, a number or a
  /// Boolean as its JSON text.
  HRESULT KeyText(const VARIANT &key, std::wstring &text) {
    const VARIANT *v = &key;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v) != nullptr)
      v = V_VARIANTREF(v);
    if (V_VT(v) == VT_BSTR) {
      text.assign(V_BSTR(v), SysStringLen(V_BSTR(v)));
      return S_OK;
    }
    if (!IsNumberType(V_VT(v)) && V_VT(v) != VT_BOOL)
      return Fail(L"a key with no JSON form");
    std::wstring written;
    std::swap(written, m_text);
    const HRESULT status = Value(*v);
    std::swap(written, m_text);
    text = written;
    return status;
  }

  /// Calls the method `member` of `object` without arguments into
  /// `result`, which must be a one-dimensional VT_ARRAY | VT_VARIANT.
  static bool CallForArray(IDispatch *object, DISPID member, VARIANT &result) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (FAILED(object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                              &result, nullptr, nullptr)))
      return false;
    return V_VT(&result) == (VT_ARRAY | VT_VARIANT) && V_ARRAY(&result) != nullptr &&
           SafeArrayGetDim(V_ARRAY(&result)) == 1;
  }

  HRESULT Dictionary(IDispatch *object, DISPID keysMember, DISPID itemsMember) {
    VARIANT keys, items;
    VariantInit(&keys);
    VariantInit(&items);
    HRESULT status = S_OK;
    if (!CallForArray(object, keysMember, keys) || !CallForArray(object, itemsMember, items)) {
      status = Fail(L"an object whose Keys and Items cannot be read as arrays");
    } else {
      LockedArray keyArray(V_ARRAY(&keys)), itemArray(V_ARRAY(&items));
      LONG keyLower, keyUpper, itemLower, itemUpper;
      keyArray.Bounds(1, keyLower, keyUpper);
      itemArray.Bounds(1, itemLower, itemUpper);
      if (!keyArray.Locked() || !itemArray.Locked() || keyUpper - keyLower != itemUpper - itemLower) {
        status = Fail(L"an object whose Keys and Items do not match");
      } else if (keyUpper < keyLower) {
        m_text += L"{}";
      } else {
        const std::size_t depth = m_depth;
        m_text += L'{';
        for (LONG i = 0; i <= keyUpper - keyLower && SUCCEEDED(status); ++i) {
          if (i > 0)
            m_text += L',';
          NewLine(depth);
          LONG keyIndex = keyLower + i, itemIndex = itemLower + i;
          const VARIANT *key = keyArray.At(&keyIndex);
          const VARIANT *item = itemArray.At(&itemIndex);
          std::wstring name;
          status = key != nullptr && item != nullptr ? KeyText(*key, name) : E_FAIL;
          if (SUCCEEDED(status)) {
            Name(name);
            m_path.push_back(Step{name, true, 0});
            status = Value(*item);
            if (SUCCEEDED(status))
              m_path.pop_back();
          }
        }
        if (SUCCEEDED(status)) {
          NewLine(depth - 1);
          m_text += L'}';
        }
      }
    }
    VariantClear(&keys);
    VariantClear(&items);
    return status;
  }

  HRESULT Array(SAFEARRAY *array) {
    LockedArray elements(array);
    if (!elements.Locked())
      return Fail(L"an array that cannot be read");
    if (elements.Dimensions() > 2)
      return Fail(L"an array of more than two dimensions");
    return Container(nullptr, [&] { return Elements(elements); });
  }

  /// The elements of an array of one dimension, or the rows of one of two.
  HRESULT Elements(const LockedArray &elements) {
    LONG lower, upper;
    elements.Bounds(1, lower, upper);
    if (elements.Dimensions() != 2)
      return List(lower, upper, [&](LONG i) { return ElementAt(elements, &i); });
    LONG columnLower, columnUpper;
    elements.Bounds(2, columnLower, columnUpper);
    return List(lower, upper, [&](LONG row) {
      return Container(nullptr, [&] {
        return List(columnLower, columnUpper, [&](LONG column) {
          LONG indexes[2] = {row, column};
          return ElementAt(elements, indexes);
        });
      });
    });
  }

  /// An array of the positions `lower` to `upper`, each written by
  /// `element(position)`; `[]` when there are none.
  template <class Element> HRESULT List(LONG lower, LONG upper, Element element) {
    if (upper < lower) {
      m_text += L"[]";
      return S_OK;
    }
    const std::size_t depth = m_depth;
    m_text += L'[';
    for (LONG i = lower; i <= upper; ++i) {
      if (i > lower)
        m_text += L',';
      NewLine(depth);
      m_path.push_back(Step{std::wstring_view(), false, i});
      const HRESULT status = element(i);
      if (FAILED(status))
        return status;
      m_path.pop_back();
    }
    NewLine(depth - 1);
    m_text += L']';
    return S_OK;
  }

  /// The element of `elements` at `indexes`.
  HRESULT ElementAt(const LockedArray &elements, LONG *indexes) {
    const VARIANT *element = elements.At(indexes);
    return element != nullptr ? Value(*element) : Fail(L"an element that cannot be read");
  }

  const int m_indent;
  std::wstring &m_text;
  std::wstring &m_failure;
  /// The identities of the objects being written, outermost first.
  std::vector<IUnknown *> m_open;
  /// How many objects and arrays the value being written is in.
  std::size_t m_depth = 0;
  std::vector<Step> m_path;
};

} // namespace

bool IsNumberType(VARTYPE type) noexcept {
  switch (type) {
  case VT_I1:
  case VT_I2:
  case VT_I4:
  case VT_I8:
  case VT_UI1:
  case VT_UI2:
  case VT_UI4:
  case VT_UI8:
  case VT_INT:
  case VT_UINT:
  case VT_R4:
  case VT_R8:
  case VT_CY:
  case VT_DECIMAL:
    return true;
  default:
    return false;
  }
}

HRESULT WriteJson(const VARIANT &value, int indent, std::wstring &text, std::wstring &failure) noexcept {
  try {
    return Writer(indent, text, failure).Write(value);
  } catch (...) {
    failure.clear();
    return E_OUTOFMEMORY;
  }
}

void AppendUtf8(const std::wstring &text, std::string &utf8) {
  utf8.reserve(utf8.size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned code = static_cast<unsigned>(text[i]);
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size())
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned>(text[++i]) - 0xDC00);
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (code >> 12));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (code >> 18));
      utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
}

} // namespace VariantCollection

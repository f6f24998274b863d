//===- JsonReader.h - JSON text read into collections -----------*- C++ -*-===//
//
// ReadJson: one JSON value (RFC 8259) read from UTF-16 or UTF-8 text into a
// VARIANT, objects and arrays as new collections (XCollection), for XJson's
// Parse and ReadFile.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_JSONREADER_H
#define VARIANT_COLLECTION_JSONREADER_H

#include <oaidl.h>

#include <cstddef>
#include <string>

namespace VariantCollection {

/// The deepest nesting of objects and arrays that reading and writing
/// accept.
constexpr std::size_t kMaxJsonDepth = 1000;

/// Reads the one JSON value that `text` (`length` UTF-16 units) holds,
/// with white space around it and nothing after it, into `value` (which
/// must hold nothing that needs clearing):
///
/// - an object: a new collection whose members are keyed by the member
///   names, in document order; a name that comes twice keeps the last
///   value at the place of its first appearance. A collection made from
///   `{}` is marked (XCollection::MarkEmptyObject).
/// - an array: a new collection of unkeyed members, in order.
/// - a string: VT_BSTR, escapes decoded; `\u0000` is kept as a character
///   and a lone surrogate escape as that one unit.
/// - a number without fraction or exponent within [-2^31, 2^31): VT_I4;
///   any other number: VT_R8, the nearest double (ties to even).
/// - true, false: VT_BOOL; null: VT_NULL.
///
/// Answers S_OK; E_FAIL with `failure` saying where and why ("line 3,
/// column 14: expected ',' or '}' after the member"; lines and columns
/// 1-based, columns counted in characters) for text that is not JSON, a
/// number beyond the double range, or nesting deeper than kMaxJsonDepth;
/// E_OUTOFMEMORY (`failure` empty) when memory runs out. On failure `value`
/// holds VT_EMPTY and everything made so far is released. O(length) apart
/// from hashing keys; uses no recursion; never throws.
HRESULT ReadJson(const wchar_t *text, std::size_t length, VARIANT &value, std::wstring &failure) noexcept;

/// The same for UTF-8 text (`length` bytes), which must be well-formed:
/// the first ill-formed sequence fails the call as "invalid UTF-8" at its
/// place.
HRESULT ReadJson(const char *text, std::size_t length, VARIANT &value, std::wstring &failure) noexcept;

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_JSONREADER_H

//===- JsonWriter.h - Values written as JSON text ---------------*- C++ -*-===//
//
// WriteJson: a VARIANT (collections, dictionaries, arrays, scalars) written
// as the JSON text that JavaScript's JSON.stringify writes for the same
// data, for XJson's Stringify and WriteFile.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_JSONWRITER_H
#define VARIANT_COLLECTION_JSONWRITER_H

#include <oaidl.h>

#include <cstddef>
#include <string>

namespace VariantCollection {

/// Appends to `text` the JSON text of `value`, as JSON.stringify(value,
/// null, indent) writes it, byte for byte:
///
/// - VT_BYREF values are read through. VT_EMPTY, VT_NULL and a null object
///   write `null`; VT_BOOL `true` or `false`.
/// - Integer types (VT_I1 ... VT_UI8, VT_INT, VT_UINT) as decimal integers;
///   VT_R8 as ECMAScript's Number::toString (shortest digits that read
///   back, `1e+21`, `1.5e-7`, `-0` as `0`); VT_R4 as its double; VT_CY and
///   VT_DECIMAL as their exact decimal value without trailing zeros.
/// - VT_DATE as a string "yyyy-mm-ddThh:mm:ss" (the stored value, no zone);
///   VT_BSTR as a string: `"` and `\` escaped, `\b \t \n \f \r`, other
///   characters below U+0020 and lone surrogates as `\u00xx`/`\udxxx`
///   (lower-case hex), everything else as it is.
/// - A collection of this module: an object (members in order) when all
///   members have keys, an array when none has; `[]` when empty, or `{}`
///   while it is one that reading made from `{}`. An item (IXItem): its
///   value. Any other object that answers `Keys` and `Items` through
///   IDispatch (Scripting.Dictionary): an object, keys as strings.
///   VT_ARRAY | VT_VARIANT: an array; of two dimensions, an array of rows
///   (first index outer).
/// - `indent` (0 to 10) spaces a level: 0 writes no white space; more puts
///   each member and element on a line of its own, with `"key": value`.
///
/// Answers S_OK; E_FAIL with `failure` naming the place ("user.tags[2]: an
/// object with no JSON form"; keys as names, positions of collections
/// 1-based, array indexes as the array counts them) for a value with no
/// JSON form, NaN or an infinity, a collection that mixes keyed and unkeyed
/// members or holds itself, nesting deeper than kMaxJsonDepth, or a
/// dictionary whose Keys or Items fail; E_OUTOFMEMORY (`failure` empty)
/// when memory runs out. On failure `text` holds part of the output.
/// O(size of the output) plus the calls on client objects; never throws.
HRESULT WriteJson(const VARIANT &value, int indent, std::wstring &text, std::wstring &failure) noexcept;

/// True for the VARTYPEs (without VT_BYREF) that WriteJson writes as
/// numbers: the integer types, VT_R4, VT_R8, VT_CY and VT_DECIMAL. O(1).
bool IsNumberType(VARTYPE type) noexcept;

/// `text` (well-formed UTF-16, as WriteJson writes it) appended to `utf8`
/// as UTF-8. Throws std::bad_alloc.
void AppendUtf8(const std::wstring &text, std::string &utf8);

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_JSONWRITER_H

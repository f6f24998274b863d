//===- ValueText.h - Default-format text without a stream (internal) -*- C++ -*-===//
//
// The text a value's `Print` writes into a fresh, default-formatted stream,
// made directly into a string for the library's own kinds.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_SRC_VALUETEXT_H
#define ZORBIN_TESSEL_COLLECTION_SRC_VALUETEXT_H

#include <Collection/Number.h>
#include <Collection/Value.h>

#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace ValueText {

/// True when the global locale is the classic one, in which a fresh string
/// stream writes numbers exactly as `AppendNumber` does. In any other locale
/// (its decimal point, its grouping) numbers take the stream. O(1).
bool ClassicNumbers();

/// Appends the default-format text, in the classic locale, of a number whose
/// dynamic type is exactly `Number`: integers in decimal, finite floating
/// values as printf's "%g" with 6 significant digits ("1e+06", "-0")
/// through `std::to_chars`, infinities and NaNs as the platform's stream
/// writes them; the very bytes `operator<<` gives in a default-formatted
/// stream. May raise std::bad_alloc.
void AppendNumber(std::string &out, const Number &number);

/// How `Append` takes the text of a value that is not one of the library's
/// own kinds (or of a class derived from one).
enum class Fallback {
  ToString, ///< The value's virtual `ToString`.
  Print,    ///< The value's `Print` into a fresh default-formatted stream.
};

/// Appends `value`'s default-format text: made directly for the library's
/// numbers (when `classicNumbers`, see `ClassicNumbers`), booleans, strings,
/// dictionaries and arrays (exactly those classes, not classes derived from
/// them), otherwise as `fallback` says. May raise std::bad_alloc and what
/// the value's printing throws.
void Append(std::string &out, const Value &value, Fallback fallback, bool classicNumbers);

} // namespace ValueText
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_SRC_VALUETEXT_H

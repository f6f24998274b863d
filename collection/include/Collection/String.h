//===- Collection/String.h - Text values ------------------------*- C++ -*-===//
//
// String: the value kind that holds one string of bytes.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_STRING_H
#define ZORBIN_TESSEL_COLLECTION_STRING_H

#include <Collection/Value.h>

#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// One immutable string of bytes (no encoding assumed, zero bytes allowed).
///
/// - `BoolValue` is true exactly when the text is not empty ("false", "0" and
///   " " are all true).
/// - The numeric accessors read the text anew on every call, exactly as one
///   formatted extraction (`operator>>`) of the result's type from a
///   `std::istringstream` over the text in the global locale gives it
///   (the locale's decimal point and thousands grouping apply, and the
///   result is correctly rounded in every locale, on every platform):
///   leading white space skipped, an optional sign, decimal digits (no `0x`),
///   for floating values one decimal point and an optional exponent; reading
///   ends at the first character that cannot continue the number. Text that
///   does not begin with a number gives 0, and so does text whose exponent
///   marker has no digits after it ("1e", "1e+"). Text whose number lies
///   beyond the result's range gives the nearest end of that range (the
///   largest finite magnitude for floating results); `UnsignedIntValue` takes
///   a minus sign as negation modulo 2^32 ("-1" gives 4294967295).
/// - Two strings are equal when they hold the same bytes; a string never
///   equals a value of another kind.
/// - `Print` writes the text unquoted with the standard string insertion
///   (field width and fill apply); `StringValue` and `ToString` return a copy
///   of the bare text.
///
/// Complexity: the numeric accessors are O(length of the text); they
/// allocate nothing in the default ("C") global locale. The string results
/// may raise std::bad_alloc; nothing else throws.
class COLLECTION_API String : public Value {
public:
  /// The empty text. May raise std::bad_alloc only in theory (never in
  /// practice: the empty string does not allocate).
  String();
  /// A copy of `text`. May raise std::bad_alloc.
  explicit String(const std::string &text);

  /// A string never changes after construction: no assignment.
  String &operator=(const String &) = delete;

  /// The held text, valid as long as this value lives. Never throws.
  const std::string &Str() const noexcept { return m_text; }

  bool BoolValue() const override;
  long IntValue() const override;
  unsigned long UnsignedIntValue() const override;
  float FloatValue() const override;
  double DoubleValue() const override;
  std::string StringValue() const override;
  bool operator==(const Value &other) const override;
  void Print(std::ostream &os) const override;
  std::string ToString() const override;

  /// Same length and the same bytes in the same order.
  virtual bool operator==(const String &other) const;

protected:
  ~String() override;

private:
  std::string m_text;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_STRING_H

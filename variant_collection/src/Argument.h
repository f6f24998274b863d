//===- Argument.h - A VARIANT argument read through references --*- C++ -*-===//
//
// Argument: the value that a VARIANT argument of a client call stands for,
// copied out of the caller's memory (or, only to be looked at, borrowed from
// it), and how the collection classifies it.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_ARGUMENT_H
#define VARIANT_COLLECTION_ARGUMENT_H

#include <oaidl.h>

#include <string_view>

namespace VariantCollection {

/// The bytes of a BSTR (SysStringByteLen of them): the form in which keys
/// are hashed and compared, byte for byte. A null BSTR gives the same empty
/// view as an empty string. O(1); never throws.
std::string_view BstrBytes(BSTR text) noexcept;

/// Copies `source` into `destination` as VariantCopy does (`destination`
/// is cleared first; a reference is copied as the reference) and answers
/// its status, but leaves nothing behind when the copy fails: `destination`
/// then holds VT_EMPTY, and what the failed copy of a record had already
/// taken (a block for the record and a reference on its record
/// information) is given back. O(size of the value); never throws.
HRESULT CopyValue(VARIANT &destination, const VARIANT &source) noexcept;

/// Owns a copy of what one VARIANT argument stands for. Clients pass
/// arguments by value or by reference (VT_BYREF, as script languages pass
/// their variables); the copy is made through the reference, so that what
/// is classified, compared or stored is the value itself and never a
/// pointer into the caller's memory. The one exception is Borrow: a string
/// it holds is the caller's own, valid only while the caller's argument
/// stays as it is, and never stored.
class Argument {
public:
  /// Classes of an argument used to pick a member of the collection.
  enum class Kind {
    Key,      ///< a string, VT_BSTR (VT_LPSTR and VT_LPWSTR fail in Read)
    Position, ///< a 16- or 32-bit integer: VT_I2, VT_I4
    Missing,  ///< VT_ERROR, the form of an omitted optional argument
    Other     ///< anything else
  };

  /// Holds VT_EMPTY.
  Argument() noexcept;
  /// Clears the held copy.
  ~Argument();
  Argument(const Argument &) = delete;
  Argument &operator=(const Argument &) = delete;

  /// Replaces the held copy with a copy of what `argument` stands for
  /// (VariantCopyInd), which is always a value that the platform can copy
  /// and clear again. An array of VARIANTs is copied element by element,
  /// each element as an argument, so that no element of the copy is a
  /// reference and arrays of VARIANTs in it are copied alike. Answers the
  /// copy's status: DISP_E_BADVARTYPE for a type that cannot be copied
  /// (VT_LPSTR, VT_LPWSTR and other non-Automation types, also behind a
  /// typed reference such as a reference to an array of VT_EMPTY, or as an
  /// element of an array of VARIANTs), E_INVALIDARG for a malformed
  /// reference (a null pointer, also behind a VT_BYREF | VT_VARIANT or in
  /// an array) and for arrays of VARIANTs nested deeper than 1,000 (or
  /// holding themselves), E_OUTOFMEMORY; on failure VT_EMPTY is held and
  /// nothing is left allocated. O(size of the value); never throws.
  HRESULT Read(const VARIANT &argument) noexcept;

  /// Like Read, for an argument that is only looked at while the caller's
  /// argument stays as it is: a string (VT_BSTR) given by value, by a typed
  /// reference or behind one VT_BYREF | VT_VARIANT is held as the caller's
  /// own BSTR, without a copy (so it needs no memory); anything else is
  /// copied as Read copies it. Classify, Position and KeyBytes then answer
  /// as after Read; MoveTo must not follow. O(1) for a string; never
  /// throws.
  HRESULT Borrow(const VARIANT &argument) noexcept;

  /// The class of the held copy. O(1).
  Kind Classify() const noexcept;

  /// The held position, for Kind::Position. O(1).
  LONG Position() const noexcept;

  /// The held key's bytes, for Kind::Key. O(1).
  std::string_view KeyBytes() const noexcept;

  /// Moves the held copy into `target`, which must hold nothing that needs
  /// clearing, and holds VT_EMPTY afterwards. Not after Borrow. O(1).
  void MoveTo(VARIANT &target) noexcept;

private:
  /// Clears the held copy (a borrowed value is only let go).
  void Clear() noexcept;
  /// The same, also for a copy that VariantClear refuses (an array of a
  /// type it does not know); holds VT_EMPTY afterwards.
  void Discard() noexcept;

  VARIANT m_value;
  /// True while m_value is the caller's (Borrow), not a copy of it.
  bool m_borrowed = false;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_ARGUMENT_H

//===- Collection/Data.h - Byte buffers -------------------------*- C++ -*-===//
//
// Data: the value kind that holds one buffer of bytes.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_DATA_H
#define ZORBIN_TESSEL_COLLECTION_DATA_H

#include <Collection/Value.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// One buffer of bytes, owned by the value and copied deeply on the way in
/// and on every `DataValue` call.
///
/// - Unlike the other scalar kinds a `Data` can be changed in place, through
///   the non-const `GetData` or the non-const conversion to a buffer
///   reference.
/// - `PointerValue` reads the bytes back as a pointer (in machine byte order)
///   when there are exactly `sizeof(void*)` of them (4 on 32-bit Windows, 8
///   on 64-bit Linux), which is how `MakeValue(void*)` stores a pointer;
///   otherwise it answers null.
/// - Two `Data` are equal when they hold the same number of bytes and the
///   same byte at every position; a `Data` never equals a value of another
///   kind, even a `String` of the same bytes.
/// - `Print` writes "<", the length, " bytes>" (e.g. "<16 bytes>"), with the
///   caller's stream flags applied to the length; the bytes themselves are
///   never printed.
/// - Every other accessor gives `Value`'s default: `BoolValue` false and the
///   numbers 0, whatever the bytes.
///
/// Memory: the buffer's block comes from the native allocator and is sized
/// exactly; it goes back when the value dies. Copies (construction,
/// `DataValue`) may raise std::bad_alloc; nothing else throws except the
/// printing into a stream.
class COLLECTION_API Data : public Value {
public:
  using Buffer = Container::basic_data<unsigned char>;

  /// A deep copy of `data`. O(size). May raise std::bad_alloc.
  explicit Data(const Buffer &data);

  /// A deep copy of `length` bytes starting at `bytes`, which must address
  /// that many readable bytes; with a length of 0 nothing is read (`bytes`
  /// may then be null). O(length). May raise std::bad_alloc, also when
  /// `length` exceeds 32 bits.
  Data(const void *bytes, unsigned long length);

  /// The number of bytes. O(1), never throws.
  unsigned long Length() const noexcept;

  /// The address of the first byte of the held block, valid until the
  /// buffer is replaced or the value dies. For an empty buffer it is
  /// whatever the allocator gave for 0 bytes, null included: test `Length`,
  /// not this address. O(1), never throws.
  const void *Bytes() const noexcept;

  /// The held buffer itself, as `GetData` gives it. O(1), never throws.
  operator Buffer &();
  operator const Buffer &() const;

  /// A deep copy of the bytes, owned by the caller. O(size). May raise
  /// std::bad_alloc.
  Buffer DataValue() const override;

  /// The pointer whose bytes the buffer holds, when its length is
  /// `sizeof(void*)`; null for any other length. O(1), never throws.
  void *PointerValue() const override;

  /// True exactly when `other` is a `Data` with the same bytes. O(size),
  /// never throws.
  bool operator==(const Value &other) const override;

  /// Writes "<N bytes>", with the stream's own insertion for the unsigned
  /// number N, so the caller's flags (base, show-base...) apply to it.
  void Print(std::ostream &os) const override;

  /// The held buffer, for reading or changing it in place. O(1), never
  /// throws.
  virtual Buffer &GetData();
  virtual const Buffer &GetData() const;

  /// Same length and the same byte at every position; where the blocks lie
  /// plays no part. O(size), never throws.
  virtual bool operator==(const Data &other) const;

protected:
  ~Data() override;

private:
  Buffer m_data;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_DATA_H

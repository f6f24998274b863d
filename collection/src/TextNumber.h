//===- TextNumber.h - Numbers read from text (internal) ---------*- C++ -*-===//
//
// The rule by which a String's text becomes a number: one formatted stream
// extraction of the result's type, reproduced without a stream.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_SRC_TEXTNUMBER_H
#define ZORBIN_TESSEL_COLLECTION_SRC_TEXTNUMBER_H

#include <cstdint>
#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace TextNumber {

/// Each gives what `std::istringstream(text) >> result` leaves in a result
/// that starts at 0, in the current global locale, with the outcomes the
/// stream leaves to the library fixed as follows: nothing readable gives 0,
/// a number beyond the result's range gives the nearest end of the range
/// (the largest finite magnitude for floating types), and an exponent marker
/// without digits makes the whole text unreadable.
///
/// The text is read directly, with correct rounding, on every platform. In
/// the classic ("C") global locale, which is the default: O(length), no
/// allocation, never throws. In any other global locale only its decimal
/// point and thousands grouping are taken from it: when they differ from
/// the classic ones the number is first written again in the classic
/// syntax (O(length), one allocation, std::bad_alloc may escape) and then
/// read exactly as in the classic locale. White space is the classic
/// locale's in every locale.
std::int32_t ReadInt32(const std::string &text);
std::uint32_t ReadUInt32(const std::string &text);
float ReadFloat(const std::string &text);
double ReadDouble(const std::string &text);

} // namespace TextNumber
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_SRC_TEXTNUMBER_H

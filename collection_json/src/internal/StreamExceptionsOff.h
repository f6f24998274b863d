//===- internal/StreamExceptionsOff.h - A stream's exceptions held off -*- C++ -*-===//
//
// The stream functions read and write with the stream's exceptions turned
// off, so that they see its state rather than std::ios_base::failure and
// report every failure as JsonError.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_STREAMEXCEPTIONSOFF_H
#define ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_STREAMEXCEPTIONSOFF_H

#include <ios>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

/// Turns off the exceptions of `stream` for its own lifetime and gives the
/// caller's mask back at its end, raising nothing then: where the state the
/// stream was left in matches the mask, the standard raises
/// std::ios_base::failure after setting it, and that is dropped here.
class StreamExceptionsOff {
public:
  explicit StreamExceptionsOff(std::ios &stream) : m_stream(stream), m_mask(stream.exceptions()) {
    stream.exceptions(std::ios::goodbit);
  }
  StreamExceptionsOff(const StreamExceptionsOff &) = delete;
  StreamExceptionsOff &operator=(const StreamExceptionsOff &) = delete;
  ~StreamExceptionsOff() {
    try {
      m_stream.exceptions(m_mask);
    } catch (...) {
    }
  }

private:
  std::ios &m_stream;
  std::ios::iostate m_mask;
};

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_STREAMEXCEPTIONSOFF_H

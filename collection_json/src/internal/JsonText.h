//===- internal/JsonText.h - Numbers, positions and paths of JSON text -*- C++ -*-===//
//
// Helpers shared by the reader and the writer: number text both ways, line
// and column of an offset, and the path text of a place in a value tree.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONTEXT_H
#define ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONTEXT_H

#include "JsonLiterals.h"

#include <cstddef>
#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

/// Writes the shortest text that reads back as `value` (finite) into
/// `buffer` (at least 32 bytes), always with a fraction or an exponent;
/// answers its length. Never throws.
std::size_t FormatDouble(double value, char *buffer) noexcept;

/// 1-based line and column (in bytes) of `offset` in `text`; lines end at
/// each line feed. O(offset).
void LineAndColumn(const std::string &text, std::size_t offset, std::size_t &line, std::size_t &column) noexcept;

/// Appends the step into member `key` to `path` (see JsonError::Path): the
/// key itself, after a dot unless `path` is empty; in brackets and double
/// quotes (`["a.b"]`, `\` and `"` escaped by a backslash) when it is empty
/// or holds `.`, `[`, `]` or `"`. O(length of the key); may raise
/// std::bad_alloc.
void AppendKeyToPath(std::string &path, const std::string &key);

/// Appends the step into element `index` to `path`: `[3]`. May raise
/// std::bad_alloc.
void AppendIndexToPath(std::string &path, unsigned long index);

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONTEXT_H

//===- internal/JsonFiles.h - The reader for the file functions -*- C++ -*-===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONFILES_H
#define ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONFILES_H

#include <Collection/Value.h>
#include <Runtime/Ref.h>

#include <string>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

/// `ReadJson(text)`, with `context` (when not null) and ": " before the
/// position in the messages of its errors.
Runtime::Ref<const Value> ReadJsonText(const std::string &text, const char *context);

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONFILES_H

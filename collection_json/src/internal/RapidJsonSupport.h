//===- internal/RapidJsonSupport.h - RapidJSON set up for this library -*- C++ -*-===//
//
// The one place that includes RapidJSON: its configuration and the
// allocator its parser and writer use here.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_RAPIDJSONSUPPORT_H
#define ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_RAPIDJSONSUPPORT_H

#include <cstdlib>
#include <new>

// RapidJSON stays inside this library: nothing of it reaches the public
// header, and its symbols are hidden with the rest.
#include <rapidjson/error/error.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

/// RapidJSON's allocator concept over malloc, raising std::bad_alloc where
/// RapidJSON's own would answer null (which it does not check).
class ThrowingAllocator {
public:
  static const bool kNeedFree = true;
  void *Malloc(std::size_t size) {
    if (size == 0)
      return nullptr;
    void *block = std::malloc(size);
    if (block == nullptr)
      throw std::bad_alloc();
    return block;
  }
  void *Realloc(void *block, std::size_t, std::size_t newSize) {
    if (newSize == 0) {
      std::free(block);
      return nullptr;
    }
    void *moved = std::realloc(block, newSize);
    if (moved == nullptr)
      throw std::bad_alloc();
    return moved;
  }
  static void Free(void *block) { std::free(block); }
};

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_RAPIDJSONSUPPORT_H

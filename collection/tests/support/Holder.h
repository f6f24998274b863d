//===- Holder.h - Owning handles for values made in tests -------*- C++ -*-===//
#ifndef COLLECTION_TESTS_SUPPORT_HOLDER_H
#define COLLECTION_TESTS_SUPPORT_HOLDER_H

#include <Runtime/Ref.h>

#include <utility>

namespace CollectionTest {

/// Adopts a value made with `new`, so that a test releases it on every path.
template <typename T, typename... Args> Zorbin::Tessel::Runtime::Ref<T> Make(Args &&...args) {
  return Zorbin::Tessel::Runtime::Ref<T>(new T(std::forward<Args>(args)...));
}

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_HOLDER_H

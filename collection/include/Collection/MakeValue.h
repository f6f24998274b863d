//===- Collection/MakeValue.h - Value factories -----------------*- C++ -*-===//
//
// MakeValue: one factory per native type a client may want to store.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_MAKEVALUE_H
#define ZORBIN_TESSEL_COLLECTION_MAKEVALUE_H

#include <Collection/BasicData.h>
#include <Collection/Export.h>
#include <Collection/Value.h>
#include <Runtime/Object.h>
#include <Runtime/Ref.h>

#include <string>
#include <type_traits>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// Each overload makes a new value of the kind its argument calls for and
/// returns a handle that owns the value's only reference: the value dies when
/// the handle and its copies are gone and no container holds it.
///
/// | argument                  | kind made                            |
/// |---------------------------|--------------------------------------|
/// | `bool`                    | `Boolean` (a new object, never `Boolean::True()` or `False()`) |
/// | `short`, `unsigned short`, `int`, `long` | `Number` of type `Int` |
/// | `unsigned int`, `unsigned long` | `Number` of type `UnsignedInt` |
/// | `float` / `double`        | `Number` of type `Float` / `Double`  |
/// | `const std::string&`, `const char*` | `String` holding a copy of the text |
/// | `const Container::basic_data<unsigned char>&` | `Data` holding a copy of the bytes |
/// | `void*`                   | `Data` holding the pointer's own `sizeof(void*)` bytes; `PointerValue` gives the pointer back |
/// | `const Runtime::Object&`  | `Object` wrapping that object, which gains one reference |
///
/// `long` and `unsigned long` are 32-bit quantities, as everywhere in the
/// library: where the platform's `long` is wider, the value is kept to its
/// low 32 bits, exactly as an `int` or `unsigned int` of the same bits.
///
/// Failure: when the native allocator has no block for the value itself the
/// result is an empty handle and nothing is raised, so a caller that may meet
/// an exhausted allocator tests the handle. When copying the text or the
/// bytes fails, the value's block goes back to the allocator and the
/// std::bad_alloc of the copy propagates. `MakeValue(const char*)` needs a
/// zero-terminated string; a null pointer is not allowed.
///
/// A pointer to const data other than `char` (`const int*`, `const void*`,
/// `const unsigned char*`...) is refused at compile time: it fits no
/// overload but would otherwise become a `Boolean` through the pointer's
/// conversion to `bool`. A pointer to non-const data goes to
/// `MakeValue(void*)`.
///
/// Complexity: O(1), plus the copy of the text or bytes.
COLLECTION_API Runtime::Ref<const Value> MakeValue(bool value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(short value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(unsigned short value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(int value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(long value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(unsigned int value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(unsigned long value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(float value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(double value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(const std::string &value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(const char *value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(const Container::basic_data<unsigned char> &value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(void *value);
COLLECTION_API Runtime::Ref<const Value> MakeValue(const Runtime::Object &value);

/// Refuses a pointer to const data other than `char` (see above).
template <typename T,
          typename = std::enable_if_t<std::is_const<T>::value && !std::is_same<std::remove_cv_t<T>, char>::value>>
Runtime::Ref<const Value> MakeValue(T *value) = delete;

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_MAKEVALUE_H

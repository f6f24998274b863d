//===- MakeValue.cpp - Value factories ------------------------------------===//

#include <Collection/MakeValue.h>

#include <Collection/Boolean.h>
#include <Collection/Data.h>
#include <Collection/Number.h>
#include <Collection/Object.h>
#include <Collection/String.h>

#include <utility>

namespace Zorbin {
namespace Tessel {
namespace Collection {

namespace {

// The one way every factory makes its value. A value's operator new answers
// null when the native allocator is exhausted, and the new-expression then
// constructs nothing: the handle comes back empty. When the constructor
// throws, the new-expression hands the block back through the value's
// operator delete before the exception goes on.
template <typename Kind, typename... Arguments> Runtime::Ref<const Value> Make(Arguments &&...arguments) {
  return Runtime::Ref<const Value>(new Kind(std::forward<Arguments>(arguments)...));
}

} // namespace

Runtime::Ref<const Value> MakeValue(bool value) { return Make<Boolean>(value); }
Runtime::Ref<const Value> MakeValue(short value) { return Make<Number>(static_cast<long>(value)); }
Runtime::Ref<const Value> MakeValue(unsigned short value) { return Make<Number>(static_cast<long>(value)); }
Runtime::Ref<const Value> MakeValue(int value) { return Make<Number>(static_cast<long>(value)); }
Runtime::Ref<const Value> MakeValue(long value) { return Make<Number>(value); }
Runtime::Ref<const Value> MakeValue(unsigned int value) { return Make<Number>(static_cast<unsigned long>(value)); }
Runtime::Ref<const Value> MakeValue(unsigned long value) { return Make<Number>(value); }
Runtime::Ref<const Value> MakeValue(float value) { return Make<Number>(value); }
Runtime::Ref<const Value> MakeValue(double value) { return Make<Number>(value); }
Runtime::Ref<const Value> MakeValue(const std::string &value) { return Make<String>(value); }
Runtime::Ref<const Value> MakeValue(const char *value) { return Make<String>(std::string(value)); }
Runtime::Ref<const Value> MakeValue(const Container::basic_data<unsigned char> &value) { return Make<Data>(value); }
Runtime::Ref<const Value> MakeValue(void *value) { return Make<Data>(&value, sizeof value); }
Runtime::Ref<const Value> MakeValue(const Runtime::Object &value) { return Make<Object>(value); }

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

//===- ValueForest.h - Random nested dictionaries from fuzz input -*- C++ -*-===//
//
// Fuzz support: builds nested dictionaries (with numbers, strings, the null
// value, arrays and shared sub-dictionaries in them) from the fuzzer's bytes.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_FUZZ_VALUEFOREST_H
#define COLLECTION_FUZZ_VALUEFOREST_H

#include "FuzzCheck.h"

#include "support/Shape.h"

#include <Collection/Array.h>
#include <Collection/Dictionary.h>
#include <Collection/MakeValue.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

namespace CollectionFuzz {

using CollectionTest::Matches;
using CollectionTest::Shape;
using CollectionTest::ShapeOf;

/// Makes values from the fuzzer's bytes and keeps one handle on each, so
/// that none of them dies (and no address is reused) while a target runs.
class ValueForest {
public:
  explicit ValueForest(FuzzedDataProvider &input) : m_input(input) {}

  /// A short key over the letters a and b and the dot, the empty key
  /// included, so that keys with dots meet paths that cut them.
  std::string Key() {
    static const char letters[] = {'a', 'b', '.'};
    std::string key(m_input.ConsumeIntegralInRange<std::size_t>(0, 3), 'a');
    for (char &c : key)
      c = letters[m_input.ConsumeIntegralInRange<std::size_t>(0, 2)];
    return key;
  }

  /// A new dictionary with up to `width` entries; below `depth` levels its
  /// entries may be dictionaries too, new ones or ones made before.
  Collection::Dictionary &NewDictionary(int depth, std::size_t width = 4) {
    auto &dictionary = Keep(new Collection::Dictionary);
    const std::size_t count = m_input.ConsumeIntegralInRange<std::size_t>(0, width);
    for (std::size_t i = 0; i < count && m_input.remaining_bytes() != 0; ++i) {
      const std::string key = Key();
      dictionary.SetValueForKey(key, NewValue(depth));
    }
    m_dictionaries.push_back(&dictionary);
    return dictionary;
  }

  /// A value of a random kind; dictionaries only while `depth` is above 0.
  const Collection::Value &NewValue(int depth) {
    switch (m_input.ConsumeIntegralInRange(0, depth > 0 ? 7 : 3)) {
    case 0:
      return Keep(Collection::MakeValue(m_input.ConsumeIntegral<int>()).Detach());
    case 1:
      return Keep(Collection::MakeValue(Key()).Detach());
    case 2:
      return Collection::Value::Null();
    case 3: {
      // An array never leads a key path on, whatever it holds.
      auto &array = Keep(new Collection::Array);
      if (!m_dictionaries.empty())
        array.AddValue(*m_dictionaries[m_input.ConsumeIntegralInRange<std::size_t>(0, m_dictionaries.size() - 1)]);
      return array;
    }
    case 4:
      if (!m_dictionaries.empty())
        return *m_dictionaries[m_input.ConsumeIntegralInRange<std::size_t>(0, m_dictionaries.size() - 1)];
      [[fallthrough]];
    default:
      return NewDictionary(depth - 1);
    }
  }

  /// Every value made so far, one handle each.
  std::vector<const Collection::Value *> Handles() const {
    std::vector<const Collection::Value *> handles;
    for (const auto &value : m_made)
      handles.push_back(value.Get());
    return handles;
  }

  /// Every dictionary made so far.
  const std::vector<const Collection::Dictionary *> &Dictionaries() const { return m_dictionaries; }

private:
  // Adopts the creator's reference of a freshly made value.
  template <typename Kind> Kind &Keep(Kind *fresh) {
    FUZZ_CHECK(fresh != nullptr);
    m_made.emplace_back(fresh);
    return *fresh;
  }

  FuzzedDataProvider &m_input;
  std::vector<Runtime::Ref<const Collection::Value>> m_made;
  std::vector<const Collection::Dictionary *> m_dictionaries;
};

} // namespace CollectionFuzz

#endif // COLLECTION_FUZZ_VALUEFOREST_H

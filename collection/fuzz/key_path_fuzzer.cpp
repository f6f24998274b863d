//===- key_path_fuzzer.cpp - Key paths against a model of nested dictionaries -===//
//
// Builds random nested dictionaries (keys over a, b and the dot; numbers,
// strings, the null value, arrays and shared sub-dictionaries as values) and
// follows random paths through them, comparing the very object that
// GetValueForKeyPath answers with a walk over a plain tree of the same
// entries.
//
//===----------------------------------------------------------------------===//

#include "ValueForest.h"

#include <cstdint>
#include <string>

namespace {

using namespace CollectionFuzz;
using Collection::Value;

// The path cut at every dot; a path without a dot is one component.
std::vector<std::string> Components(const std::string &path) {
  std::vector<std::string> components(1);
  for (char c : path) {
    if (c == '.')
      components.emplace_back();
    else
      components.back() += c;
  }
  return components;
}

// What the walk meets under `key` in `shape`: only a dictionary has entries.
const Shape *Lookup(const Shape &shape, const std::string &key) {
  if (!shape.dictionary)
    return nullptr;
  auto found = shape.entries.find(key);
  return found != shape.entries.end() ? &found->second : nullptr;
}

const Value *Follow(const Shape &root, const std::string &path) {
  const std::vector<std::string> components = Components(path);
  const Shape *current = &root;
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    current = Lookup(*current, components[i]);
    if (current == nullptr || current->object == &Value::Null())
      return &Value::Null(); // the walk cannot go on
  }
  const Shape *last = Lookup(*current, components.back());
  return last != nullptr ? last->object : &Value::Null();
}

std::string Path(FuzzedDataProvider &input) {
  static const char letters[] = {'a', 'b', '.'};
  std::string path(input.ConsumeIntegralInRange<std::size_t>(0, 8), 'a');
  for (char &c : path)
    c = letters[input.ConsumeIntegralInRange<std::size_t>(0, 2)];
  return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  ValueForest forest(input);
  const Collection::Dictionary &root = forest.NewDictionary(4, 6);
  const Shape model = ShapeOf(root);
  while (input.remaining_bytes() != 0) {
    const std::string path = Path(input);
    FUZZ_CHECK(&root.GetValueForKeyPath(path) == Follow(model, path));
  }
  CheckReferenceCounts(forest.Handles());
  return 0;
}

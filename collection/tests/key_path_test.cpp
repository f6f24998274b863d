//===- key_path_test.cpp - Dotted paths through nested dictionaries -------===//

#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;

namespace {

// Remembers every key it is asked for, to show which lookups a path makes.
class Witness : public Dictionary {
public:
  mutable std::vector<std::string> asked;
  const Value &GetValueForKey(const std::string &key) const override {
    asked.push_back(key);
    return Dictionary::GetValueForKey(key);
  }

protected:
  ~Witness() override = default;
};

// root[key] = a new dictionary, returned for filling.
Runtime::Ref<Dictionary> Child(Dictionary &parent, const std::string &key) {
  auto child = Make<Dictionary>();
  parent.SetValueForKey(key, *child);
  return child;
}

TEST(KeyPathTest, EachComponentLooksIntoTheValueBefore) {
  const Runtime::Ref<const Value> n[] = {MakeValue(0), MakeValue(1), MakeValue(2), MakeValue(3),
                                         MakeValue(4), MakeValue(5), MakeValue(6)};
  const std::string outer(40, 'o');
  const std::string inner(300, 'i');
  // {width: 0, "a.b": 1, a: {b: 2, "": {b: 3}}, "": {a: 4}, x: {y: {z: {leaf: 5}}},
  //  b: 6, list: [0], text: "b", nothing: null, outer: {inner: 6}}
  auto root = Make<Dictionary>();
  root->SetValueForKey("width", *n[0]);
  root->SetValueForKey("a.b", *n[1]);
  auto a = Child(*root, "a");
  a->SetValueForKey("b", *n[2]);
  auto unnamed = Child(*a, "");
  unnamed->SetValueForKey("b", *n[3]);
  auto rootUnnamed = Child(*root, "");
  rootUnnamed->SetValueForKey("a", *n[4]);
  auto z = Child(*Child(*Child(*root, "x"), "y"), "z");
  z->SetValueForKey("leaf", *n[5]);
  root->SetValueForKey("b", *n[6]);
  auto list = Make<Array>();
  list->AddValue(*n[0]);
  root->SetValueForKey("list", *list);
  root->SetValueForKey("text", *MakeValue("b"));
  root->SetValueForKey("nothing", Value::Null());
  Child(*root, outer)->SetValueForKey(inner, *n[6]);

  const Value *null = &Value::Null();
  const struct {
    std::string path;
    const Value *expected;
  } paths[] = {
      {"width", n[0].Get()},
      {"height", null},
      {"", rootUnnamed.Get()}, // the empty path is the empty key
      {"a.b", n[2].Get()},     // a path, never the key "a.b"
      {"x.y.z.leaf", n[5].Get()},
      {"x.y.z", z.Get()},
      {"a.missing", null},
      {"a.b.c", null}, // scalars and arrays have no entries
      {"list.0", null},
      {"text.b", null},
      // Empty components are the empty key.
      {"a.", unnamed.Get()},
      {"a..b", n[3].Get()},
      {".a", n[4].Get()},
      {".b", null},
      // The walk ends at the first missing step: were it skipped, these
      // would read b of the root itself.
      {"missing.b", null},
      {"nothing.b", null},
      {"nothing..b", null},
      {outer + "." + inner, n[6].Get()},
      {outer + "." + inner + "x", null},
  };
  for (const auto &path : paths) {
    SCOPED_TRACE(path.path.substr(0, 40));
    EXPECT_EQ(&root->GetValueForKeyPath(path.path), path.expected);
  }
  EXPECT_EQ(&(*root)["a.b"], n[1].Get());
}

TEST(KeyPathTest, EveryStepGoesThroughTheVirtualLookupAndNothingFollowsAMissingOne) {
  auto two = MakeValue(2);
  auto witness = Make<Witness>();
  auto nested = Make<Witness>();
  witness->SetValueForKey("view", *nested);
  nested->SetValueForKey("zoom", *two);
  EXPECT_EQ(&witness->GetValueForKeyPath("view.zoom"), two.Get());
  EXPECT_EQ(witness->asked, std::vector<std::string>({"view"}));
  EXPECT_EQ(nested->asked, std::vector<std::string>({"zoom"}));
  EXPECT_EQ(&witness->GetValueForKeyPath("view"), nested.Get());
  EXPECT_EQ(witness->asked.back(), "view");

  witness->asked.clear();
  witness->SetValueForKey("b", *two);
  EXPECT_EQ(&witness->GetValueForKeyPath("missing.b.c"), &Value::Null());
  EXPECT_EQ(witness->asked, std::vector<std::string>({"missing"}));
}

} // namespace

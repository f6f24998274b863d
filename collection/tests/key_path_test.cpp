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

struct KeyPathTest : ::testing::Test {
  Runtime::Ref<Dictionary> root = Make<Dictionary>();
  Runtime::Ref<const Value> one = MakeValue(1);
  Runtime::Ref<const Value> two = MakeValue(2);

  // root[key] = a new dictionary, returned for filling.
  Runtime::Ref<Dictionary> Child(Dictionary &parent, const std::string &key) {
    auto child = Make<Dictionary>();
    parent.SetValueForKey(key, *child);
    return child;
  }
};

TEST_F(KeyPathTest, APathWithoutADotIsOneKey) {
  root->SetValueForKey("width", *one);
  EXPECT_EQ(&root->GetValueForKeyPath("width"), one.Get());
  EXPECT_EQ(&root->GetValueForKeyPath("height"), &Value::Null());
  // The empty path is the empty key.
  EXPECT_EQ(&root->GetValueForKeyPath(""), &Value::Null());
  root->SetValueForKey("", *two);
  EXPECT_EQ(&root->GetValueForKeyPath(""), two.Get());
}

TEST_F(KeyPathTest, EachComponentLooksIntoTheValueBefore) {
  auto a = Child(*root, "a");
  a->SetValueForKey("b", *one);
  auto deep = Child(*Child(*Child(*root, "x"), "y"), "z");
  deep->SetValueForKey("leaf", *two);
  EXPECT_EQ(&root->GetValueForKeyPath("a.b"), one.Get());
  EXPECT_EQ(&root->GetValueForKeyPath("x.y.z.leaf"), two.Get());
  EXPECT_EQ(&root->GetValueForKeyPath("x.y.z"), deep.Get());
  EXPECT_EQ(&root->GetValueForKeyPath("a.missing"), &Value::Null());
  // 1 is a number: it has no entries.
  EXPECT_EQ(&root->GetValueForKeyPath("a.b.c"), &Value::Null());
}

TEST_F(KeyPathTest, LongComponentsAreFound) {
  const std::string outer(40, 'o');
  const std::string inner(300, 'i');
  Child(*root, outer)->SetValueForKey(inner, *one);
  EXPECT_EQ(&root->GetValueForKeyPath(outer + "." + inner), one.Get());
  EXPECT_EQ(&root->GetValueForKeyPath(outer + "." + inner + "x"), &Value::Null());
}

TEST_F(KeyPathTest, ScalarsAndArraysHaveNoEntries) {
  auto list = Make<Array>();
  list->AddValue(*one);
  root->SetValueForKey("list", *list);
  root->SetValueForKey("number", *one);
  root->SetValueForKey("text", *MakeValue("b"));
  EXPECT_EQ(&root->GetValueForKeyPath("list.0"), &Value::Null());
  EXPECT_EQ(&root->GetValueForKeyPath("number.b"), &Value::Null());
  EXPECT_EQ(&root->GetValueForKeyPath("text.b"), &Value::Null());
  EXPECT_EQ(&root->GetValueForKeyPath("number.b.c"), &Value::Null());
}

TEST_F(KeyPathTest, EmptyComponentsAreTheEmptyKey) {
  auto a = Child(*root, "a");
  a->SetValueForKey("", *one);
  EXPECT_EQ(&root->GetValueForKeyPath("a."), one.Get());
  // a..b: a, then its empty key, then b.
  auto unnamed = Child(*a, "");
  unnamed->SetValueForKey("b", *two);
  EXPECT_EQ(&root->GetValueForKeyPath("a..b"), two.Get());
  EXPECT_EQ(&root->GetValueForKeyPath("a."), unnamed.Get());
  // A leading dot reads this dictionary's empty key first.
  Child(*root, "")->SetValueForKey("a", *one);
  EXPECT_EQ(&root->GetValueForKeyPath(".a"), one.Get());
  EXPECT_EQ(&root->GetValueForKeyPath(".b"), &Value::Null());
}

TEST_F(KeyPathTest, AKeyHoldingADotIsReachedOnlyWhole) {
  root->SetValueForKey("a.b", *one);
  Child(*root, "a")->SetValueForKey("b", *two);
  EXPECT_EQ(&root->GetValueForKeyPath("a.b"), two.Get());
  EXPECT_EQ(&root->GetValueForKey("a.b"), one.Get());
  EXPECT_EQ(&(*root)["a.b"], one.Get());
}

TEST_F(KeyPathTest, TheWalkEndsAtTheFirstMissingStep) {
  // Were a missing step skipped, "a.b" would read b of the root itself.
  root->SetValueForKey("b", *one);
  EXPECT_EQ(&root->GetValueForKeyPath("a.b"), &Value::Null());
  root->SetValueForKey("a", Value::Null());
  EXPECT_EQ(&root->GetValueForKeyPath("a.b"), &Value::Null());
  EXPECT_EQ(&root->GetValueForKeyPath("a..b"), &Value::Null());
  Child(*root, "c")->SetValueForKey("b", Value::Null());
  EXPECT_EQ(&root->GetValueForKeyPath("c.b.b"), &Value::Null());

  // And nothing is looked up after it.
  auto witness = Make<Witness>();
  witness->SetValueForKey("b", *one);
  EXPECT_EQ(&witness->GetValueForKeyPath("missing.b.c"), &Value::Null());
  EXPECT_EQ(witness->asked, std::vector<std::string>({"missing"}));
}

TEST_F(KeyPathTest, EveryStepGoesThroughTheVirtualLookup) {
  auto witness = Make<Witness>();
  auto nested = Make<Witness>();
  witness->SetValueForKey("view", *nested);
  nested->SetValueForKey("zoom", *two);
  EXPECT_EQ(&witness->GetValueForKeyPath("view.zoom"), two.Get());
  EXPECT_EQ(witness->asked, std::vector<std::string>({"view"}));
  EXPECT_EQ(nested->asked, std::vector<std::string>({"zoom"}));
  EXPECT_EQ(&witness->GetValueForKeyPath("view"), nested.Get());
  EXPECT_EQ(witness->asked.back(), "view");
}

} // namespace

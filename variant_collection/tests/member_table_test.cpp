//===- member_table_test.cpp - Ordered members with a key index -----------===//

#include "MemberTable.h"

#include "support/CountingStdAllocator.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

using VariantCollection::MemberTable;

namespace {

struct FakeItem {
  std::string name;
  bool keyed = false;
  std::string key;

  bool HasKey() const noexcept { return keyed; }
  std::string_view KeyBytes() const noexcept { return key; }
};

/// Items with stable addresses for the tables under test.
class Items {
public:
  FakeItem *Keyed(const std::string &name, const std::string &key) {
    m_items.push_back(FakeItem{name, true, key});
    return &m_items.back();
  }
  FakeItem *Plain(const std::string &name) {
    m_items.push_back(FakeItem{name, false, std::string()});
    return &m_items.back();
  }

private:
  std::deque<FakeItem> m_items;
};

template <class Table> std::vector<std::string> Names(const Table &table) {
  std::vector<std::string> names;
  table.ForEach([&names](FakeItem *item) { names.push_back(item->name); });
  return names;
}

/// Position i (1-based) agrees with the order ForEach gives, and every key
/// finds its member.
template <class Table> void ExpectConsistent(const Table &table) {
  std::vector<FakeItem *> order;
  table.ForEach([&order](FakeItem *item) { order.push_back(item); });
  ASSERT_EQ(order.size(), table.Count());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i], table.At(static_cast<std::uint32_t>(i + 1))) << "position " << i + 1;
    if (order[i]->HasKey()) {
      EXPECT_EQ(order[i], table.Find(order[i]->KeyBytes()));
    }
  }
  EXPECT_EQ(nullptr, table.At(0));
  EXPECT_EQ(nullptr, table.At(table.Count() + 1));
}

// After each step the table holds the listed members in order, each at its
// position and each key finding its member.
TEST(MemberTable, AddsReplacesAndRemovesInOrder) {
  Items items;
  MemberTable<FakeItem> table;
  EXPECT_EQ(nullptr, table.At(1));
  EXPECT_EQ(nullptr, table.Find("a"));
  FakeItem *const v = items.Keyed("v", "a");
  FakeItem *const z = items.Keyed("z", "a");
  FakeItem *const w = items.Plain("w");
  const struct {
    const char *step;
    std::function<FakeItem *()> apply;
    const char *answer; // the name of the member the step answers, "" for none
    std::vector<std::string> names;
  } steps[] = {
      {"add v under a", [&] { return table.Add(v); }, "", {"v"}},
      {"add w without a key", [&] { return table.Add(w); }, "", {"v", "w"}},
      {"add x under ''", [&] { return table.Add(items.Keyed("x", "")); }, "", {"v", "w", "x"}},
      // Keys are exact bytes.
      {"add under A", [&] { return table.Add(items.Keyed("A", "A")); }, "", {"v", "w", "x", "A"}},
      {"add under k\\0y",
       [&] { return table.Add(items.Keyed("nul", std::string("k\0y", 3))); },
       "",
       {"v", "w", "x", "A", "nul"}},
      {"add under k", [&] { return table.Add(items.Keyed("k", "k")); }, "", {"v", "w", "x", "A", "nul", "k"}},
      // A present key: the member is replaced and the key moves to the end.
      {"add z under a", [&] { return table.Add(z); }, "v", {"w", "x", "A", "nul", "k", "z"}},
      {"remove k", [&] { return table.Remove("k"); }, "k", {"w", "x", "A", "nul", "z"}},
      {"remove k again", [&] { return table.Remove("k"); }, "", {"w", "x", "A", "nul", "z"}},
      {"remove at 1", [&] { return table.RemoveAt(1); }, "w", {"x", "A", "nul", "z"}},
      {"remove a keyed one at 2", [&] { return table.RemoveAt(2); }, "A", {"x", "nul", "z"}},
      {"remove at 0", [&] { return table.RemoveAt(0); }, "", {"x", "nul", "z"}},
      {"remove past the end", [&] { return table.RemoveAt(4); }, "", {"x", "nul", "z"}},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.step);
    FakeItem *answer = step.apply();
    EXPECT_EQ(step.answer, std::string(answer != nullptr ? answer->name : ""));
    EXPECT_EQ(step.names, Names(table));
    ExpectConsistent(table);
  }
  EXPECT_EQ("nul", table.Find(std::string_view("k\0y", 3))->name);
  EXPECT_EQ("z", table.Find("a")->name);
  for (std::string_view missing : {std::string_view("A"), std::string_view("K"), std::string_view("k\0", 2)})
    EXPECT_EQ(nullptr, table.Find(missing)) << missing;
}

// Removing most members compacts the sequence and renumbers the key index;
// positions and keys must survive every compaction.
TEST(MemberTable, StaysConsistentThroughCompactions) {
  Items items;
  MemberTable<FakeItem> table;
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    table.Add(i % 3 == 0 ? items.Plain("p" + std::to_string(i))
                         : items.Keyed("k" + std::to_string(i), "key" + std::to_string(i)));
    expected.push_back(i % 3 == 0 ? "p" + std::to_string(i) : "k" + std::to_string(i));
  }
  // Alternate removals from the front, the middle and by key.
  for (int round = 0; round < 250; ++round) {
    std::uint32_t position = round % 3 == 0 ? 1 : (table.Count() + 1) / 2;
    FakeItem *removed = table.RemoveAt(position);
    ASSERT_NE(nullptr, removed);
    ASSERT_EQ(expected[position - 1], removed->name);
    expected.erase(expected.begin() + (position - 1));
    if (round % 25 == 0)
      ExpectConsistent(table);
  }
  EXPECT_EQ(expected, Names(table));
  ExpectConsistent(table);
  while (table.Count() > 0)
    table.RemoveAt(table.Count());
  EXPECT_EQ(nullptr, table.At(1));
  table.Add(items.Keyed("again", "key1"));
  EXPECT_EQ("again", table.Find("key1")->name);
  ExpectConsistent(table);
}

// Many keys in a small index: probe runs wrap around and removals must move
// later keys back so that every key stays reachable.
TEST(MemberTable, KeyIndexSurvivesRemovalsInsideProbeRuns) {
  Items items;
  MemberTable<FakeItem> table;
  for (int i = 0; i < 2000; ++i)
    table.Add(items.Keyed(std::to_string(i), "key" + std::to_string(i)));
  for (int i = 0; i < 2000; i += 3)
    ASSERT_NE(nullptr, table.Remove("key" + std::to_string(i)));
  for (int i = 0; i < 2000; ++i) {
    FakeItem *found = table.Find("key" + std::to_string(i));
    if (i % 3 == 0) {
      EXPECT_EQ(nullptr, found) << i;
    } else {
      ASSERT_NE(nullptr, found) << i;
    }
  }
  ExpectConsistent(table);
}

using CountedTable = MemberTable<FakeItem, ServerTest::CountingStdAllocator<FakeItem *>>;

// Every allocation of Add may fail; the table must then be exactly as
// before and stay usable. Tables of every size up to a few growth steps
// put each of Add's allocations (sequence, position counters, key index)
// in the way.
TEST(MemberTable, AddHasTheStrongGuaranteeWhenMemoryRunsOut) {
  Items items;
  ServerTest::AllocationCounter allocator;
  int failures = 0;
  for (int size = 0; size < 70; ++size) {
    for (int kind = 0; kind < 3; ++kind) {
      for (std::uint64_t nth = 1; nth <= 3; ++nth) {
        CountedTable table;
        for (int i = 0; i < size; ++i)
          table.Add(i % 2 ? items.Plain("p" + std::to_string(i))
                          : items.Keyed("k" + std::to_string(i), std::to_string(i)));
        const std::vector<std::string> before = Names(table);
        FakeItem *candidate = kind == 0   ? items.Keyed("new", "fresh")
                              : kind == 1 ? items.Keyed("dup", "0")
                                          : items.Plain("plain");
        allocator.FailNth(nth);
        bool threw = false;
        try {
          table.Add(candidate);
        } catch (const std::bad_alloc &) {
          threw = true;
        }
        allocator.Heal();
        if (!threw)
          continue;
        ++failures;
        ASSERT_EQ(before, Names(table)) << "size " << size << " kind " << kind << " nth " << nth;
        ExpectConsistent(table);
        table.Add(items.Plain("after"));
        ExpectConsistent(table);
      }
    }
  }
  EXPECT_GT(failures, 50);
  EXPECT_EQ(0u, allocator.LiveBlocks());
}

TEST(MemberTable, GivesMemoryBackWhenMembersAreRemoved) {
  Items items;
  ServerTest::AllocationCounter allocator;
  {
    CountedTable table;
    for (int i = 0; i < 5000; ++i)
      table.Add(items.Keyed(std::to_string(i), std::to_string(i)));
    const std::size_t full = allocator.LiveBytes();
    for (int i = 0; i < 4990; ++i)
      table.RemoveAt(1);
    ExpectConsistent(table);
    // The sequence, the position counters and the key index shrink to
    // what ten members need.
    EXPECT_LT(allocator.LiveBytes(), full / 50);
  }
  EXPECT_EQ(0u, allocator.LiveBlocks());
}

} // namespace

//===- MemberTable.h - Ordered members with a key index ---------*- C++ -*-===//
//
// MemberTable: the ordered sequence of a collection's members, indexed by
// position and by key, so that the collection's operations stay fast with a
// million members.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_MEMBERTABLE_H
#define VARIANT_COLLECTION_MEMBERTABLE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace VariantCollection {

/// An ordered sequence of item pointers, oldest first, reachable by 1-based
/// position and by key. Keys are byte strings compared exactly (same length,
/// same bytes); an item without a key is reachable by position only. No two
/// members have the same key: adding an item whose key is present replaces
/// the old member, and the new one goes to the end of the order.
///
/// The table neither owns nor counts references on its items: it hands every
/// item that leaves it back to the caller. An item must keep its key
/// unchanged while it is a member.
///
/// `Item` must offer `bool HasKey() const noexcept` and
/// `std::string_view KeyBytes() const noexcept`.
///
/// Complexity: keyed `Find`, `Add`, `Exchange` and `Remove` are O(1) on average
/// (O(length of the key) for hashing); `At` and `RemoveAt` are O(log n);
/// `Add` is amortised O(1) apart from hashing; `ForEach` is O(n); `Swap` is
/// O(1). Memory is O(n): removed members leave a gap that is reclaimed once
/// gaps make up more than half of the sequence.
///
/// Exceptions: `Add` may throw what the allocator throws (std::bad_alloc)
/// and then leaves the table as it was (strong guarantee). Everything else
/// never throws.
template <class Item, class Allocator = std::allocator<Item *>> class MemberTable {
public:
  MemberTable() = default;
  explicit MemberTable(const Allocator &allocator) : m_entries(allocator), m_tree(allocator), m_slots(allocator) {}
  MemberTable(const MemberTable &) = delete;
  MemberTable &operator=(const MemberTable &) = delete;

  /// The number of members.
  std::uint32_t Count() const noexcept { return m_count; }

  /// The member at 1-based `position`, or null when `position` is 0 or
  /// above Count().
  Item *At(std::uint32_t position) const noexcept {
    if (position == 0 || position > m_count)
      return nullptr;
    return m_entries[NthLive(position)];
  }

  /// The member whose key is `key`, or null.
  Item *Find(std::string_view key) const noexcept {
    const std::size_t slot = FindSlot(key, HashOf(key));
    return slot == kNoSlot ? nullptr : m_entries[m_slots[slot].entry];
  }

  /// Appends `item` (not null, not a member). When a member has the same
  /// key, that member leaves the table and is returned; otherwise null.
  Item *Add(Item *item) {
    const bool keyed = item->HasKey();
    const std::string_view key = keyed ? item->KeyBytes() : std::string_view();
    const std::uint32_t hash = keyed ? HashOf(key) : 0;
    const std::size_t slot = keyed ? FindSlot(key, hash) : kNoSlot;
    if (keyed && slot == kNoSlot)
      ReserveSlots(m_keyed + 1);
    m_entries.push_back(item);
    try {
      AppendTreeNode();
    } catch (...) {
      m_entries.pop_back();
      throw;
    }
    // Nothing below allocates.
    const std::uint32_t entry = static_cast<std::uint32_t>(m_entries.size() - 1);
    ++m_count;
    if (!keyed)
      return nullptr;
    if (slot == kNoSlot) {
      InsertSlot(hash, entry);
      return nullptr;
    }
    const std::uint32_t oldEntry = m_slots[slot].entry;
    Item *displaced = m_entries[oldEntry];
    m_slots[slot].entry = entry;
    Unlink(oldEntry);
    return displaced;
  }

  /// Puts `item` (keyed, not a member) in the place of the member with the
  /// same key and returns that member, which leaves the table; null, with
  /// nothing changed, when no member has the key. O(1) on average.
  Item *Exchange(Item *item) noexcept {
    const std::string_view key = item->KeyBytes();
    const std::size_t slot = item->HasKey() ? FindSlot(key, HashOf(key)) : kNoSlot;
    if (slot == kNoSlot)
      return nullptr;
    Item *&place = m_entries[m_slots[slot].entry];
    Item *displaced = place;
    place = item;
    return displaced;
  }

  /// Removes the member whose key is `key` and returns it, or null.
  Item *Remove(std::string_view key) noexcept {
    const std::size_t slot = FindSlot(key, HashOf(key));
    if (slot == kNoSlot)
      return nullptr;
    const std::uint32_t entry = m_slots[slot].entry;
    EraseSlot(slot);
    return Unlink(entry);
  }

  /// Removes the member at 1-based `position` and returns it, or null when
  /// `position` is 0 or above Count().
  Item *RemoveAt(std::uint32_t position) noexcept {
    if (position == 0 || position > m_count)
      return nullptr;
    const std::uint32_t entry = NthLive(position);
    Item *item = m_entries[entry];
    if (item->HasKey()) {
      const std::string_view key = item->KeyBytes();
      EraseSlot(FindSlot(key, HashOf(key)));
    }
    return Unlink(entry);
  }

  /// Exchanges the members (and storage) of this table and `other`, whose
  /// allocator must compare equal to this one's. O(1).
  void Swap(MemberTable &other) noexcept {
    m_entries.swap(other.m_entries);
    m_tree.swap(other.m_tree);
    m_slots.swap(other.m_slots);
    std::swap(m_count, other.m_count);
    std::swap(m_keyed, other.m_keyed);
  }

  /// Calls `visit(Item *)` for every member, oldest first. `visit` must not
  /// change the table.
  template <class Visit> void ForEach(Visit &&visit) const {
    for (Item *item : m_entries)
      if (item != nullptr)
        visit(item);
  }

private:
  template <class T>
  using Vector = std::vector<T, typename std::allocator_traits<Allocator>::template rebind_alloc<T>>;

  /// One place of the open-addressing key index: the key's hash and the
  /// index of its entry, or kNoEntry for a free place.
  struct Slot {
    std::uint32_t hash;
    std::uint32_t entry;
  };

  static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
  static constexpr std::size_t kMinSlots = 16;

  static std::uint32_t HashOf(std::string_view key) noexcept {
    return static_cast<std::uint32_t>(std::hash<std::string_view>()(key));
  }
  static std::size_t LowBit(std::size_t i) noexcept { return i & (~i + 1); }

  // Positions: a Fenwick tree over the live flags of m_entries. m_tree[i]
  // (1-based) counts the live entries among the LowBit(i) entries ending at
  // entry i - 1; m_tree[0] is unused. m_tree holds m_entries.size() + 1
  // counters, or none while m_entries is empty.

  /// The number of live entries among the first `n` entries.
  std::uint32_t LiveBefore(std::size_t n) const noexcept {
    std::uint32_t sum = 0;
    for (; n > 0; n -= LowBit(n))
      sum += m_tree[n];
    return sum;
  }

  /// The index of the entry holding the `position`-th member
  /// (1 <= position <= m_count).
  std::uint32_t NthLive(std::uint32_t position) const noexcept {
    const std::size_t size = m_entries.size();
    std::size_t step = 1;
    while (step * 2 <= size)
      step *= 2;
    std::size_t index = 0;
    std::uint32_t remaining = position;
    for (; step > 0; step /= 2) {
      if (index + step <= size && m_tree[index + step] < remaining) {
        index += step;
        remaining -= m_tree[index];
      }
    }
    return static_cast<std::uint32_t>(index);
  }

  /// Adds the counter of the entry just appended (live).
  void AppendTreeNode() {
    if (m_tree.empty())
      m_tree.push_back(0);
    const std::size_t i = m_entries.size();
    m_tree.push_back(1 + LiveBefore(i - 1) - LiveBefore(i - LowBit(i)));
  }

  /// Marks entry `entry` removed and returns its item; compacts when
  /// removed entries make up more than half of the sequence.
  Item *Unlink(std::uint32_t entry) noexcept {
    Item *item = m_entries[entry];
    m_entries[entry] = nullptr;
    for (std::size_t i = entry + 1; i <= m_entries.size(); i += LowBit(i))
      --m_tree[i];
    --m_count;
    if (m_entries.size() - m_count > m_entries.size() / 2)
      Compact();
    return item;
  }

  /// Drops the removed entries, renumbers the key index and shrinks it
  /// when it has become much larger than the keys need. Keeps everything
  /// as it is when the new storage cannot be allocated.
  void Compact() noexcept {
    try {
      Vector<Item *> entries(m_entries.get_allocator());
      Vector<std::uint32_t> tree(m_tree.get_allocator());
      Vector<Slot> slots(m_slots.get_allocator());
      if (m_count > 0) {
        entries.reserve(m_count);
        tree.assign(m_count + std::size_t(1), 0);
      }
      const std::size_t wanted = SlotsFor(m_keyed);
      const bool shrink = wanted * 4 <= m_slots.size();
      if (shrink && m_keyed > 0)
        slots.assign(wanted, Slot{0, kNoEntry});
      // Nothing below allocates.
      for (Item *item : m_entries)
        if (item != nullptr)
          entries.push_back(item);
      for (std::size_t i = 1; i <= m_count; ++i)
        tree[i] = static_cast<std::uint32_t>(LowBit(i));
      for (Slot &slot : m_slots) {
        if (slot.entry == kNoEntry)
          continue;
        slot.entry = LiveBefore(slot.entry);
        if (!slots.empty())
          PlaceSlot(slots, slot);
      }
      m_entries.swap(entries);
      m_tree.swap(tree);
      if (shrink)
        m_slots.swap(slots);
    } catch (...) {
      // Out of memory: the gaps stay until a later removal succeeds.
    }
  }

  // Keys: open addressing with linear probing over a power-of-two number
  // of slots, at most half of them in use.

  std::size_t FindSlot(std::string_view key, std::uint32_t hash) const noexcept {
    if (m_slots.empty())
      return kNoSlot;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot &slot = m_slots[i];
      if (slot.entry == kNoEntry)
        return kNoSlot;
      if (slot.hash == hash && m_entries[slot.entry]->KeyBytes() == key)
        return i;
    }
  }

  /// The number of slots for `keys` keys: a power of two, at least twice
  /// `keys`.
  static std::size_t SlotsFor(std::size_t keys) noexcept {
    std::size_t size = kMinSlots;
    while (size < keys * 2)
      size *= 2;
    return size;
  }

  /// Puts `slot` into the first free place of its probe run in `slots`.
  static void PlaceSlot(Vector<Slot> &slots, const Slot &slot) noexcept {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = slot.hash & mask;
    while (slots[i].entry != kNoEntry)
      i = (i + 1) & mask;
    slots[i] = slot;
  }

  /// Makes room for `keys` keys.
  void ReserveSlots(std::size_t keys) {
    if (keys * 2 <= m_slots.size())
      return;
    Vector<Slot> slots(SlotsFor(keys), Slot{0, kNoEntry}, m_slots.get_allocator());
    for (const Slot &slot : m_slots)
      if (slot.entry != kNoEntry)
        PlaceSlot(slots, slot);
    m_slots.swap(slots);
  }

  /// Adds a key; room must have been reserved.
  void InsertSlot(std::uint32_t hash, std::uint32_t entry) noexcept {
    PlaceSlot(m_slots, Slot{hash, entry});
    ++m_keyed;
  }

  /// Frees slot `hole`, moving later slots of the same probe run back so
  /// that every key stays reachable from its home slot.
  void EraseSlot(std::size_t hole) noexcept {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = (hole + 1) & mask; m_slots[i].entry != kNoEntry; i = (i + 1) & mask) {
      const std::size_t home = m_slots[i].hash & mask;
      // The slot at i may fill the hole unless its home lies cyclically in
      // (hole, i].
      const bool homeBetween = hole <= i ? (hole < home && home <= i) : (hole < home || home <= i);
      if (!homeBetween) {
        m_slots[hole] = m_slots[i];
        hole = i;
      }
    }
    m_slots[hole].entry = kNoEntry;
    --m_keyed;
  }

  Vector<Item *> m_entries;
  Vector<std::uint32_t> m_tree;
  Vector<Slot> m_slots;
  std::uint32_t m_count = 0;
  std::uint32_t m_keyed = 0;
};

} // namespace VariantCollection

#endif // VARIANT_COLLECTION_MEMBERTABLE_H

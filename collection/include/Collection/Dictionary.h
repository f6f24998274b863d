//===- Collection/Dictionary.h - Keyed container of values ------*- C++ -*-===//
//
// Dictionary: the value kind that holds values under string keys, kept in
// key order, with dotted key paths and merging of whole dictionaries.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_DICTIONARY_H
#define ZORBIN_TESSEL_COLLECTION_DICTIONARY_H

#include <Collection/internal/NativeStlAllocator.h>
#include <Collection/Value.h>

#include <cstddef>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <utility>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// A set of entries, each a string key with one value; at most one entry per
/// key.
///
/// Keys: any `std::string` is a key, the empty string, strings holding "."
/// and strings holding any byte included; keys are never trimmed, folded or
/// otherwise normalised, and the dictionary keeps its own copy of each.
/// Entries are kept in ascending key order, comparing bytes as unsigned
/// 8-bit numbers, a prefix before its extensions: the empty key, "B", "a",
/// "ab", "b", then keys starting with a byte of 128 or above. Every walk over
/// the entries (printing, equality, `Apply`, copying, merging) follows it.
///
/// Values are shared, never copied: each entry holds one reference on its
/// value, taken when the entry gets the value and given back when it loses it
/// (replacement, removal, clearing, the dictionary's death). Copies and
/// merges copy keys and share value objects. A lookup returns a `const
/// Value&` valid as long as the dictionary holds that entry, and the null
/// value for a missing key: a missing key is never an error.
///
/// The map's nodes come from the native allocator; the keys are standard
/// strings. Lookup, insertion and removal by key are O(log n) key
/// comparisons; walks are O(n).
///
/// Derived classes take part: the key paths and the merges look up and store
/// entries of this dictionary through the virtual `GetValueForKey` and
/// `SetValueForKey`, and `GetValueForKey` answers through the virtual
/// `GetValueForKeyWithDefault`.
///
/// Range-for walks the stored entries in key order:
///
///     for (const auto &[key, value] : *settings) // const std::string&, const Value&
///       std::cout << key << " = " << value << '\n';
///
/// Dictionaries are made with `new` and die by their last `Release`. No lock
/// guards a dictionary: do not change it while another thread uses it.
/// Reading it from many threads at once is safe (see `Value`).
class COLLECTION_API Dictionary : public Value {
  using Entry = std::pair<const std::string, Runtime::Ref<const Value>>;
  using Entries = std::map<std::string, Runtime::Ref<const Value>, std::less<std::string>, NativeStlAllocator<Entry>>;

public:
  /// Visits the entries of a dictionary; see `Apply`.
  class COLLECTION_API Applier {
  public:
    virtual ~Applier();

    /// Called once per entry, in key order, with references into the
    /// dictionary. Answer true to go on, false to stop the walk. It must not
    /// change the dictionary being walked.
    virtual bool ApplyToEntry(const std::string &key, const Value &value) = 0;
  };

  /// A read-only, non-virtual iterator over the entries this dictionary
  /// stores, in key order. Dereferencing gives a pair of references made on
  /// the spot: `first` the key (`const std::string&`), `second` the value
  /// (`const Value&`), so `const auto &[key, value] = *it` binds both. It
  /// walks the storage itself: a derived class that answers lookups in its
  /// own way (overriding `GetValueForKeyWithDefault` or `Apply`) is walked
  /// through `Apply` instead. Every operation is O(1) (amortised for `++`
  /// and `--`), allocates nothing and never throws.
  ///
  /// Invalidation, as for the std::map that stores the entries: adding an
  /// entry invalidates no iterator; removing one (`RemoveValueForKey`)
  /// invalidates only iterators to it; `RemoveAllValues`, `SetDictionary`,
  /// assignment and the dictionary's death invalidate all of them. Replacing
  /// the value under a key keeps iterators valid, but a `const Value&` taken
  /// earlier from that entry may then refer to a dead value.
  class const_iterator {
  public:
    /// The entries are visited in both directions; `reference` is a pair of
    /// references made on the spot, not a reference into the storage.
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = std::pair<const std::string &, const Value &>;
    using difference_type = std::ptrdiff_t;
    using reference = value_type;
    /// What `operator->` gives: holds the pair, so `it->first` works.
    class pointer {
    public:
      const value_type *operator->() const noexcept { return &m_entry; }

    private:
      friend class const_iterator;
      explicit pointer(const value_type &entry) noexcept : m_entry(entry) {}
      value_type m_entry;
    };

    /// A singular iterator: only assignment and destruction are allowed.
    const_iterator() noexcept = default;

    reference operator*() const noexcept { return reference(m_at->first, *m_at->second); }
    pointer operator->() const noexcept { return pointer(**this); }
    const_iterator &operator++() noexcept {
      ++m_at;
      return *this;
    }
    const_iterator operator++(int) noexcept {
      const_iterator before = *this;
      ++m_at;
      return before;
    }
    const_iterator &operator--() noexcept {
      --m_at;
      return *this;
    }
    const_iterator operator--(int) noexcept {
      const_iterator before = *this;
      --m_at;
      return before;
    }
    friend bool operator==(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at == b.m_at; }
    friend bool operator!=(const const_iterator &a, const const_iterator &b) noexcept { return a.m_at != b.m_at; }

  private:
    friend class Dictionary;
    explicit const_iterator(Entries::const_iterator at) noexcept : m_at(at) {}
    Entries::const_iterator m_at;
  };
  using iterator = const_iterator;

  /// The first stored entry in key order, or `end()` when there is none.
  /// O(1). Never throws.
  const_iterator begin() const noexcept { return const_iterator(m_entries.begin()); }
  /// Just past the last stored entry. O(1). Never throws.
  const_iterator end() const noexcept { return const_iterator(m_entries.end()); }

  /// An empty dictionary carrying one reference for its creator. Allocates
  /// nothing. Never throws.
  Dictionary() noexcept;

  /// A new dictionary with every entry of `other`: keys copied, values
  /// shared (each retained once more). It carries one reference for its
  /// creator, whatever `other`'s count. O(n).
  /// Throws std::bad_alloc when memory runs out; what was copied so far is
  /// released again and no dictionary results (`new` hands its block back).
  Dictionary(const Dictionary &other);

  /// Replaces every entry by a copy of `other`'s, as `SetDictionary` does;
  /// `d = d` changes nothing. The dictionary's own reference count is
  /// untouched. O(n + m).
  /// Throws std::bad_alloc when memory runs out; the dictionary is then
  /// left empty.
  Dictionary &operator=(const Dictionary &other);

  /// True exactly when `other` is a dictionary (or of a class derived from
  /// `Dictionary`) and `other == *this` by the typed equality below, `other`
  /// being the receiver: `other`'s entries are walked and looked up in this
  /// dictionary. Allocates nothing; never throws.
  bool operator==(const Value &other) const override;

  /// The number of entries. O(1). Never throws.
  unsigned long Count() const override;

  /// `GetValueForKeyWithDefault(key, Value::Null())`, through the virtual
  /// call. The key is taken whole: a dot in it is part of the key.
  /// O(log n). Never throws.
  const Value &GetValueForKey(const std::string &key) const override;

  /// Writes "{ ", then for each entry in key order "'", the key as it is,
  /// "' = ", the value's `ToString`, "," and `std::endl`; then "}". Since the
  /// values go through `ToString`, the caller's stream formatting does not
  /// reach them. An empty dictionary prints "{ }". O(n) plus the values'
  /// printing. May raise std::bad_alloc (the values' text) and whatever the
  /// stream throws.
  void Print(std::ostream &os) const override;

  /// The `Print` text, made without a stream. O(n) plus the values' text.
  /// May raise std::bad_alloc and what the values' printing throws.
  std::string ToString() const override;

  /// The value under `key` (exactly those bytes), or `defaultValue` itself,
  /// the very object passed in, when there is no such entry.
  /// O(log n). Never throws.
  virtual const Value &GetValueForKeyWithDefault(const std::string &key, const Value &defaultValue) const;

  /// The value reached by cutting `keyPath` at every dot and looking each
  /// component up in the value the previous one yielded, starting with this
  /// dictionary (through the virtual `GetValueForKey` at every step).
  /// Components may be empty ("", ".a", "a.", "a..b" are all paths); there is
  /// no escape, so a key holding a dot is found only by `GetValueForKey`. A
  /// value that is not a dictionary answers the null value to every further
  /// component, and a component that yields the null value before the last
  /// ends the walk with the null value. A path without a dot is exactly
  /// `GetValueForKey(keyPath)`.
  /// O(components x log n). Reuses one component buffer, which grows to the
  /// longest component (no allocation while components fit a short string).
  /// May raise std::bad_alloc for that buffer; nothing else throws.
  virtual const Value &GetValueForKeyPath(const std::string &keyPath) const;

  /// Calls `applier.ApplyToEntry(key, value)` for every entry in key order
  /// and stops at the first call that answers false. Answers false when it
  /// was stopped, true otherwise (at once for an empty dictionary).
  /// O(n) calls. Allocates nothing; throws only what the applier throws.
  virtual bool Apply(Applier &applier) const;

  /// Makes `key` map to `value`. A new key joins with a copy of `key` and one
  /// reference on `value`. An existing entry that already holds that very
  /// object changes nothing; otherwise `value` is retained before the former
  /// value is released (a `value` reachable only through the former value
  /// survives). O(log n).
  /// Throws std::bad_alloc when the new entry cannot be made; the dictionary
  /// and `value`'s count are then as before the call.
  virtual void SetValueForKey(const std::string &key, const Value &value);

  /// Replaces every entry by a copy of `other`'s (keys copied, values shared)
  /// after releasing this dictionary's own values; nothing when `other` is
  /// this very dictionary. `other` may be reachable only through an entry of
  /// this dictionary. O(n + m).
  /// Throws std::bad_alloc when memory runs out; the dictionary is then
  /// left empty.
  virtual void SetDictionary(const Dictionary &other);

  /// For every entry of `other` in key order, the virtual
  /// `SetValueForKey(key, value)`: keys only in `other` are added, keys in
  /// both take `other`'s value object, nothing is merged below this level.
  /// `other` may be this dictionary (nothing changes) or reachable only
  /// through an entry of it. O(m log(n + m)).
  /// Throws std::bad_alloc when an entry cannot be made; the entries handled
  /// before stay as they were made.
  virtual void AddEntriesFromDictionary(const Dictionary &other);

  /// Merges `other` in level by level. For every entry (key, v) of `other`
  /// in key order: where both v and this dictionary's value under key (looked
  /// up through the virtual `GetValueForKey`) are dictionaries, a new
  /// dictionary made of the former one's entries with v merged into it in the
  /// same way replaces the former one; otherwise v itself is stored, shared.
  /// Stores go through the virtual `SetValueForKey`. No dictionary that
  /// existed before is written into, so other holders of them see no change;
  /// `other` is not changed. O(total entries x log n).
  /// Throws std::bad_alloc when memory runs out, a new dictionary included;
  /// the entries handled before stay as they were made.
  virtual void AddEntriesFromDictionaryHierarchically(const Dictionary &other);

  /// Removes the entry under `key`, releasing its value; nothing when there
  /// is none. O(log n). Never throws.
  virtual void RemoveValueForKey(const std::string &key);

  /// Removes every entry, releasing every value. O(n). Never throws.
  virtual void RemoveAllValues();

  /// Same `Count()` (both asked through the virtual `Count`) and, for each
  /// entry (key, v) of this dictionary in key order, v not unequal (by v's
  /// own `operator!=`) to `other.GetValueForKey(key)`, which is the null
  /// value when `other` lacks the key. Stops at the first unequal pair.
  /// Allocates nothing; never throws.
  bool operator==(const Dictionary &other) const;

protected:
  /// Releases every value and frees every key.
  ~Dictionary() override;

private:
  // A new dictionary holding `existing`'s entries with `incoming` merged in
  // hierarchically, made in one ordered pass over both; neither changes.
  static Runtime::Ref<Dictionary> MergedCopy(const Dictionary &existing, const Dictionary &incoming);

  // Empties this dictionary, then copies `other`'s entries; left empty when
  // the copy fails. Nothing when `other` is this dictionary.
  void SetEntries(const Dictionary &other);

  Entries m_entries;
};

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_DICTIONARY_H

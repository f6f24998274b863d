//===- Dictionary.cpp - Keyed container of values -------------------------===//

#include "ValueSlot.h"
#include "ValueText.h"

#include <Collection/Boolean.h>
#include <Collection/Dictionary.h>
#include <Collection/Number.h>
#include <Collection/String.h>

#include <cstdint>
#include <new>
#include <ostream>
#include <tuple>
#include <typeinfo>

namespace Zorbin {
namespace Tessel {
namespace Collection {

namespace {

// `dynamic_cast<const Dictionary *>(&value)`, answered without the cast for
// the library's own dictionaries, numbers, strings and booleans.
const Dictionary *AsDictionary(const Value &value) {
  const std::type_info *type = &typeid(value);
  if (type == &typeid(Dictionary))
    return static_cast<const Dictionary *>(&value);
  if (type == &typeid(Number) || type == &typeid(String) || type == &typeid(Boolean))
    return nullptr;
  return dynamic_cast<const Dictionary *>(&value);
}

} // namespace

Dictionary::Applier::~Applier() = default;

Dictionary::Dictionary() noexcept = default;

Dictionary::Dictionary(const Dictionary &other) : Value(), m_entries(other.m_entries) {}

Dictionary::~Dictionary() = default;

Dictionary &Dictionary::operator=(const Dictionary &other) {
  SetEntries(other);
  return *this;
}

bool Dictionary::operator==(const Value &other) const {
  const Dictionary *dictionary = dynamic_cast<const Dictionary *>(&other);
  return dictionary != nullptr && *dictionary == *this;
}

bool Dictionary::operator==(const Dictionary &other) const {
  if (other.Count() != Count())
    return false;
  for (const Entry &entry : m_entries) {
    if (*entry.second != other.GetValueForKey(entry.first))
      return false;
  }
  return true;
}

unsigned long Dictionary::Count() const { return static_cast<std::uint32_t>(m_entries.size()); }

const Value &Dictionary::GetValueForKey(const std::string &key) const {
  return GetValueForKeyWithDefault(key, Value::Null());
}

const Value &Dictionary::GetValueForKeyWithDefault(const std::string &key, const Value &defaultValue) const {
  Entries::const_iterator found = m_entries.find(key);
  return found != m_entries.end() ? *found->second : defaultValue;
}

void Dictionary::Print(std::ostream &os) const {
  os << "{ ";
  const bool classicNumbers = ValueText::ClassicNumbers();
  std::string text; // one buffer for every value's text
  for (const Entry &entry : m_entries) {
    text.clear();
    ValueText::Append(text, *entry.second, ValueText::Fallback::ToString, classicNumbers);
    os << "'" << entry.first << "' = " << text << "," << std::endl;
  }
  os << "}";
}

std::string Dictionary::ToString() const {
  if (typeid(*this) != typeid(Dictionary))
    return Value::ToString(); // a derived kind may print otherwise
  const bool classicNumbers = ValueText::ClassicNumbers();
  std::string text("{ ");
  for (const Entry &entry : m_entries) {
    text += '\'';
    text += entry.first;
    text += "' = ";
    ValueText::Append(text, *entry.second, ValueText::Fallback::ToString, classicNumbers);
    text += ",\n"; // std::endl, whose flush a string stream ignores
  }
  text += '}';
  return text;
}

const Value &Dictionary::GetValueForKeyPath(const std::string &keyPath) const {
  std::string::size_type dot = keyPath.find('.');
  if (dot == std::string::npos)
    return GetValueForKey(keyPath);

  // One buffer serves every component.
  std::string component;
  const Value *current = this;
  std::string::size_type start = 0;
  while (dot != std::string::npos) {
    component.assign(keyPath, start, dot - start);
    const Value &next = current->GetValueForKey(component);
    if (next.IsNull())
      return Value::Null();
    current = &next;
    start = dot + 1;
    dot = keyPath.find('.', start);
  }
  component.assign(keyPath, start, std::string::npos);
  return current->GetValueForKey(component);
}

bool Dictionary::Apply(Applier &applier) const {
  for (const Entry &entry : m_entries) {
    if (!applier.ApplyToEntry(entry.first, *entry.second))
      return false;
  }
  return true;
}

void Dictionary::SetValueForKey(const std::string &key, const Value &value) {
  Entries::iterator place = m_entries.lower_bound(key);
  if (place != m_entries.end() && place->first == key) {
    StoreInSlot(place->second, value);
    return;
  }
  // The node is complete (key copied, value retained) before it joins the
  // map; if it cannot be made, nothing has changed.
  m_entries.emplace_hint(place, std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple(value));
}

void Dictionary::SetDictionary(const Dictionary &other) { SetEntries(other); }

void Dictionary::AddEntriesFromDictionary(const Dictionary &other) {
  // `other` may live only through one of our entries, which a store releases.
  const Runtime::Ref<const Value> keepAlive(other);
  for (const Entry &entry : other.m_entries)
    SetValueForKey(entry.first, *entry.second);
}

void Dictionary::AddEntriesFromDictionaryHierarchically(const Dictionary &other) {
  const Runtime::Ref<const Value> keepAlive(other);
  for (const Entry &entry : other.m_entries) {
    const Value &incoming = *entry.second;
    const Dictionary *incomingDictionary = AsDictionary(incoming);
    const Dictionary *existing = incomingDictionary ? AsDictionary(GetValueForKey(entry.first)) : nullptr;
    if (existing == nullptr) {
      SetValueForKey(entry.first, incoming);
      continue;
    }
    // Never written into: other holders of `existing` keep seeing it as it was.
    const Runtime::Ref<Dictionary> merged = MergedCopy(*existing, *incomingDictionary);
    SetValueForKey(entry.first, *merged);
  }
}

Runtime::Ref<Dictionary> Dictionary::MergedCopy(const Dictionary &existing, const Dictionary &incoming) {
  // A copy of `existing` made in the map's own shape, node for node, without
  // a comparison; then `incoming` walked beside it in key order, so that each
  // of its keys is found, or placed, where the walk stands, without a search.
  Runtime::Ref<Dictionary> merged(new Dictionary(existing));
  if (!merged)
    throw std::bad_alloc();
  Entries &out = merged->m_entries;
  Entries::iterator at = out.begin();
  for (const Entry &entry : incoming.m_entries) {
    int order = 1;
    while (at != out.end() && (order = at->first.compare(entry.first)) < 0)
      ++at;
    if (at == out.end() || order > 0) {
      out.emplace_hint(at, entry); // joins just before `at`, which stays valid
      continue;
    }
    const Dictionary *inner = AsDictionary(*at->second);
    const Dictionary *innerIncoming = inner ? AsDictionary(*entry.second) : nullptr;
    if (innerIncoming != nullptr) {
      const Runtime::Ref<Dictionary> level = MergedCopy(*inner, *innerIncoming);
      StoreInSlot(at->second, *level);
    } else {
      StoreInSlot(at->second, *entry.second);
    }
    ++at;
  }
  return merged;
}

void Dictionary::RemoveValueForKey(const std::string &key) {
  Entries::iterator found = m_entries.find(key);
  if (found != m_entries.end())
    m_entries.erase(found);
}

void Dictionary::RemoveAllValues() { m_entries.clear(); }

void Dictionary::SetEntries(const Dictionary &other) {
  if (&other == this)
    return;
  // Emptying this dictionary may release the last holder of `other`.
  const Runtime::Ref<const Value> keepAlive(other);
  m_entries.clear();
  Entries copy(other.m_entries);
  m_entries.swap(copy);
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

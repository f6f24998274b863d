//===- stress_test.cpp - Random operations against a model ----------------===//
//
// Long random sequences of collection operations through the vtables (Add
// with and without keys, replacing by key, Item put and get, Remove by
// position and by key, Count, Exists, Keys, Items, RemoveAll, items held
// past their removal, enumerators
// made, walked, skipped, reset and cloned while the collection changes and
// after it is gone, the collection written as JSON by XJson and read back),
// each checked against a model of what the collection
// and every enumerator must hold. Afterwards nothing may be left: no client
// object, no task memory, and DllCanUnloadNow answers S_OK.
//
// It runs twice: against the server's classes linked into this program and
// against the built server module, loaded from its file.
//
//===----------------------------------------------------------------------===//

#include "ObjectMap.h"
#include "ServerModule.h"

#include "support/ClientObjects.h"
#include "support/ServerTest.h"
#include "support/TaskMemory.h"

#include <gtest/gtest.h>

#include <array>
#include <cwchar>
#include <iostream>
#include <random>
#include <string>
#include <vector>

using namespace ServerTest;

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE *)();

/// The server a run talks to: how to reach its class object and ask
/// whether it may be unloaded.
struct Server {
  GetClassObjectFunction getClassObject;
  CanUnloadNowFunction canUnloadNow;
};

constexpr long kOperations = 150000;
constexpr std::size_t kMaxEnumerators = 6;
constexpr std::size_t kMaxHeldItems = 12;

/// What a member of the model holds. Values carry a number that tells them
/// apart, as a 32-bit integer, as a string or inside a client object.
struct Member {
  bool keyed = false;
  std::wstring key;
  long id = 0;
  bool object = false; // a client object, which has no JSON form
};

enum class Kind { Integer, Text, Object };

/// The number a value read back carries, or -1 for anything else.
long IdOf(const VARIANT &value) {
  switch (V_VT(&value)) {
  case VT_I4:
    return V_I4(&value);
  case VT_BSTR:
    return V_BSTR(&value) != nullptr ? std::wcstol(V_BSTR(&value) + 1, nullptr, 10) : -1;
  case VT_DISPATCH:
    return static_cast<ClientObject *>(V_DISPATCH(&value))->Id();
  default:
    return -1;
  }
}

Var ValueFor(long id, Kind kind) {
  Var value;
  switch (kind) {
  case Kind::Integer:
    V_VT(&value) = VT_I4;
    V_I4(&value) = id;
    break;
  case Kind::Text:
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString((L"#" + std::to_wstring(id)).c_str());
    break;
  case Kind::Object:
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = ClientObject::Create(id);
    break;
  }
  return value;
}

Var KeyFor(const std::wstring &key) {
  Var value;
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocStringLen(key.data(), static_cast<UINT>(key.size()));
  return value;
}

std::wstring TextOf(const Var &key) {
  BSTR text = V_BSTR(&key.Get());
  return std::wstring(text, SysStringLen(text));
}

/// An enumerator with the values it must still yield.
struct Walk {
  ComPtr<IEnumVARIANT> enumerator;
  std::vector<long> ids;
  std::size_t position = 0;
};

/// An item a client keeps, with what it must read.
struct Held {
  ComPtr<IXItem> item;
  Member member;
};

enum Operation {
  kAdd,
  kAddKeyed,
  kPut,
  kRemoveAt,
  kRemoveKey,
  kItemAt,
  kItemKey,
  kBadPosition,
  kCount,
  kHold,
  kDrop,
  kNewEnum,
  kNext,
  kSkip,
  kReset,
  kClone,
  kReleaseEnum,
  kNewCollection,
  kExists,
  kKeys,
  kItems,
  kRemoveAll,
  kJson,
  kOperationKinds
};

const char *const kOperationNames[kOperationKinds] = {
    "Add",          "Add keyed", "Item put",           "Remove at",      "Remove key", "Item at", "Item key",
    "bad position", "Count",     "hold item",          "drop item",      "_NewEnum",   "Next",    "Skip",
    "Reset",        "Clone",     "release enumerator", "new collection", "Exists",     "Keys",    "Items",
    "RemoveAll",    "JSON"};

class Stress {
public:
  Stress(const Server &server, unsigned seed) : m_random(seed) {
    // Keys: many short ones that repeat (so that Add replaces), letter case,
    // the empty key, zero characters and a long key.
    for (int i = 0; i < 40; ++i)
      m_keys.push_back(L"k" + std::to_wstring(i));
    m_keys.push_back(L"K0");
    m_keys.push_back(L"");
    m_keys.push_back(std::wstring(1, L'\0'));
    m_keys.push_back(std::wstring(L"a\0b", 3));
    m_keys.push_back(std::wstring(L"a\0c", 3));
    m_keys.push_back(std::wstring(2000, L'x'));
    m_keys.push_back(std::wstring(1999, L'x') + L'y');
    EXPECT_EQ(S_OK, server.getClassObject(CLSID_Collection, IID_IClassFactory,
                                          reinterpret_cast<void **>(m_factory.GetAddressOf())));
    ComPtr<IClassFactory> jsonFactory;
    EXPECT_EQ(S_OK, server.getClassObject(CLSID_XJson, IID_IClassFactory,
                                          reinterpret_cast<void **>(jsonFactory.GetAddressOf())));
    if (jsonFactory) {
      EXPECT_EQ(S_OK,
                jsonFactory->CreateInstance(nullptr, IID_IXJson, reinterpret_cast<void **>(m_json.GetAddressOf())));
    }
  }

  /// Runs `operations` random operations; false after the first mismatch.
  bool Run(long operations) {
    NewCollection();
    for (long n = 0; n < operations; ++n) {
      const int kind = Pick();
      Do(kind);
      ++m_done[kind];
      if (n % 1000 == 999)
        Verify();
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << "at operation " << n << " (" << kOperationNames[kind] << ")";
        return false;
      }
    }
    Verify();
    return !::testing::Test::HasFailure();
  }

  /// Gives back every reference this client holds.
  void ReleaseEverything() {
    m_walks.clear();
    m_held.clear();
    m_second.Reset();
    m_collection.Reset();
    m_json.Reset();
    m_factory.Reset();
  }

  std::string Figures() const {
    std::string text;
    for (int kind = 0; kind < kOperationKinds; ++kind)
      text += std::string(kind ? ", " : "") + kOperationNames[kind] + " " + std::to_string(m_done[kind]);
    return text;
  }

private:
  int Pick() {
    // Weights by operation; a large collection shrinks, enumerators walk.
    const bool large = m_model.size() > 150;
    static const std::array<double, kOperationKinds> normal = {12, 16, 8, 7, 7, 8,    8, 2, 2, 2,    2,  3,
                                                               10, 2,  1, 2, 3, 0.02, 6, 1, 1, 0.05, 0.5};
    static const std::array<double, kOperationKinds> shrinking = {4,  6, 3, 20, 16, 8,    8, 2, 2, 2,   2,  3,
                                                                  10, 2, 1, 2,  3,  0.02, 6, 1, 1, 0.3, 0.5};
    const std::array<double, kOperationKinds> &weights = large ? shrinking : normal;
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    return pick(m_random);
  }

  long Uniform(long low, long high) { return std::uniform_int_distribution<long>(low, high)(m_random); }
  std::size_t AnyIndex(std::size_t size) { return static_cast<std::size_t>(Uniform(0, static_cast<long>(size) - 1)); }
  const std::wstring &AnyKey() { return m_keys[AnyIndex(m_keys.size())]; }
  Walk &AnyWalk() { return m_walks[AnyIndex(m_walks.size())]; }

  /// A selector for the 1-based `position`, as a script or C++ passes one.
  Var PositionFor(long position) {
    Var selector = Uniform(0, 3) == 0 && position >= -32768 && position <= 32767
                       ? Var::I2(static_cast<SHORT>(position))
                       : Var::I4(position);
    return selector;
  }

  void NewCollection() {
    m_collection.Reset();
    m_model.clear();
    m_second.Reset();
    ASSERT_EQ(S_OK, m_factory->CreateInstance(nullptr, IID_IXCollection,
                                              reinterpret_cast<void **>(m_collection.GetAddressOf())));
    ASSERT_EQ(S_OK, m_collection.As(&m_second));
  }

  /// The elements of a Keys or Items array, which must be zero-based and
  /// hold one element per member of the model.
  std::vector<Var> Elements(const Var &array) {
    std::vector<Var> elements;
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, array.Type());
    if (array.Type() != (VT_ARRAY | VT_VARIANT))
      return elements;
    LONG low = -1, high = -1;
    SafeArrayGetLBound(V_ARRAY(&array.Get()), 1, &low);
    SafeArrayGetUBound(V_ARRAY(&array.Get()), 1, &high);
    EXPECT_EQ(0, low);
    EXPECT_EQ(static_cast<LONG>(m_model.size()) - 1, high);
    for (LONG i = low; i <= high; ++i) {
      elements.emplace_back();
      EXPECT_EQ(S_OK, SafeArrayGetElement(V_ARRAY(&array.Get()), &i, &elements.back().Get()));
    }
    return elements;
  }

  /// The model's position of the member keyed `key`, or -1.
  long Find(const std::wstring &key) const {
    for (std::size_t i = 0; i < m_model.size(); ++i)
      if (m_model[i].keyed && m_model[i].key == key)
        return static_cast<long>(i);
    return -1;
  }

  /// Adds a member through Add or the Item put accessor, with or without a
  /// key (by reference now and then, as scripts pass variables).
  void Add(bool keyed, bool put) {
    Member member;
    member.keyed = keyed;
    member.id = ++m_nextId;
    if (keyed)
      member.key = AnyKey();
    const Kind kind = static_cast<Kind>(Uniform(0, 2));
    member.object = kind == Kind::Object;
    Var value = ValueFor(member.id, kind);
    Var key = keyed ? KeyFor(member.key) : Var::Missing();
    Var keyRef = Var::RefTo(&key.Get());
    const VARIANT &keyArgument = keyed && Uniform(0, 3) == 0 ? keyRef.Get() : key.Get();
    const HRESULT status =
        put ? m_collection->put_Item(keyArgument, value.Get()) : m_collection->Add(value.Get(), keyArgument);
    ASSERT_EQ(S_OK, status);
    if (keyed) {
      const long old = Find(member.key);
      if (old >= 0)
        m_model.erase(m_model.begin() + old);
    }
    m_model.push_back(member);
  }

  void ExpectMember(IXItem *item, const Member &member) {
    ASSERT_NE(nullptr, item);
    Var value = ValueOf(item);
    EXPECT_EQ(member.id, IdOf(value.Get()));
    Var key = KeyOf(item);
    if (member.keyed) {
      ASSERT_EQ(VT_BSTR, key.Type());
      EXPECT_TRUE(TextOf(key) == member.key);
    } else {
      EXPECT_EQ(VT_EMPTY, key.Type());
    }
  }

  void ExpectReported(HRESULT status, const wchar_t *description) {
    EXPECT_EQ(E_FAIL, status);
    EXPECT_EQ(description, TakeError().description);
  }

  void Do(int kind) {
    const long count = static_cast<long>(m_model.size());
    switch (kind) {
    case kAdd:
      Add(false, false);
      break;
    case kAddKeyed:
      Add(true, false);
      break;
    case kPut:
      Add(true, true);
      break;
    case kRemoveAt: {
      if (count == 0)
        return Do(kBadPosition);
      const long p = Uniform(1, count);
      ASSERT_EQ(S_OK, m_collection->Remove(PositionFor(p).Get()));
      m_model.erase(m_model.begin() + (p - 1));
      break;
    }
    case kRemoveKey: {
      const std::wstring &key = AnyKey();
      const long at = Find(key);
      Var selector = KeyFor(key);
      const HRESULT status = m_collection->Remove(selector.Get());
      if (at < 0) {
        EXPECT_EQ(E_INVALIDARG, status);
      } else {
        ASSERT_EQ(S_OK, status);
        m_model.erase(m_model.begin() + at);
      }
      break;
    }
    case kItemAt: {
      if (count == 0)
        return Do(kBadPosition);
      const long p = Uniform(1, count);
      ExpectMember(ItemOf(m_collection.Get(), PositionFor(p)).Get(), m_model[static_cast<std::size_t>(p - 1)]);
      break;
    }
    case kItemKey: {
      const std::wstring &key = AnyKey();
      const long at = Find(key);
      ComPtr<IXItem> found;
      const HRESULT status = m_collection->get_Item(KeyFor(key).Get(), &found);
      if (at < 0) {
        EXPECT_EQ(E_INVALIDARG, status);
      } else {
        ASSERT_EQ(S_OK, status);
        ExpectMember(found.Get(), m_model[static_cast<std::size_t>(at)]);
      }
      break;
    }
    case kBadPosition: {
      const long bad[] = {0, -1, count + 1, count + 1000, 0x7FFFFFFF, -0x7FFFFFFF - 1};
      const long p = bad[Uniform(0, 5)];
      IXItem *untouched = nullptr;
      ExpectReported(Uniform(0, 1) ? m_collection->Remove(PositionFor(p).Get())
                                   : m_collection->get_Item(PositionFor(p).Get(), &untouched),
                     L"Subscript out of range");
      EXPECT_EQ(nullptr, untouched);
      break;
    }
    case kCount:
      EXPECT_EQ(count, CountOf(m_collection.Get()));
      break;
    case kHold: {
      if (count == 0 || m_held.size() >= kMaxHeldItems)
        return;
      const long p = Uniform(1, count);
      m_held.push_back(Held{ItemOf(m_collection.Get(), Var::I4(p)), m_model[static_cast<std::size_t>(p - 1)]});
      break;
    }
    case kDrop: {
      if (m_held.empty())
        return;
      const std::size_t i = AnyIndex(m_held.size());
      // Still what it was, whether or not the collection still has it.
      ExpectMember(m_held[i].item.Get(), m_held[i].member);
      m_held.erase(m_held.begin() + static_cast<long>(i));
      break;
    }
    case kNewEnum: {
      if (m_walks.size() >= kMaxEnumerators)
        return;
      Walk walk;
      ComPtr<IUnknown> unknown;
      ASSERT_EQ(S_OK, m_collection->get__NewEnum(&unknown));
      ASSERT_EQ(S_OK, unknown.As(&walk.enumerator));
      for (const Member &member : m_model)
        walk.ids.push_back(member.id);
      m_walks.push_back(std::move(walk));
      break;
    }
    case kNext: {
      if (m_walks.empty())
        return;
      Walk &walk = AnyWalk();
      const ULONG celt = static_cast<ULONG>(Uniform(0, 6));
      std::vector<VARIANT> values(celt + 1);
      ULONG fetched = 12345;
      const bool wantsCount = Uniform(0, 1) != 0;
      const HRESULT status = walk.enumerator->Next(celt, values.data(), wantsCount ? &fetched : nullptr);
      const std::size_t left = walk.ids.size() - walk.position;
      const std::size_t expected = celt < left ? celt : left;
      EXPECT_EQ(expected == celt ? S_OK : S_FALSE, status);
      if (wantsCount) {
        EXPECT_EQ(expected, fetched);
      }
      for (std::size_t i = 0; i < celt; ++i) {
        if (i < expected) {
          EXPECT_EQ(walk.ids[walk.position + i], IdOf(values[i]));
        } else {
          EXPECT_EQ(VT_EMPTY, V_VT(&values[i]));
        }
        VariantClear(&values[i]);
      }
      walk.position += expected;
      break;
    }
    case kSkip: {
      if (m_walks.empty())
        return;
      Walk &walk = AnyWalk();
      const ULONG celt = static_cast<ULONG>(Uniform(0, 8));
      const std::size_t left = walk.ids.size() - walk.position;
      EXPECT_EQ(celt <= left ? S_OK : S_FALSE, walk.enumerator->Skip(celt));
      walk.position += celt <= left ? celt : left;
      break;
    }
    case kReset:
      if (m_walks.empty())
        return;
      {
        Walk &walk = AnyWalk();
        EXPECT_EQ(S_OK, walk.enumerator->Reset());
        walk.position = 0;
      }
      break;
    case kClone: {
      if (m_walks.empty() || m_walks.size() >= kMaxEnumerators)
        return;
      const Walk &from = AnyWalk();
      Walk clone;
      clone.ids = from.ids;
      clone.position = from.position;
      ASSERT_EQ(S_OK, from.enumerator->Clone(&clone.enumerator));
      m_walks.push_back(std::move(clone));
      break;
    }
    case kReleaseEnum:
      if (!m_walks.empty())
        m_walks.erase(m_walks.begin() + static_cast<long>(AnyIndex(m_walks.size())));
      break;
    case kNewCollection:
      // Held items and enumerators outlive the collection.
      NewCollection();
      break;
    case kExists: {
      const std::wstring &key = AnyKey();
      Var selector = KeyFor(key);
      VARIANT_BOOL exists = 12345;
      ASSERT_EQ(S_OK,
                m_second->Exists(Uniform(0, 3) == 0 ? Var::RefTo(&selector.Get()).Get() : selector.Get(), &exists));
      EXPECT_EQ(Find(key) >= 0 ? VARIANT_TRUE : VARIANT_FALSE, exists);
      break;
    }
    case kKeys: {
      Var keys;
      ASSERT_EQ(S_OK, m_second->Keys(&keys));
      const std::vector<Var> elements = Elements(keys);
      for (std::size_t i = 0; i < elements.size() && i < m_model.size(); ++i) {
        if (m_model[i].keyed) {
          ASSERT_EQ(VT_BSTR, elements[i].Type());
          EXPECT_TRUE(TextOf(elements[i]) == m_model[i].key);
        } else {
          EXPECT_EQ(VT_EMPTY, elements[i].Type());
        }
      }
      break;
    }
    case kItems: {
      Var items;
      ASSERT_EQ(S_OK, m_second->Items(&items));
      const std::vector<Var> elements = Elements(items);
      for (std::size_t i = 0; i < elements.size() && i < m_model.size(); ++i)
        EXPECT_EQ(m_model[i].id, IdOf(elements[i].Get()));
      break;
    }
    case kRemoveAll:
      // Held items and enumerators keep what they hold.
      ASSERT_EQ(S_OK, m_second->RemoveAll());
      m_model.clear();
      break;
    case kJson:
      WriteAndReadBack();
      break;
    default:
      break;
    }
  }

  /// Writes the collection as JSON and reads it back: the same keys and
  /// values in the same order; or the failure that the model predicts (a
  /// mix of keyed and unkeyed members, a client object).
  void WriteAndReadBack() {
    std::size_t keyed = 0, firstUnkeyed = 0, objects = 0;
    for (std::size_t i = m_model.size(); i-- > 0;) {
      keyed += m_model[i].keyed;
      objects += m_model[i].object;
      if (!m_model[i].keyed)
        firstUnkeyed = i + 1;
    }
    Var collection;
    V_VT(&collection) = VT_DISPATCH;
    V_DISPATCH(&collection) = m_collection.Get();
    m_collection->AddRef();
    BSTR text = nullptr;
    const HRESULT status = m_json->Stringify(collection.Get(), Var::I4(Uniform(0, 2)).Get(), &text);
    Var written;
    V_VT(&written) = VT_BSTR;
    V_BSTR(&written) = text;
    if (keyed != 0 && keyed != m_model.size()) {
      ExpectReported(status, (L"a collection that mixes members with and without keys (member " +
                              std::to_wstring(m_model[0].keyed ? firstUnkeyed : 1) + L" has no key)")
                                 .c_str());
      return;
    }
    if (objects != 0) {
      EXPECT_EQ(E_FAIL, status);
      const std::wstring description = TakeError().description;
      EXPECT_NE(std::wstring::npos, description.find(L": an object with no JSON form"));
      return;
    }
    ASSERT_EQ(S_OK, status);
    Var read;
    ASSERT_EQ(S_OK, m_json->Parse(text, &read));
    ComPtr<IXCollection> back;
    ASSERT_EQ(VT_DISPATCH, read.Type());
    ASSERT_EQ(S_OK,
              V_DISPATCH(&read)->QueryInterface(IID_IXCollection, reinterpret_cast<void **>(back.GetAddressOf())));
    ASSERT_EQ(static_cast<LONG>(m_model.size()), CountOf(back.Get()));
    for (std::size_t i = 0; i < m_model.size(); ++i)
      ExpectMember(ItemOf(back.Get(), Var::I4(static_cast<LONG>(i + 1))).Get(), m_model[i]);
  }

  /// Every member, by position, against the model.
  void Verify() {
    ASSERT_EQ(static_cast<LONG>(m_model.size()), CountOf(m_collection.Get()));
    for (std::size_t i = 0; i < m_model.size(); ++i)
      ExpectMember(ItemOf(m_collection.Get(), Var::I4(static_cast<LONG>(i + 1))).Get(), m_model[i]);
  }

  std::mt19937 m_random;
  std::vector<std::wstring> m_keys;
  ComPtr<IClassFactory> m_factory;
  ComPtr<IXCollection> m_collection;
  ComPtr<IXCollection2> m_second;
  ComPtr<IXJson> m_json;
  std::vector<Member> m_model;
  std::vector<Walk> m_walks;
  std::vector<Held> m_held;
  long m_nextId = 0;
  long m_done[kOperationKinds] = {};
};

/// Runs the stress against `server` and checks that nothing is left.
void StressAndRelease(const Server &server, const char *name) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  const long taskMemory = LiveTaskMemoryBlocks();
  const long objects = ClientObject::Live();
  ASSERT_EQ(S_OK, server.canUnloadNow());
  const unsigned seed = 20240611;
  Stress stress(server, seed);
  const bool passed = stress.Run(kOperations);
  stress.ReleaseEverything();
  std::cout << name << ": " << kOperations << " operations (seed " << seed << "): " << stress.Figures() << "\n";
  ASSERT_TRUE(passed);
  EXPECT_EQ(objects, ClientObject::Live());
  EXPECT_EQ(taskMemory, LiveTaskMemoryBlocks());
  EXPECT_EQ(S_OK, server.canUnloadNow());
}

TEST(Stress, ClassesInThisProgramAgainstAModel) {
  StressAndRelease(Server{&DllGetClassObject, &DllCanUnloadNow}, "stress, classes in this program");
  EXPECT_EQ(0, VariantCollection::Module().ModuleLockCount());
  VariantCollection::ReleaseClassObjects();
}

TEST(Stress, BuiltServerAgainstAModel) {
  LoadedServer module(ServerPath());
  ASSERT_TRUE(module.Loaded());
  const Server server{module.Export<GetClassObjectFunction>("DllGetClassObject"),
                      module.Export<CanUnloadNowFunction>("DllCanUnloadNow")};
  ASSERT_NE(nullptr, server.getClassObject);
  ASSERT_NE(nullptr, server.canUnloadNow);
  StressAndRelease(server, "stress, built server");
}

} // namespace

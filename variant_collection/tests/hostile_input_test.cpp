//===- hostile_input_test.cpp - Arguments no careful client passes --------===//
//
// Every VARTYPE from 0 to 0x4A, as it stands, by reference, as an array, as
// an array by reference and as either reference with a null pointer, given
// as each VARIANT argument of Add, Item (put and get) and Remove, and read
// back through Value, Key and an enumerator (an array of VARIANTs holds
// references, and an array holding one);
// null pointers wherever an operation takes one; positions far out of range;
// keys with embedded zero characters, empty keys and a key of a megabyte.
// The same VARTYPEs in the same forms go to XJson's Stringify, as the value
// and as the indent.
//
// The server must answer a status (with the collection's error object where
// one is documented), change nothing when it fails, keep no pointer into the
// caller's memory, and leave nothing behind: module locks, task memory
// (strings, arrays, ProgIDs, error objects), references on the client's
// objects and the records it copied through the client's record
// information.
//
//===----------------------------------------------------------------------===//

#include "DispIds.h"
#include "ObjectMap.h"
#include "ServerModule.h"

#include "support/ClientObjects.h"
#include "support/ServerTest.h"
#include "support/TaskMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace ServerTest;
using VariantCollection::Module;

namespace {

/// How a hostile argument carries its VARTYPE.
enum class Form { Plain, ByRef, Array, ArrayByRef, NullByRef, NullArrayByRef };

const char *NameOf(Form form) {
  switch (form) {
  case Form::Plain:
    return "plain";
  case Form::ByRef:
    return "VT_BYREF";
  case Form::Array:
    return "VT_ARRAY";
  case Form::ArrayByRef:
    return "VT_BYREF|VT_ARRAY";
  case Form::NullByRef:
    return "null VT_BYREF";
  default:
    return "null VT_BYREF|VT_ARRAY";
  }
}

/// What is alive that the server could fail to give back.
struct Resources {
  LONG moduleLocks = Module().ModuleLockCount();
  long taskMemory = LiveTaskMemoryBlocks();
  long objects = ClientObject::Live();
  long recordInfos = ClientRecordInfo::Live();
  long records = ClientRecordInfo::LiveRecords();

  bool operator==(const Resources &o) const {
    return moduleLocks == o.moduleLocks && taskMemory == o.taskMemory && objects == o.objects &&
           recordInfos == o.recordInfos && records == o.records;
  }
};

std::ostream &operator<<(std::ostream &out, const Resources &r) {
  return out << "{module locks " << r.moduleLocks << ", task memory blocks " << r.taskMemory << ", client objects "
             << r.objects << ", record informations " << r.recordInfos << ", records " << r.records << "}";
}

/// One argument of the VARTYPE `vt` in the given form, every pointer in it
/// pointing at valid storage of that type that this object owns: a string,
/// a client object, a record with its record information, a SAFEARRAY with
/// elements, or for the types that VARIANTs do not carry, zero-filled
/// memory; in the null forms, the reference is null (a record's: no record,
/// with the client's record information). Scalars hold the number 2 (a
/// valid position).
class HostileArgument {
public:
  HostileArgument(VARTYPE vt, Form form) : m_vt(vt), m_form(form) {
    VariantInit(&m_argument);
    VariantInit(&m_inner);
    V_VT(&m_inner) = VT_I4;
    V_I4(&m_inner) = 2;
    std::memset(m_storage, 0, sizeof m_storage);
    m_storage[0] = 2;
    m_text = SysAllocString(L"hostile");
    m_object = ClientObject::Create(2);
    m_pointer = m_object;
    m_recordInfo = ClientRecordInfo::Create();
    std::memset(&m_decimal, 0, sizeof m_decimal);
    m_decimal.Lo64 = 2;

    switch (form) {
    case Form::Plain:
      MakePlain();
      break;
    case Form::ByRef:
      MakeByRef();
      break;
    case Form::Array:
    case Form::ArrayByRef:
      MakeArray();
      if (form == Form::Array) {
        V_VT(&m_argument) = VT_ARRAY | vt;
        V_ARRAY(&m_argument) = m_array;
      } else {
        V_VT(&m_argument) = VT_BYREF | VT_ARRAY | vt;
        V_ARRAYREF(&m_argument) = &m_array;
      }
      break;
    case Form::NullByRef:
      V_VT(&m_argument) = VT_BYREF | vt;
      V_BYREF(&m_argument) = nullptr;
      if (vt == VT_RECORD)
        V_RECORDINFO(&m_argument) = m_recordInfo;
      break;
    case Form::NullArrayByRef:
      V_VT(&m_argument) = VT_BYREF | VT_ARRAY | vt;
      V_ARRAYREF(&m_argument) = nullptr;
      break;
    }
  }

  ~HostileArgument() {
    if (m_array != nullptr)
      SafeArrayDestroy(m_array);
    VariantClear(&m_inner);
    SysFreeString(m_text);
    // The server keeps no reference on the caller's objects.
    EXPECT_EQ(0u, m_object->Release()) << Describe();
    EXPECT_EQ(0u, m_recordInfo->Release()) << Describe();
  }

  HostileArgument(const HostileArgument &) = delete;
  HostileArgument &operator=(const HostileArgument &) = delete;

  const VARIANT &Get() const { return m_argument; }
  bool IsNullReference() const { return m_form == Form::NullByRef || m_form == Form::NullArrayByRef; }

  std::string Describe() const {
    std::ostringstream text;
    text << "VARTYPE 0x" << std::hex << m_vt << " " << NameOf(m_form);
    return text.str();
  }

  /// True when `pointer` lies in memory that this argument owns: a value
  /// read back must never be one.
  bool Owns(const void *pointer) const {
    if (pointer == nullptr)
      return false;
    const auto *p = static_cast<const unsigned char *>(pointer);
    const auto *storage = reinterpret_cast<const unsigned char *>(m_storage);
    return p == reinterpret_cast<const unsigned char *>(m_text) ||
           p == reinterpret_cast<const unsigned char *>(m_array) ||
           p == reinterpret_cast<const unsigned char *>(&m_record) ||
           (p >= storage && p < storage + sizeof m_storage);
  }

private:
  void MakePlain() {
    V_I8(&m_argument) = 2;
    switch (m_vt) {
    case VT_BSTR:
      V_BSTR(&m_argument) = m_text;
      break;
    case VT_DISPATCH:
      V_DISPATCH(&m_argument) = m_object;
      break;
    case VT_UNKNOWN:
      V_UNKNOWN(&m_argument) = m_object;
      break;
    case VT_DECIMAL:
      V_DECIMAL(&m_argument) = m_decimal;
      break;
    case VT_RECORD:
      V_RECORD(&m_argument) = &m_record;
      V_RECORDINFO(&m_argument) = m_recordInfo;
      break;
    case VT_LPSTR:
      V_BYREF(&m_argument) = m_narrow;
      break;
    case VT_LPWSTR:
      V_BYREF(&m_argument) = m_wide;
      break;
    default:
      if (!IsScalar(m_vt))
        V_BYREF(&m_argument) = m_storage;
      break;
    }
    V_VT(&m_argument) = m_vt;
  }

  void MakeByRef() {
    switch (m_vt) {
    case VT_BSTR:
      V_BSTRREF(&m_argument) = &m_text;
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      V_UNKNOWNREF(&m_argument) = &m_pointer;
      break;
    case VT_VARIANT:
      V_VARIANTREF(&m_argument) = &m_inner;
      break;
    case VT_DECIMAL:
      V_DECIMALREF(&m_argument) = &m_decimal;
      break;
    case VT_RECORD:
      V_RECORD(&m_argument) = &m_record;
      V_RECORDINFO(&m_argument) = m_recordInfo;
      break;
    case VT_LPSTR:
      V_BYREF(&m_argument) = &m_narrow;
      break;
    case VT_LPWSTR:
      V_BYREF(&m_argument) = &m_wide;
      break;
    default:
      V_BYREF(&m_argument) = m_storage;
      break;
    }
    V_VT(&m_argument) = VT_BYREF | m_vt;
  }

  /// A vector of three elements of `m_vt` when the platform makes one for
  /// that element type, else of three VT_I4 (still a real array, under a
  /// VARTYPE that does not match it). VARIANTs are references to the
  /// number (VT_I4 and VT_VARIANT) and an array holding one.
  void MakeArray() {
    m_array = m_vt == VT_RECORD ? SafeArrayCreateVectorEx(VT_RECORD, 0, 3, m_recordInfo)
                                : SafeArrayCreateVector(m_vt, 0, 3);
    if (m_array == nullptr) {
      m_array = SafeArrayCreateVector(VT_I4, 0, 3);
      return;
    }
    for (LONG i = 0; i < 3; ++i) {
      void *element = nullptr;
      switch (m_vt) {
      case VT_BSTR:
        element = m_text;
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        element = m_object;
        break;
      case VT_VARIANT:
        element = VariantElement(i);
        break;
      case VT_RECORD:
        element = &m_record;
        break;
      default:
        break;
      }
      if (element != nullptr) {
        EXPECT_EQ(S_OK, SafeArrayPutElement(m_array, &i, element)) << Describe();
      }
    }
  }

  /// The `i`-th element of an array of VARIANTs (see MakeArray).
  VARIANT *VariantElement(LONG i) {
    VARIANT *element = &m_elements[i];
    V_VT(element) = i == 0 ? VT_BYREF | VT_I4 : i == 1 ? VT_BYREF | VT_VARIANT : VT_ARRAY | VT_VARIANT;
    if (i < 2) {
      V_BYREF(element) = i == 0 ? static_cast<void *>(m_storage) : &m_inner;
    } else {
      V_ARRAY(element) = SafeArrayCreateVector(VT_VARIANT, 0, 1);
      LONG first = 0;
      EXPECT_EQ(S_OK, SafeArrayPutElement(V_ARRAY(element), &first, &m_elements[0]));
    }
    return element;
  }

  static bool IsScalar(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_HRESULT:
    case VT_FILETIME:
      return true;
    default:
      return false;
    }
  }

  VARTYPE m_vt;
  Form m_form;
  VARIANT m_argument;
  VARIANT m_inner;
  alignas(8) LONGLONG m_storage[8];
  BSTR m_text = nullptr;
  ClientObject *m_object = nullptr;
  IUnknown *m_pointer = nullptr;
  ClientRecordInfo *m_recordInfo = nullptr;
  ClientRecordInfo::Record m_record{2};
  DECIMAL m_decimal;
  Var m_elements[3];
  SAFEARRAY *m_array = nullptr;
  char m_narrowText[8] = "hostile";
  wchar_t m_wideText[8] = L"hostile";
  char *m_narrow = m_narrowText;
  wchar_t *m_wide = m_wideText;
};

/// The number of bytes of a VARIANT's value that carry a scalar of type
/// `vt` (the rest of the union is not defined for it).
std::size_t ScalarSize(VARTYPE vt) {
  switch (vt) {
  case VT_I1:
  case VT_UI1:
    return 1;
  case VT_I2:
  case VT_UI2:
  case VT_BOOL:
    return 2;
  case VT_I8:
  case VT_UI8:
  case VT_R8:
  case VT_DATE:
  case VT_CY:
  case VT_FILETIME:
    return 8;
  default:
    return 4;
  }
}

bool SameVariant(const VARIANT &a, const VARIANT &b);

bool SameArray(SAFEARRAY *a, SAFEARRAY *b) {
  if (a == nullptr || b == nullptr)
    return a == b;
  const USHORT kinds = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
  if (a->cDims != b->cDims || a->cbElements != b->cbElements || (a->fFeatures & kinds) != (b->fFeatures & kinds))
    return false;
  ULONG count = 1;
  for (USHORT d = 0; d < a->cDims; ++d) {
    if (a->rgsabound[d].cElements != b->rgsabound[d].cElements || a->rgsabound[d].lLbound != b->rgsabound[d].lLbound)
      return false;
    count *= a->rgsabound[d].cElements;
  }
  for (ULONG i = 0; i < count; ++i) {
    const auto *x = static_cast<const unsigned char *>(a->pvData) + i * a->cbElements;
    const auto *y = static_cast<const unsigned char *>(b->pvData) + i * b->cbElements;
    bool same;
    if (a->fFeatures & FADF_BSTR)
      same = SysStringByteLen(*reinterpret_cast<const BSTR *>(x)) ==
                 SysStringByteLen(*reinterpret_cast<const BSTR *>(y)) &&
             std::memcmp(*reinterpret_cast<const BSTR *>(x), *reinterpret_cast<const BSTR *>(y),
                         SysStringByteLen(*reinterpret_cast<const BSTR *>(x))) == 0;
    else if (a->fFeatures & FADF_VARIANT)
      same = SameVariant(*reinterpret_cast<const VARIANT *>(x), *reinterpret_cast<const VARIANT *>(y));
    else
      same = std::memcmp(x, y, a->cbElements) == 0; // interface pointers, records, scalars
    if (!same)
      return false;
  }
  return true;
}

/// Same type and same value; strings and arrays by content. A reference in
/// `a` (in an array of VARIANTs, as the platform copies it) stands for what
/// it points at; `b`, read back, must hold none.
bool SameVariant(const VARIANT &a, const VARIANT &b) {
  Var value;
  if (V_ISBYREF(&a) && !V_ISBYREF(&b))
    return SUCCEEDED(VariantCopyInd(&value, const_cast<VARIANT *>(&a))) && SameVariant(value.Get(), b);
  if (V_VT(&a) != V_VT(&b) || V_ISBYREF(&b))
    return false;
  const VARTYPE vt = V_VT(&a);
  if (vt & VT_ARRAY)
    return SameArray(V_ARRAY(&a), V_ARRAY(&b));
  switch (vt) {
  case VT_EMPTY:
  case VT_NULL:
    return true;
  case VT_BSTR:
    return SysStringByteLen(V_BSTR(&a)) == SysStringByteLen(V_BSTR(&b)) &&
           std::memcmp(V_BSTR(&a), V_BSTR(&b), SysStringByteLen(V_BSTR(&a))) == 0;
  case VT_DISPATCH:
  case VT_UNKNOWN:
    return V_UNKNOWN(&a) == V_UNKNOWN(&b);
  case VT_RECORD:
    return V_RECORDINFO(&a) == V_RECORDINFO(&b) && static_cast<ClientRecordInfo::Record *>(V_RECORD(&a))->number ==
                                                       static_cast<ClientRecordInfo::Record *>(V_RECORD(&b))->number;
  case VT_DECIMAL:
    return std::memcmp(&V_DECIMAL(&a).scale, &V_DECIMAL(&b).scale, sizeof(DECIMAL) - sizeof(USHORT)) == 0;
  default:
    return std::memcmp(&V_I8(&a), &V_I8(&b), ScalarSize(vt)) == 0;
  }
}

/// The pointer a value read back keeps: its string, array or record.
const void *PointerIn(const VARIANT &value) {
  if (V_VT(&value) & VT_ARRAY)
    return V_ARRAY(&value);
  if (V_VT(&value) == VT_BSTR)
    return V_BSTR(&value);
  if (V_VT(&value) == VT_RECORD)
    return V_RECORD(&value);
  return nullptr;
}

/// The members of `collection` in order, each with a reference held.
std::vector<ComPtr<IXItem>> MembersOf(IXCollection *collection) {
  std::vector<ComPtr<IXItem>> members;
  const LONG count = CountOf(collection);
  for (LONG p = 1; p <= count; ++p)
    members.push_back(ItemOf(collection, Var::I4(p)));
  return members;
}

std::vector<IXItem *> Identities(const std::vector<ComPtr<IXItem>> &members) {
  std::vector<IXItem *> items;
  for (const ComPtr<IXItem> &member : members)
    items.push_back(member.Get());
  return items;
}

/// The last value an enumerator made now yields.
Var LastEnumeratedValue(IXCollection *collection) {
  Var value;
  ComPtr<IUnknown> unknown;
  ComPtr<IEnumVARIANT> enumerator;
  if (collection->get__NewEnum(&unknown) != S_OK || FAILED(unknown.As(&enumerator)))
    return value;
  enumerator->Skip(static_cast<ULONG>(CountOf(collection) - 1));
  ULONG fetched = 0;
  EXPECT_EQ(S_OK, enumerator->Next(1, &value, &fetched));
  EXPECT_EQ(1u, fetched);
  return value;
}

/// Which argument of an operation carries the hostile VARIANT.
enum class Slot { Value, Key, Selector, Lookup };

/// What the last successful `Exists` of the sweep answered.
VARIANT_BOOL g_existsAnswer = 0;

/// One operation with one hostile argument; the others are ordinary.
struct Operation {
  const char *name;
  Slot slot;
  std::function<HRESULT(IXCollection *, const VARIANT &, IXItem **)> call;
};

const std::vector<Operation> &Operations() {
  static const std::vector<Operation> operations = {
      {"Add(x)", Slot::Value,
       [](IXCollection *c, const VARIANT &x, IXItem **) { return c->Add(x, Var::Missing().Get()); }},
      {"Add(x, \"new\")", Slot::Value,
       [](IXCollection *c, const VARIANT &x, IXItem **) { return c->Add(x, Var::Str(L"new").Get()); }},
      {"Item(\"new\") = x", Slot::Value,
       [](IXCollection *c, const VARIANT &x, IXItem **) { return c->put_Item(Var::Str(L"new").Get(), x); }},
      {"Add(1, x)", Slot::Key,
       [](IXCollection *c, const VARIANT &x, IXItem **) { return c->Add(Var::I4(1).Get(), x); }},
      {"Item(x) = 1", Slot::Key,
       [](IXCollection *c, const VARIANT &x, IXItem **) { return c->put_Item(x, Var::I4(1).Get()); }},
      {"Item(x)", Slot::Selector,
       [](IXCollection *c, const VARIANT &x, IXItem **out) { return c->get_Item(x, out); }},
      {"Remove(x)", Slot::Selector, [](IXCollection *c, const VARIANT &x, IXItem **) { return c->Remove(x); }},
      {"Exists(x)", Slot::Lookup,
       [](IXCollection *c, const VARIANT &x, IXItem **) {
         ComPtr<IXCollection2> second;
         HRESULT status = c->QueryInterface(IID_IXCollection2, reinterpret_cast<void **>(second.GetAddressOf()));
         g_existsAnswer = 12345;
         if (SUCCEEDED(status))
           status = second->Exists(x, &g_existsAnswer);
         return status;
       }},
  };
  return operations;
}

/// What one operation must do with the value its hostile argument stands
/// for (`copy`, as the platform copies it through references, and the
/// status of that copy).
struct Expectation {
  HRESULT status = S_OK;
  const wchar_t *error = nullptr; // the error object's description, with E_FAIL
  bool replacesKeyed = false;     // the new member replaces the one keyed "hostile"
  LONG picked = 0;                // the position that a selector picks
  bool exists = false;            // what Exists answers
};

/// The collection every case starts from: 10 under "a", "x" without a key,
/// and a client object under "hostile".
ComPtr<IXCollection> StartingCollection() {
  ComPtr<IXCollection> collection = NewCollection();
  AddOrFail(collection.Get(), Var::I4(10), Var::Str(L"a"));
  AddOrFail(collection.Get(), Var::Str(L"x"));
  Var object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = ClientObject::Create(3);
  AddOrFail(collection.Get(), object, Var::Str(L"hostile"));
  return collection;
}

/// What `argument` stands for, in `copy`: the platform's copy of it through
/// references, provided that the platform can copy that value again (else
/// no reader could get it back). The status of the first copy that failed.
HRESULT StandsFor(const VARIANT &argument, Var &copy) {
  HRESULT status = VariantCopyInd(&copy, const_cast<VARIANT *>(&argument));
  if (FAILED(status))
    return status;
  Var again;
  status = VariantCopy(&again, &copy);
  if (FAILED(status)) {
    // VariantClear refuses what VariantCopy refuses.
    if (V_ISARRAY(&copy.Get()))
      SafeArrayDestroy(V_ARRAY(&copy));
    V_VT(&copy) = VT_EMPTY;
  }
  return status;
}

Expectation Expect(Slot slot, HRESULT copyStatus, const VARIANT &copy) {
  Expectation expected;
  if (FAILED(copyStatus)) {
    expected.status = copyStatus;
    return expected;
  }
  const VARTYPE vt = V_VT(&copy);
  switch (slot) {
  case Slot::Value:
    break; // a new member at the end
  case Slot::Key:
    if (vt == VT_BSTR) {
      expected.replacesKeyed = std::wstring(V_BSTR(&copy), SysStringLen(V_BSTR(&copy))) == L"hostile";
    } else if (vt != VT_ERROR) { // VT_ERROR: added without a key
      expected.status = E_FAIL;
      expected.error = L"Type mismatch";
    }
    break;
  case Slot::Selector:
    if (vt == VT_BSTR) {
      if (std::wstring(V_BSTR(&copy), SysStringLen(V_BSTR(&copy))) == L"hostile")
        expected.picked = 3;
      else
        expected.status = E_INVALIDARG;
    } else if (vt == VT_I2 || vt == VT_I4) {
      const LONG p = vt == VT_I2 ? V_I2(&copy) : V_I4(&copy);
      if (p >= 1 && p <= 3) {
        expected.picked = p;
      } else {
        expected.status = E_FAIL;
        expected.error = L"Subscript out of range";
      }
    } else {
      expected.status = E_FAIL;
      expected.error = L"Type mismatch";
    }
    break;
  case Slot::Lookup:
    if (vt == VT_BSTR) {
      const std::wstring key(V_BSTR(&copy), SysStringLen(V_BSTR(&copy)));
      expected.exists = key == L"hostile" || key == L"a";
    } else { // also VT_ERROR: Exists has no key to omit
      expected.status = E_FAIL;
      expected.error = L"Type mismatch";
    }
    break;
  }
  return expected;
}

struct Tally {
  long calls = 0;
  long accepted = 0;
  long refused = 0;
};

/// Runs `operation` with `argument` on a fresh collection and checks what
/// it did against `Expect`.
void RunCase(const Operation &operation, const HostileArgument &argument, Tally &tally) {
  const std::string where = std::string(operation.name) + " with " + argument.Describe();
  SCOPED_TRACE(where);
  // A failure posts its own error object or clears this older one.
  PostStaleError();
  const Resources before;
  {
    ComPtr<IXCollection> collection = StartingCollection();
    const std::vector<ComPtr<IXItem>> original = MembersOf(collection.Get());

    // A null reference stands for nothing: the platform would not survive
    // following it.
    Var copy;
    const HRESULT copyStatus = argument.IsNullReference() ? E_INVALIDARG : StandsFor(argument.Get(), copy);
    const Expectation expected = Expect(operation.slot, copyStatus, copy.Get());

    IXItem *out = reinterpret_cast<IXItem *>(0x1234);
    const HRESULT status = operation.call(collection.Get(), argument.Get(), &out);
    ++tally.calls;
    PostedError error = TakeError();
    if (SUCCEEDED(status) && error.description == kStaleError)
      error.posted = false; // a success leaves the thread's error object alone
    ASSERT_EQ(expected.status, status) << std::hex << "got 0x" << status << ", copy 0x" << copyStatus;
    EXPECT_EQ(expected.error != nullptr, error.posted)
        << "error object: " << std::string(error.description.begin(), error.description.end());
    if (expected.error != nullptr) {
      EXPECT_EQ(expected.error, error.description);
      EXPECT_EQ(L"Collection.XCollection.1", error.source);
      EXPECT_TRUE(IsEqualGUID(IID_IXCollection, error.guid));
    }

    std::vector<ComPtr<IXItem>> members = MembersOf(collection.Get());
    if (FAILED(status)) {
      ++tally.refused;
      EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), out);
      EXPECT_EQ(Identities(original), Identities(members)) << "the collection changed";
      if (operation.slot == Slot::Lookup) {
        EXPECT_EQ(12345, g_existsAnswer);
      }
    } else if (operation.slot == Slot::Lookup) {
      ++tally.accepted;
      EXPECT_EQ(expected.exists ? VARIANT_TRUE : VARIANT_FALSE, g_existsAnswer);
      EXPECT_EQ(Identities(original), Identities(members));
    } else if (operation.slot == Slot::Selector) {
      ++tally.accepted;
      std::vector<ComPtr<IXItem>> left = original;
      if (out != reinterpret_cast<IXItem *>(0x1234)) { // Item get
        EXPECT_EQ(original[expected.picked - 1].Get(), out);
        out->Release();
      } else { // Remove
        left.erase(left.begin() + (expected.picked - 1));
      }
      EXPECT_EQ(Identities(left), Identities(members));
    } else {
      ++tally.accepted;
      std::vector<ComPtr<IXItem>> kept = original;
      if (expected.replacesKeyed)
        kept.pop_back();
      ASSERT_EQ(kept.size() + 1, members.size());
      EXPECT_TRUE(std::equal(kept.begin(), kept.end(), members.begin()));
      IXItem *added = members.back().Get();
      if (operation.slot == Slot::Value) {
        // A VT_ERROR value is an omitted one.
        Var stored = V_VT(&copy) == VT_ERROR ? Var() : Var(copy);
        for (const Var &read : {ValueOf(added), LastEnumeratedValue(collection.Get())}) {
          EXPECT_TRUE(SameVariant(stored.Get(), read.Get())) << "read back as VARTYPE 0x" << std::hex << read.Type();
          EXPECT_FALSE(argument.Owns(PointerIn(read.Get()))) << "a pointer into the caller's memory";
        }
        if (std::string(operation.name).find("new") != std::string::npos)
          EXPECT_EQ(L"new", KeyOf(added).Text());
        else
          EXPECT_EQ(VT_EMPTY, KeyOf(added).Type());
      } else {
        Var key = KeyOf(added);
        if (V_VT(&copy) == VT_ERROR) {
          EXPECT_EQ(VT_EMPTY, key.Type());
        } else {
          EXPECT_TRUE(SameVariant(copy.Get(), key.Get()));
          EXPECT_FALSE(argument.Owns(V_BSTR(&key)));
        }
        EXPECT_EQ(1, V_I4(&ValueOf(added)));
      }
    }
  }
  EXPECT_EQ(before, Resources()) << "left behind";
}

TEST(HostileInput, EveryVartypeInEveryFormAsEveryArgument) {
  ASSERT_TRUE(CountTaskMemory());
  Tally tally;
  int vartypes = 0;
  for (VARTYPE vt = 0; vt <= 0x4A; ++vt, ++vartypes)
    for (Form form : {Form::Plain, Form::ByRef, Form::Array, Form::ArrayByRef, Form::NullByRef, Form::NullArrayByRef})
      for (const Operation &operation : Operations()) {
        HostileArgument argument(vt, form);
        RunCase(operation, argument, tally);
        if (::testing::Test::HasFatalFailure())
          return;
      }
  EXPECT_EQ(vartypes * 6 * static_cast<long>(Operations().size()), tally.calls);
  std::cout << "hostile arguments: " << vartypes << " VARTYPEs x 6 forms x " << Operations().size()
            << " argument slots = " << tally.calls << " calls, " << tally.accepted << " accepted, " << tally.refused
            << " refused\n";
}

// XJson writes what has a JSON form and refuses everything else with its
// error object (or, for an indent the platform cannot copy, that copy's
// status), handing out no text then; nothing is left behind either way.
TEST(HostileInput, EveryVartypeInEveryFormToXJson) {
  ASSERT_TRUE(CountTaskMemory());
  ComPtr<IXJson> json = NewJson();
  long written = 0, refused = 0;
  for (VARTYPE vt = 0; vt <= 0x4A; ++vt)
    for (Form form : {Form::Plain, Form::ByRef, Form::Array, Form::ArrayByRef})
      for (bool asIndent : {false, true}) {
        HostileArgument argument(vt, form);
        SCOPED_TRACE(argument.Describe() + (asIndent ? " as the indent" : " as the value"));
        PostStaleError();
        const Resources before;
        BSTR text = reinterpret_cast<BSTR>(1);
        const HRESULT status = asIndent ? json->Stringify(Var::I4(1).Get(), argument.Get(), &text)
                                        : json->Stringify(argument.Get(), Var::Missing().Get(), &text);
        const PostedError error = TakeError();
        if (SUCCEEDED(status)) {
          ++written;
          ASSERT_NE(nullptr, text);
          SysFreeString(text);
          EXPECT_EQ(kStaleError, error.description); // a success leaves the thread's error object alone
        } else {
          ++refused;
          EXPECT_EQ(nullptr, text);
          EXPECT_NE(kStaleError, error.description);
          if (error.posted) {
            EXPECT_EQ(L"Collection.XJson.1", error.source);
            EXPECT_FALSE(error.description.empty());
          }
        }
        EXPECT_EQ(before, Resources()) << "left behind";
        if (::testing::Test::HasFatalFailure())
          return;
      }
  std::cout << "hostile arguments to XJson: " << written << " written, " << refused << " refused\n";
  EXPECT_GT(written, 0);
  EXPECT_GT(refused, 0);
}

/// Checks, when it goes, that `collection` holds what it held when it was
/// made and that nothing else was left behind.
class Unchanged {
public:
  explicit Unchanged(IXCollection *collection)
      : m_collection(collection), m_members(Identities(MembersOf(collection))) {}
  ~Unchanged() {
    EXPECT_EQ(m_members, Identities(MembersOf(m_collection)));
    EXPECT_FALSE(TakeError().posted);
  }

private:
  IXCollection *m_collection;
  std::vector<IXItem *> m_members;
};

// Through a typed reference the platform copies an array of a type that
// VARIANTs do not carry (such as VT_EMPTY) without a complaint, yet can
// neither copy nor clear the result. The collection must refuse it rather
// than keep a member that no reader can get back and nobody can free.
TEST(HostileInput, AReferenceToAnArrayOfAnUncarriedTypeIsRefused) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  const Resources before;
  {
    ComPtr<IXCollection> collection = StartingCollection();
    Unchanged unchanged(collection.Get());
    for (VARTYPE vt : {VARTYPE(VT_EMPTY), VARTYPE(VT_NULL)}) {
      SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, 3);
      Var reference;
      V_VT(&reference) = VT_BYREF | VT_ARRAY | vt;
      V_ARRAYREF(&reference) = &array;
      IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);
      EXPECT_EQ(DISP_E_BADVARTYPE, collection->Add(reference.Get(), Var::Missing().Get()));
      EXPECT_EQ(DISP_E_BADVARTYPE, collection->Add(Var::I4(1).Get(), reference.Get()));
      EXPECT_EQ(DISP_E_BADVARTYPE, collection->get_Item(reference.Get(), &untouched));
      EXPECT_EQ(DISP_E_BADVARTYPE, collection->Remove(reference.Get()));
      ComPtr<IXCollection2> second;
      ASSERT_EQ(S_OK, collection.As(&second));
      VARIANT_BOOL exists = 12345;
      EXPECT_EQ(DISP_E_BADVARTYPE, second->Exists(reference.Get(), &exists));
      EXPECT_EQ(12345, exists);
      EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);
      V_VT(&reference) = VT_EMPTY;
      SafeArrayDestroy(array);
    }
  }
  EXPECT_EQ(before, Resources());
}

// An array of VARIANTs that holds a reference to itself would be copied
// without end: it is refused, as arrays nested deeper than 1,000 are.
TEST(HostileInput, AnArrayHoldingItselfIsRefused) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  const Resources before;
  {
    ComPtr<IXCollection> collection = StartingCollection();
    Unchanged unchanged(collection.Get());
    SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT *self = static_cast<VARIANT *>(array->pvData);
    V_VT(self) = VT_BYREF | VT_ARRAY | VT_VARIANT;
    V_ARRAYREF(self) = &array;
    VARIANT argument;
    V_VT(&argument) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&argument) = array;
    EXPECT_EQ(E_INVALIDARG, collection->Add(argument, Var::Missing().Get()));
    SafeArrayDestroy(array);
  }
  EXPECT_EQ(before, Resources());
}

TEST(HostileInput, NullPointersAreRefusedEverywhere) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  {
    // The type information of both interfaces, loaded once and kept for
    // the life of the module.
    ComPtr<IXCollection> collection = StartingCollection();
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, collection->GetTypeInfo(0, 0, &info));
    info.Reset();
    ASSERT_EQ(S_OK, ItemOf(collection.Get(), Var::I4(1))->GetTypeInfo(0, 0, &info));
  }
  const Resources before;
  {
    ComPtr<IXCollection> collection = StartingCollection();
    Unchanged unchanged(collection.Get());
    EXPECT_EQ(E_POINTER, collection->QueryInterface(IID_IUnknown, nullptr));
    for (const Var &selector : {Var::I4(1), Var::Str(L"a"), Var::Str(L"absent"), Var::I4(0), Var::R8(1.0)})
      EXPECT_EQ(E_POINTER, collection->get_Item(selector.Get(), nullptr));
    EXPECT_EQ(E_POINTER, collection->get_Count(nullptr));
    EXPECT_EQ(E_POINTER, collection->get__NewEnum(nullptr));
    ComPtr<IXCollection2> second;
    ASSERT_EQ(S_OK, collection.As(&second));
    for (const Var &key : {Var::Str(L"a"), Var::Str(L"absent"), Var::I4(1)})
      EXPECT_EQ(E_POINTER, second->Exists(key.Get(), nullptr));
    EXPECT_EQ(E_POINTER, second->Keys(nullptr));
    EXPECT_EQ(E_POINTER, second->Items(nullptr));
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, collection.As(&support));
    EXPECT_EQ(E_POINTER, support->QueryInterface(IID_IUnknown, nullptr));

    ComPtr<IXItem> item = ItemOf(collection.Get(), Var::I4(1));
    EXPECT_EQ(E_POINTER, item->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, item->get_Value(nullptr));
    EXPECT_EQ(E_POINTER, item->get_Key(nullptr));

    // Both halves of both dual interfaces.
    ComPtr<IDispatch> collectionDispatch;
    ComPtr<IDispatch> itemDispatch;
    ASSERT_EQ(S_OK, collection.As(&collectionDispatch));
    ASSERT_EQ(S_OK, item.As(&itemDispatch));
    // Each with a member it can read without arguments: Count, Value.
    for (const std::pair<IDispatch *, DISPID> &half :
         {std::make_pair(collectionDispatch.Get(), DISPID(DISPID_XCOLLECTION_COUNT)),
          std::make_pair(itemDispatch.Get(), DISPID(DISPID_XITEM_VALUE))}) {
      IDispatch *dispatch = half.first;
      EXPECT_EQ(E_POINTER, dispatch->GetTypeInfoCount(nullptr));
      EXPECT_EQ(E_POINTER, dispatch->GetTypeInfo(0, 0, nullptr));
      LPOLESTR names[] = {const_cast<LPOLESTR>(L"Value")};
      DISPID id = 12345;
      EXPECT_EQ(E_POINTER, dispatch->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id));
      EXPECT_EQ(E_POINTER, dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr));
      LPOLESTR noName[] = {nullptr};
      EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, noName, 1, 0, &id));

      // Parameters that promise arguments they do not carry.
      Var result;
      EXCEPINFO exception{};
      UINT argumentError = 0;
      EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(half.second, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, &result,
                                               &exception, &argumentError));
      DISPPARAMS missingArguments{nullptr, nullptr, 2, 0};
      EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &missingArguments, &result,
                                               &exception, &argumentError));
      VARIANT argument = Var::I4(1).Get();
      DISPPARAMS missingNames{&argument, nullptr, 1, 1};
      EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYPUT, &missingNames, &result,
                                               &exception, &argumentError));
      DISPID named = DISPID_PROPERTYPUT;
      DISPPARAMS moreNamesThanArguments{&argument, &named, 1, 2};
      EXPECT_EQ(E_INVALIDARG, dispatch->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYPUT, &moreNamesThanArguments, &result,
                                               &exception, &argumentError));
      EXPECT_EQ(VT_EMPTY, result.Type());
      ClearException(exception);

      // Every optional out-pointer of Invoke left out.
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      EXPECT_EQ(S_OK,
                dispatch->Invoke(half.second, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr));
    }
    // A failing late-bound call with nowhere to put its exception.
    VARIANT zero = Var::I4(0).Get();
    DISPPARAMS outOfRange{&zero, nullptr, 1, 0};
    EXPECT_TRUE(FAILED(
        collectionDispatch->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYGET, &outOfRange, nullptr, nullptr, nullptr)));
    ClearError();

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, collection->get__NewEnum(&unknown));
    ComPtr<IEnumVARIANT> enumerator;
    ASSERT_EQ(S_OK, unknown.As(&enumerator));
    EXPECT_EQ(E_POINTER, enumerator->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, enumerator->Clone(nullptr));
    ULONG fetched = 12345;
    EXPECT_EQ(E_POINTER, enumerator->Next(1, nullptr, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_OK, enumerator->Next(0, nullptr, nullptr));
    Var first;
    EXPECT_EQ(S_OK, enumerator->Next(1, &first, nullptr)); // nothing moved before
    EXPECT_EQ(10, V_I4(&first));

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_Collection, IID_IClassFactory, nullptr));
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_Collection, IID_IClassFactory,
                                      reinterpret_cast<void **>(factory.GetAddressOf())));
    EXPECT_EQ(E_POINTER, factory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IXCollection, nullptr));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(collection.Get(), IID_IUnknown, nullptr));
  }
  VariantCollection::ReleaseClassObjects();
  EXPECT_EQ(before, Resources());
}

TEST(HostileInput, PositionsOutOfRangeChangeNothing) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  const Resources before;
  long tried = 0;
  {
    ComPtr<IXCollection> collection = StartingCollection();
    ComPtr<IXCollection> empty = NewCollection();
    std::vector<Var> positions;
    for (LONG p : {0L, -1L, 4L, 5L, LONG(0x7FFFFFFF), LONG(0x80000000)})
      positions.push_back(Var::I4(p));
    for (SHORT p : {SHORT(0), SHORT(-1), SHORT(4), SHORT(0x7FFF), SHORT(-0x8000)})
      positions.push_back(Var::I2(p));
    const std::size_t plain = positions.size();
    positions.reserve(2 * plain + 1);       // the references below point into it
    for (std::size_t i = 0; i < plain; ++i) // as a script passes its variables
      positions.push_back(Var::RefTo(&positions[i].Get()));
    LONG big = 0x7FFFFFFF;
    Var typedRef;
    V_VT(&typedRef) = VT_BYREF | VT_I4;
    V_I4REF(&typedRef) = &big;
    positions.push_back(typedRef);

    for (IXCollection *c : {collection.Get(), empty.Get()}) {
      Unchanged unchanged(c);
      for (const Var &position : positions) {
        IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);
        EXPECT_EQ(E_FAIL, c->get_Item(position.Get(), &untouched));
        EXPECT_EQ(L"Subscript out of range", TakeError().description);
        EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);
        EXPECT_EQ(E_FAIL, c->Remove(position.Get()));
        EXPECT_EQ(L"Subscript out of range", TakeError().description);
        tried += 2;
      }
      // The first and the last position are in range, also by reference.
      Var one = Var::I4(1);
      Var last = Var::I2(static_cast<SHORT>(CountOf(c)));
      if (CountOf(c) > 0) {
        EXPECT_TRUE(ItemOf(c, Var::RefTo(&one.Get())));
        EXPECT_TRUE(ItemOf(c, Var::RefTo(&last.Get())));
      }
    }
  }
  EXPECT_EQ(before, Resources());
  std::cout << "positions out of range: " << tried << " calls\n";
}

/// A BSTR holding exactly `length` characters of `text`, zeros included.
Var Key(const wchar_t *text, UINT length) {
  Var key;
  V_VT(&key) = VT_BSTR;
  V_BSTR(&key) = SysAllocStringLen(text, length);
  return key;
}

/// The bytes of a BSTR key, for comparing read-back keys exactly.
std::string BytesOf(const Var &key) {
  BSTR text = V_BSTR(&key.Get());
  return std::string(reinterpret_cast<const char *>(text), SysStringByteLen(text));
}

TEST(HostileInput, KeysWithZeroCharactersAndEmptyKeysAreExactKeys) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  const Resources before;
  {
    // Each differs from every other in length or content; the null string
    // is the empty one.
    std::vector<Var> keys;
    keys.push_back(Key(L"", 0));
    keys.push_back(Key(L"a", 1));
    keys.push_back(Key(L"a\0", 2));
    keys.push_back(Key(L"\0", 1));
    keys.push_back(Key(L"\0\0", 2));
    keys.push_back(Key(L"a\0b", 3));
    keys.push_back(Key(L"a\0c", 3));
    keys.push_back(Key(L"\0a", 2));
    keys.push_back(Var::Bytes("a", 1)); // an odd number of bytes
    keys.push_back(Var::Bytes("a\0\0", 3));

    ComPtr<IXCollection> collection = NewCollection();
    for (std::size_t i = 0; i < keys.size(); ++i)
      AddOrFail(collection.Get(), Var::I4(static_cast<LONG>(i)), keys[i]);
    ASSERT_EQ(static_cast<LONG>(keys.size()), CountOf(collection.Get()));
    EXPECT_EQ(0, V_I4(&ValueOf(ItemOf(collection.Get(), Var::NullStr()).Get())));

    for (std::size_t i = 0; i < keys.size(); ++i) {
      SCOPED_TRACE(i);
      Var copy(keys[i]); // an equal string elsewhere in memory
      ComPtr<IXItem> item = ItemOf(collection.Get(), copy);
      ASSERT_TRUE(item);
      EXPECT_EQ(static_cast<LONG>(i), V_I4(&ValueOf(item.Get())));
      EXPECT_EQ(BytesOf(keys[i]), BytesOf(KeyOf(item.Get())));
    }
    // Removing one leaves every other.
    ASSERT_EQ(S_OK, collection->Remove(Key(L"a\0b", 3).Get()));
    EXPECT_EQ(E_INVALIDARG, collection->Remove(Key(L"a\0b", 3).Get()));
    EXPECT_EQ(6, V_I4(&ValueOf(ItemOf(collection.Get(), Key(L"a\0c", 3)).Get())));
    EXPECT_EQ(static_cast<LONG>(keys.size()) - 1, CountOf(collection.Get()));
    // Replacing the empty key through the null string.
    AddOrFail(collection.Get(), Var::I4(99), Var::NullStr());
    EXPECT_EQ(static_cast<LONG>(keys.size()) - 1, CountOf(collection.Get()));
    EXPECT_EQ(99, V_I4(&ValueOf(ItemOf(collection.Get(), Key(L"", 0)).Get())));
    EXPECT_FALSE(TakeError().posted);
  }
  EXPECT_EQ(before, Resources());
}

TEST(HostileInput, AMegabyteKeyIsComparedInFull) {
  ASSERT_TRUE(CountTaskMemory());
  ClearError();
  const Resources before;
  {
    const UINT length = 512 * 1024; // 1 MB of UTF-16
    std::wstring text(length, L'\0');
    for (UINT i = 0; i < length; ++i)
      text[i] = i % 1000 == 0 ? L'\0' : static_cast<wchar_t>(L'A' + i % 26);
    Var key = Key(text.data(), length);
    std::wstring lastChanged = text;
    lastChanged.back() = L'!';
    std::wstring firstChanged = text;
    firstChanged.front() = L'!';

    ComPtr<IXCollection> collection = NewCollection();
    AddOrFail(collection.Get(), Var::I4(1), key);
    AddOrFail(collection.Get(), Var::I4(2), Key(firstChanged.data(), length));
    EXPECT_EQ(2, CountOf(collection.Get()));

    IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);
    for (const Var &other : {Key(lastChanged.data(), length), Key(text.data(), length - 1),
                             Var::Bytes(reinterpret_cast<const char *>(text.data()), length * 2 - 1)})
      EXPECT_EQ(E_INVALIDARG, collection->get_Item(other.Get(), &untouched));
    EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);

    ComPtr<IXItem> first = ItemOf(collection.Get(), Key(text.data(), length));
    ASSERT_TRUE(first);
    EXPECT_EQ(1, V_I4(&ValueOf(first.Get())));
    EXPECT_EQ(BytesOf(key), BytesOf(KeyOf(first.Get())));

    // Replaced by key: moves to the end, the old item keeps its value.
    AddOrFail(collection.Get(), Var::I4(3), Key(text.data(), length));
    EXPECT_EQ(2, CountOf(collection.Get()));
    EXPECT_EQ(3, V_I4(&ValueOf(ItemOf(collection.Get(), Var::I4(2)).Get())));
    EXPECT_EQ(1, V_I4(&ValueOf(first.Get())));
    EXPECT_EQ(3, V_I4(&LastEnumeratedValue(collection.Get())));

    ASSERT_EQ(S_OK, collection->Remove(key.Get()));
    ASSERT_EQ(S_OK, collection->Remove(Key(firstChanged.data(), length).Get()));
    EXPECT_EQ(0, CountOf(collection.Get()));
  }
  EXPECT_EQ(before, Resources());
}

} // namespace

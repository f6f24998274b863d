//===- server_calls.cpp - Calls per second into the variant collection server -===//
//
// Calls the registered variant collection server from C++ on the same work in
// two ways: early-bound through its vtable (the server's own cost) and
// late-bound through IDispatch::Invoke with the member's DISPID and the flags
// a script engine passes (what every script call pays on top of the engine's
// own work). Prints one line per figure, which bench/report.py reads:
//
//   BENCH table=calls case=add library=vtable n=100000 unit=calls/s value=2.5e7
//
// Cases, each over a collection of n members with keys "key<i>" and the
// numbers i as values (i = 1..n):
//
//   add              Add(i, key) of every member to a new collection
//   keyed_item       Item(key) of every member; the item is released
//   positional_item  Item(i) for every position
//   item_value       Value of every member's item
//   count            Count, n times: the least any call costs
//   exists           Exists(key) of every member (IXCollection2; late-bound
//                    with the flags of a script's call)
//   keyed_remove     Remove(key) of every member, oldest first
//   next             IEnumVARIANT::Next of one value at a time over all
//                    members (vtable only: enumerators have no IDispatch)
//   name_lookup      GetIDsOfNames of "Item", n times (IDispatch only: the
//                    lookup a script engine makes before every call)
//
// Only the calls are timed (QueryPerformanceCounter): making collections,
// keys and items for a case is not. The two ways take turns, n calls at a
// time, until each has run for at least 0.2 s (0.01 s with --quick).
//
// Usage: collection_server_calls [--quick] [n...]
//   default sizes 1,000 to 1,000,000; --quick: 1,000 only, briefly. The
//   closing line "collection_server_calls: done" tells a complete run.
//
//===----------------------------------------------------------------------===//

#include <Collection.h>

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

/// Stops the program with a message: a benchmark whose calls fail measures
/// nothing.
[[noreturn]] void Fail(const char *what, HRESULT status) {
  std::fprintf(stderr, "collection_server_calls: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(status));
  std::exit(1);
}

void Check(const char *what, HRESULT status) {
  if (FAILED(status))
    Fail(what, status);
}

/// Seconds since an arbitrary start, from the performance counter.
double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

/// The inputs of one size: keys and values as VARIANTs, made once.
class Inputs {
public:
  explicit Inputs(std::size_t n) : m_keys(n), m_values(n), m_positions(n) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::wstring text = L"key" + std::to_wstring(i + 1);
      VariantInit(&m_keys[i]);
      V_VT(&m_keys[i]) = VT_BSTR;
      V_BSTR(&m_keys[i]) = SysAllocString(text.c_str());
      if (V_BSTR(&m_keys[i]) == nullptr)
        Fail("SysAllocString", E_OUTOFMEMORY);
      VariantInit(&m_values[i]);
      V_VT(&m_values[i]) = VT_I4;
      V_I4(&m_values[i]) = static_cast<LONG>(i + 1);
      m_positions[i] = m_values[i];
    }
  }
  ~Inputs() {
    for (VARIANT &key : m_keys)
      VariantClear(&key);
  }
  Inputs(const Inputs &) = delete;
  Inputs &operator=(const Inputs &) = delete;

  std::size_t Size() const { return m_keys.size(); }
  VARIANT &Key(std::size_t i) { return m_keys[i]; }
  VARIANT &Value(std::size_t i) { return m_values[i]; }
  VARIANT &Position(std::size_t i) { return m_positions[i]; }

private:
  std::vector<VARIANT> m_keys;
  std::vector<VARIANT> m_values;
  std::vector<VARIANT> m_positions;
};

IXCollection *NewCollection() {
  IXCollection *collection = nullptr;
  Check("CoCreateInstance(Collection.XCollection)",
        CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER, IID_IXCollection,
                         reinterpret_cast<void **>(&collection)));
  return collection;
}

IXCollection *FilledCollection(Inputs &inputs) {
  IXCollection *collection = NewCollection();
  for (std::size_t i = 0; i < inputs.Size(); ++i)
    Check("Add", collection->Add(inputs.Value(i), inputs.Key(i)));
  return collection;
}

/// A late-bound call as a script engine makes it: arguments in reverse
/// order, no named arguments, the result (if wanted) into `result`.
HRESULT Call(IDispatch *object, DISPID member, WORD flags, VARIANT *reversedArguments, UINT count, VARIANT *result) {
  DISPPARAMS params = {reversedArguments, nullptr, count, 0};
  EXCEPINFO exception;
  std::memset(&exception, 0, sizeof exception);
  UINT argumentError = 0;
  return object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception, &argumentError);
}

const WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

/// How a case is called.
enum class Binding { Vtable, Dispatch };

const char *NameOf(Binding binding) { return binding == Binding::Vtable ? "vtable" : "IDispatch"; }

void Report(const char *caseName, Binding binding, std::size_t n, double callsPerSecond) {
  std::printf("BENCH table=calls case=%s library=%s n=%lu unit=calls/s value=%.4g\n", caseName, NameOf(binding),
              static_cast<unsigned long>(n), callsPerSecond);
  std::fflush(stdout);
}

/// Times a case for each of `bindings` in turns (the order reversed every
/// other turn, so that a change in the machine's load meets each alike)
/// until each has run for at least `minSeconds`, and reports its calls per
/// second. `chunk(binding)` makes n calls and answers the seconds they
/// took; it prepares and clears up untimed. After the first turn each
/// binding runs as many chunks a turn as fill a twentieth of `minSeconds`,
/// so that a fast one does not wait on turns for a slow one.
template <class Chunk>
void Measure(const char *caseName, std::size_t n, double minSeconds, std::vector<Binding> bindings, Chunk chunk) {
  const std::size_t count = bindings.size();
  std::vector<double> seconds(count, 0.0);
  std::vector<std::size_t> calls(count, 0), chunks(count, 1);
  for (std::size_t turn = 0;; ++turn) {
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t i = turn % 2 == 0 ? k : count - 1 - k;
      for (std::size_t c = 0; c < chunks[i]; ++c) {
        seconds[i] += chunk(bindings[i]);
        calls[i] += n;
      }
      if (turn == 0 && seconds[i] > 0)
        chunks[i] = static_cast<std::size_t>(minSeconds / 20 / seconds[i]) + 1;
    }
    bool done = true;
    for (double timed : seconds)
      done = done && timed >= minSeconds;
    if (done)
      break;
  }
  for (std::size_t i = 0; i < count; ++i)
    Report(caseName, bindings[i], n, static_cast<double>(calls[i]) / seconds[i]);
}

/// Seconds that `run()` takes.
template <class Run> double Timed(Run run) {
  const double start = Now();
  run();
  return Now() - start;
}

IDispatch *DispatchOf(IUnknown *object) {
  IDispatch *dispatch = nullptr;
  Check("QueryInterface(IDispatch)", object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch)));
  return dispatch;
}

void RunSize(std::size_t n, double minSeconds) {
  Inputs inputs(n);
  const std::vector<Binding> both = {Binding::Vtable, Binding::Dispatch};

  Measure("add", n, minSeconds, both, [&](Binding binding) {
    IXCollection *collection = NewCollection();
    IDispatch *dispatch = DispatchOf(collection);
    const double seconds = Timed([&] {
      for (std::size_t i = 0; i < n; ++i) {
        if (binding == Binding::Vtable) {
          Check("Add", collection->Add(inputs.Value(i), inputs.Key(i)));
        } else {
          VARIANT arguments[2] = {inputs.Key(i), inputs.Value(i)};
          Check("Invoke(Add)", Call(dispatch, 1, DISPATCH_METHOD, arguments, 2, nullptr));
        }
      }
    });
    dispatch->Release();
    collection->Release();
    return seconds;
  });

  IXCollection *filled = FilledCollection(inputs);
  IDispatch *dispatch = DispatchOf(filled);

  for (bool keyed : {true, false}) {
    Measure(keyed ? "keyed_item" : "positional_item", n, minSeconds, both, [&](Binding binding) {
      return Timed([&] {
        for (std::size_t i = 0; i < n; ++i) {
          VARIANT &selector = keyed ? inputs.Key(i) : inputs.Position(i);
          if (binding == Binding::Vtable) {
            IXItem *item = nullptr;
            Check("Item", filled->get_Item(selector, &item));
            item->Release();
          } else {
            VARIANT result;
            VariantInit(&result);
            Check("Invoke(Item)", Call(dispatch, DISPID_VALUE, kGet, &selector, 1, &result));
            VariantClear(&result);
          }
        }
      });
    });
  }

  std::vector<IXItem *> items(n);
  for (std::size_t i = 0; i < n; ++i)
    Check("Item", filled->get_Item(inputs.Position(i), &items[i]));
  Measure("item_value", n, minSeconds, both, [&](Binding binding) {
    return Timed([&] {
      for (IXItem *item : items) {
        VARIANT value;
        VariantInit(&value);
        Check("Value", binding == Binding::Vtable ? item->get_Value(&value)
                                                  : Call(item, DISPID_VALUE, kGet, nullptr, 0, &value));
        VariantClear(&value);
      }
    });
  });
  for (IXItem *item : items)
    item->Release();

  Measure("count", n, minSeconds, both, [&](Binding binding) {
    return Timed([&] {
      for (std::size_t i = 0; i < n; ++i) {
        VARIANT count;
        VariantInit(&count);
        Check("Count", binding == Binding::Vtable ? filled->get_Count(&V_I4(&count))
                                                  : Call(dispatch, 3, kGet, nullptr, 0, &count));
      }
    });
  });

  IXCollection2 *extended = nullptr;
  Check("QueryInterface(IXCollection2)",
        filled->QueryInterface(IID_IXCollection2, reinterpret_cast<void **>(&extended)));
  Measure("exists", n, minSeconds, both, [&](Binding binding) {
    return Timed([&] {
      for (std::size_t i = 0; i < n; ++i) {
        VARIANT exists;
        VariantInit(&exists);
        V_VT(&exists) = VT_BOOL;
        Check("Exists", binding == Binding::Vtable ? extended->Exists(inputs.Key(i), &V_BOOL(&exists))
                                                   : Call(dispatch, 4, kGet, &inputs.Key(i), 1, &exists));
        if (V_BOOL(&exists) != VARIANT_TRUE)
          Fail("Exists", E_FAIL);
      }
    });
  });
  extended->Release();

  Measure("next", n, minSeconds, {Binding::Vtable}, [&](Binding) {
    IUnknown *unknown = nullptr;
    Check("_NewEnum", filled->get__NewEnum(&unknown));
    IEnumVARIANT *enumerator = nullptr;
    Check("QueryInterface(IEnumVARIANT)",
          unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void **>(&enumerator)));
    unknown->Release();
    const double seconds = Timed([&] {
      for (std::size_t i = 0; i < n; ++i) {
        VARIANT value;
        VariantInit(&value);
        if (enumerator->Next(1, &value, nullptr) != S_OK)
          Fail("Next", E_FAIL);
        VariantClear(&value);
      }
    });
    enumerator->Release();
    return seconds;
  });

  Measure("name_lookup", n, minSeconds, {Binding::Dispatch}, [&](Binding) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Item")};
    return Timed([&] {
      for (std::size_t i = 0; i < n; ++i) {
        DISPID id = 0;
        Check("GetIDsOfNames", dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
      }
    });
  });

  dispatch->Release();
  filled->Release();

  Measure("keyed_remove", n, minSeconds, both, [&](Binding binding) {
    IXCollection *collection = FilledCollection(inputs);
    IDispatch *target = DispatchOf(collection);
    const double seconds = Timed([&] {
      for (std::size_t i = 0; i < n; ++i) {
        if (binding == Binding::Vtable)
          Check("Remove", collection->Remove(inputs.Key(i)));
        else
          Check("Invoke(Remove)", Call(target, 2, DISPATCH_METHOD, &inputs.Key(i), 1, nullptr));
      }
    });
    target->Release();
    collection->Release();
    return seconds;
  });
}

} // namespace

int main(int argc, char **argv) {
  bool quick = false;
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      quick = true;
    else
      sizes.push_back(static_cast<std::size_t>(std::strtoul(argv[i], nullptr, 10)));
  }
  if (sizes.empty())
    sizes = quick ? std::vector<std::size_t>{1000} : std::vector<std::size_t>{1000, 10000, 100000, 1000000};
  const double minSeconds = quick ? 0.01 : 0.2;

  Check("CoInitialize", CoInitialize(nullptr));
  for (std::size_t n : sizes)
    RunSize(n, minSeconds);
  CoUninitialize();
  std::printf("collection_server_calls: done\n");
  return 0;
}

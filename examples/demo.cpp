//===- demo.cpp - A tour of the value library -----------------------------===//
//
// Makes values of each kind, reads them through the typed accessors that
// convert between kinds, and prints them.
//
//===----------------------------------------------------------------------===//

#include <Collection/Collection.h>

#include <iomanip>
#include <iostream>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

// Values live by reference counts: a handle adopts the reference a new value
// is born with and releases it when it goes out of scope.
template <typename Kind, typename Argument> Runtime::Ref<const Value> Hold(Argument argument) {
  return Runtime::Ref<const Value>(new Kind(argument));
}

void Show(const char *label, const Value &value) {
  std::cout << std::left << std::setw(24) << label << std::right << " prints ";
  value.Print(std::cout);
  std::cout << "  | bool " << std::boolalpha << value.BoolValue() << "  int " << value.IntValue() << "  unsigned "
            << value.UnsignedIntValue() << "  double " << value.DoubleValue() << "  string \"" << value.StringValue()
            << "\"\n";
}

// A framework object of the program's own, to wrap in a value.
class Document : public Runtime::Object {
protected:
  ~Document() override = default;
};

// Visits the entries of a dictionary, in key order, printing one line each.
class EntryLister : public Dictionary::Applier {
public:
  bool ApplyToEntry(const std::string &key, const Value &value) override {
    std::cout << "  " << std::left << std::setw(8) << key << std::right << " -> ";
    if (value.Count() != 0)
      std::cout << "(" << value.Count() << " entries)\n";
    else
      std::cout << value.ToString() << '\n';
    return true;
  }
};

// The road of a typical use: settings kept in nested dictionaries, read back
// through a key path, and laid over a set of defaults.
void ShowContainers() {
  std::cout << "\n== A dictionary of settings ==\n";
  // `new` of a value yields null (it never throws) when the native allocator
  // is exhausted; a handle adopts the one reference a new value is born with.
  Runtime::Ref<Dictionary> settings(new Dictionary);
  Runtime::Ref<Dictionary> view(new Dictionary);
  if (!settings || !view)
    return;
  // A container takes its own reference on every value given to it, so the
  // handles MakeValue returns may go right away.
  settings->SetValueForKey("width", *MakeValue(42));
  view->SetValueForKey("zoom", *MakeValue(1.5));
  view->SetValueForKey("title", *MakeValue("Overview"));
  settings->SetValueForKey("view", *view);
  std::cout << "view is held by our handle and by settings: RetainCount " << view->RetainCount() << '\n';

  std::cout << "width:                      " << settings->GetValueForKey("width").IntValue() << '\n';
  std::cout << "GetValueForKeyPath(\"view.zoom\").DoubleValue(): "
            << settings->GetValueForKeyPath("view.zoom").DoubleValue() << '\n';
  std::cout << "view.depth is missing, so null: " << settings->GetValueForKeyPath("view.depth").IsNull() << '\n';
  std::cout << "keys are walked in byte order (Apply):\n";
  EntryLister lister;
  settings->Apply(lister);
  std::cout << "settings->Print:\n";
  settings->Print(std::cout);
  std::cout << '\n';

  std::cout << "\n== Settings laid over defaults ==\n";
  Runtime::Ref<Dictionary> defaults(new Dictionary);
  Runtime::Ref<Dictionary> defaultView(new Dictionary);
  if (!defaults || !defaultView)
    return;
  defaults->SetValueForKey("width", *MakeValue(640));
  defaults->SetValueForKey("height", *MakeValue(480));
  defaultView->SetValueForKey("zoom", *MakeValue(1.0));
  defaultView->SetValueForKey("grid", *MakeValue(true));
  defaults->SetValueForKey("view", *defaultView);

  // A copy shares the defaults' values; the hierarchical merge then descends
  // where both sides hold dictionaries (view) and lets the settings win.
  Runtime::Ref<Dictionary> effective(new Dictionary(*defaults));
  if (!effective)
    return;
  effective->AddEntriesFromDictionaryHierarchically(*settings);
  effective->Print(std::cout);
  std::cout << '\n';
  std::cout << "the defaults' own view is untouched, zoom still "
            << defaults->GetValueForKeyPath("view.zoom").DoubleValue() << '\n';
  std::cout << "values are shared, not copied: effective width is settings' width object: "
            << (&effective->GetValueForKey("width") == &settings->GetValueForKey("width")) << '\n';

  std::cout << "\n== Arrays keep their order ==\n";
  Runtime::Ref<Array> recent(new Array);
  if (!recent)
    return;
  recent->AddValue(*MakeValue("notes.txt"));
  recent->AddValue(*MakeValue(255));
  recent->InsertValueAtIndex(0, *MakeValue("plan.txt"));
  recent->AddValue(*view);
  std::cout << "Count " << recent->Count() << ", [0] = " << (*recent)[0].StringValue()
            << ", [9] is null: " << (*recent)[9].IsNull() << '\n';
  std::cout << "an array prints its elements into the caller's stream (hex here):\n";
  std::cout << std::hex;
  recent->Print(std::cout);
  std::cout << std::dec << '\n';
  // The handles release their references here; the last release of each
  // container releases everything it holds.
}

} // namespace

int main() {
  std::cout << "== Every value answers every accessor ==\n";
  Show("Boolean::True()", Boolean::True());
  Show("Number(-1L)", Number(-1L));
  Show("Number(4294967295ul)", Number(4294967295ul));
  Show("Number(3.99)", Number(3.99));
  Show("Number(-3.99)", Number(-3.99));
  Show("Number(5e9)", Number(5e9));
  Show("String(\"  42 apples\")", *Hold<String>(std::string("  42 apples")));
  Show("String(\"1e3\")", *Hold<String>(std::string("1e3")));
  Show("String(\"false\")", *Hold<String>(std::string("false")));
  Show("Value::Null()", Value::Null());

  std::cout << "\n== Equality never crosses kinds ==\n" << std::boolalpha;
  auto one = Hold<String>(std::string("1"));
  std::cout << "Number(1L) == Number(1.0f):     " << (Number(1L) == Number(1.0f)) << '\n';
  std::cout << "Number(1L) == String(\"1\"):      " << (Number(1L) == *one) << '\n';
  std::cout << "Number(1L) == Boolean::True():  " << (Number(1L) == static_cast<const Value &>(Boolean::True()))
            << '\n';
  std::cout << "Value::Null() == Value::Null(): " << (Value::Null() == Value::Null()) << '\n';

  std::cout << "\n== Print honours the caller's stream, ToString does not ==\n";
  Number byte(255L);
  std::cout << "hex stream: ";
  std::cout << std::hex << std::showbase;
  byte.Print(std::cout);
  std::cout << std::dec << std::noshowbase << "   ToString: " << byte.ToString() << '\n';

  std::cout << "\n== Lookups on a value that holds nothing answer the null value ==\n";
  std::cout << "Number(7L)[\"width\"] is null: " << Number(7L)["width"].IsNull() << '\n';

  std::cout << "\n== MakeValue makes the kind the argument's type calls for ==\n";
  Show("MakeValue(true)", *MakeValue(true));
  Show("MakeValue(ushort 65535)", *MakeValue(static_cast<unsigned short>(65535)));
  Show("MakeValue(4294967295u)", *MakeValue(4294967295u));
  Show("MakeValue(0.25f)", *MakeValue(0.25f));
  Show("MakeValue(\"3.5 kg\")", *MakeValue("3.5 kg"));

  std::cout << "\n== A Data holds bytes, copied on the way in and out ==\n";
  const unsigned char bytes[] = {0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x2A};
  const Container::basic_data<unsigned char> buffer(bytes, sizeof bytes);
  Runtime::Ref<const Value> blob = MakeValue(buffer);
  Show("Data of 6 bytes", *blob);
  Container::basic_data<unsigned char> copy = blob->DataValue();
  copy[0] = 0;
  std::cout << "after changing a copy, still equal to the original bytes: " << (*blob == *MakeValue(buffer)) << '\n';
  std::cout << "hex stream: " << std::hex << std::showbase;
  blob->Print(std::cout);
  std::cout << std::dec << std::noshowbase << '\n';
  int anchor = 0;
  Runtime::Ref<const Value> pointer = MakeValue(static_cast<void *>(&anchor));
  std::cout << "MakeValue(&anchor) prints " << pointer->ToString()
            << ", PointerValue() gives &anchor back: " << (pointer->PointerValue() == &anchor) << '\n';

  std::cout << "\n== An Object wraps a framework object and keeps it alive ==\n";
  Runtime::Ref<Document> document(new Document());
  std::cout << "references on the document: " << document->RetainCount();
  Runtime::Ref<const Value> wrapped = MakeValue(*document);
  std::cout << ", while wrapped " << document->RetainCount() << '\n';
  Show("MakeValue(document)", *wrapped);
  std::cout << "equal to another wrapper of the same document: " << (*wrapped == *MakeValue(*document)) << '\n';
  wrapped.Reset();
  std::cout << "references once the wrapper is gone: " << document->RetainCount() << '\n';

  ShowContainers();
  return 0;
}

//===- main.cpp - A client of the installed value library -----------------===//
//
// Uses the library only through its installed headers and libraries: values
// made in the library meet values made here (so run-time type information
// must agree across the module boundary), containers hold them, and the
// framework stand-ins count references. The JSON library reads and writes
// values, and its errors are caught by their type across the module
// boundary.
//
//===----------------------------------------------------------------------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <iostream>
#include <string>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

int g_failures = 0;

void Check(bool condition, const char *what) {
  if (!condition) {
    std::cout << "client: FAILED: " << what << '\n';
    ++g_failures;
  }
}

// A framework object of the client's own.
class Document : public Runtime::Object {
protected:
  ~Document() override = default;
};

} // namespace

int main() {
  Runtime::Ref<const Value> width = MakeValue(42);
  Number local(42L);
  Check(width->IntValue() == 42, "MakeValue(int) holds 42");
  Check(*width == local && local == *width, "a number of the library equals one of the client");
  Check(!(*width == *MakeValue("42")), "a number never equals a string");

  const unsigned char bytes[] = {1, 2, 3};
  Runtime::Ref<const Value> data = MakeValue(Container::basic_data<unsigned char>(bytes, 3));
  Check(data->ToString() == "<3 bytes>", "a Data prints its length");
  Check(data->DataValue() == Container::basic_data<unsigned char>(bytes, 3), "a Data gives its bytes back");

  Runtime::Ref<Document> document(new Document());
  {
    Runtime::Ref<const Value> wrapped = MakeValue(*document);
    Check(&wrapped->ObjectValue() == document.Get(), "an Object wraps the client's object");
    Check(document->RetainCount() == 2, "the wrapped object gained one reference");
  }
  Check(document->RetainCount() == 1, "the wrapper gave its reference back");

  Runtime::Ref<Dictionary> view(new Dictionary());
  view->SetValueForKey("zoom", *MakeValue(1.5));
  Runtime::Ref<Dictionary> settings(new Dictionary());
  settings->SetValueForKey("width", *width);
  settings->SetValueForKey("view", *view);
  Check(settings->GetValueForKeyPath("view.zoom").DoubleValue() == 1.5, "a key path reaches a nested entry");
  Check(settings->GetValueForKeyPath("view.missing").IsNull(), "a missing entry is the null value");

  Runtime::Ref<Array> list(new Array());
  list->AddValue(*settings);
  list->AddValue(*data);
  Check(list->Count() == 2 && list->GetValueAtIndex(1) == *data, "an array holds what it was given");

  Runtime::Ref<const Value> read = ReadJson("{\"view\": {\"zoom\": 1.5}, \"width\": 42}");
  Check(read->GetValueForKey("view").GetValueForKey("zoom").DoubleValue() == 1.5, "JSON text reads into values");
  Check(WriteJson(*read) == "{\"view\":{\"zoom\":1.5},\"width\":42}", "values write as compact JSON");
  try {
    ReadJson("{\n  \"a\": [1,]\n}");
    Check(false, "malformed JSON raises JsonError");
  } catch (const JsonError &error) {
    Check(error.Line() == 2 && error.Column() == 11 && error.Path() == "a[1]",
          "JsonError tells line, column and path");
  }
  try {
    ReadJsonFile("no-such-settings.json");
    Check(false, "a missing file raises JsonError");
  } catch (const std::runtime_error &error) {
    Check(dynamic_cast<const JsonError *>(&error) != nullptr, "JsonError is a std::runtime_error");
  }

  settings->Print(std::cout);
  std::cout << '\n';
  if (g_failures != 0)
    return 1;
  std::cout << "client: all checks passed\n";
  return 0;
}

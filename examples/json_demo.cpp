//===- json_demo.cpp - Settings in JSON files laid over defaults ----------===//
//
// Reads a settings file and a defaults file, lays the settings over the
// defaults with the hierarchical merge, reads a value by key path and writes
// the result as pretty JSON; then shows what the errors tell.
//
//   collection_json_demo [folder holding settings.json and defaults.json]
//
//===----------------------------------------------------------------------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <cmath>
#include <iostream>
#include <string>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

void ShowError(const char *what, const JsonError &error) {
  std::cout << what << "\n  what():  " << error.what() << "\n  line " << error.Line() << ", column " << error.Column()
            << ", offset " << error.Offset() << ", path \"" << error.Path() << "\"\n";
}

} // namespace

int main(int argc, char **argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  try {
    Runtime::Ref<const Value> defaults = ReadJsonFile(folder + "/defaults.json");
    Runtime::Ref<const Value> settings = ReadJsonFile(folder + "/settings.json");
    const Dictionary *defaultEntries = dynamic_cast<const Dictionary *>(defaults.Get());
    const Dictionary *settingEntries = dynamic_cast<const Dictionary *>(settings.Get());
    if (defaultEntries == nullptr || settingEntries == nullptr) {
      std::cerr << "both files must hold a JSON object\n";
      return 1;
    }

    std::cout << "== settings.json laid over defaults.json ==\n";
    // A copy of the defaults shares their values; the hierarchical merge
    // descends where both hold objects (window, view) and lets the settings
    // win everywhere else.
    Runtime::Ref<Dictionary> effective(new Dictionary(*defaultEntries));
    if (!effective)
      return 1;
    effective->AddEntriesFromDictionaryHierarchically(*settingEntries);
    std::cout << "view.zoom:     " << effective->GetValueForKeyPath("view.zoom").DoubleValue() << '\n';
    std::cout << "window.height: " << effective->GetValueForKeyPath("window.height").IntValue()
              << " (from the defaults)\n";
    std::cout << WriteJson(*effective, JsonWriteOptions{2}) << '\n';
    std::cout << "window, compact: " << WriteJson(effective->GetValueForKey("window")) << '\n';
  } catch (const JsonError &error) {
    std::cerr << "demo: " << error.what() << '\n';
    return 1;
  }

  std::cout << "\n== What the errors tell ==\n";
  try {
    ReadJson("{\n  \"view\": {\"zoom\": 1.5,}\n}");
  } catch (const JsonError &error) {
    ShowError("a trailing comma:", error);
  }
  try {
    ReadJson("{\"items\": [1, 2, 3, 1e999]}");
  } catch (const JsonError &error) {
    ShowError("a number beyond the double range:", error);
  }
  try {
    Runtime::Ref<Dictionary> view(new Dictionary());
    Runtime::Ref<Dictionary> root(new Dictionary());
    view->SetValueForKey("zoom", *MakeValue(std::nan("")));
    root->SetValueForKey("view", *view);
    WriteJson(*root);
  } catch (const JsonError &error) {
    ShowError("a value with no JSON form:", error);
  }
  try {
    ReadJsonFile(folder + "/missing.json");
  } catch (const JsonError &error) {
    ShowError("a file that is not there:", error);
  }
  return 0;
}

//===- json_file_test.cpp - JSON files read and replaced atomically -------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#if defined(_WIN32)
#  include <direct.h>
#  include <io.h>
#else
#  include <dirent.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

// A fresh folder for one test, removed with what is left in it.
class JsonFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_folder = std::string("json_file_test_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Clean();
#if defined(_WIN32)
    ASSERT_EQ(_mkdir(m_folder.c_str()), 0);
#else
    ASSERT_EQ(mkdir(m_folder.c_str(), 0755), 0);
#endif
  }
  void TearDown() override { Clean(); }

  std::string PathOf(const std::string &name) const { return m_folder + "/" + name; }

  // The names in the folder, sorted and joined by spaces.
  std::string Listing() const {
    std::string names;
#if defined(_WIN32)
    _finddata_t entry;
    intptr_t handle = _findfirst((m_folder + "/*").c_str(), &entry);
    if (handle == -1)
      return names;
    do {
      std::string name = entry.name;
      if (name != "." && name != "..")
        names += (names.empty() ? "" : " ") + name;
    } while (_findnext(handle, &entry) == 0);
    _findclose(handle);
#else
    if (DIR *dir = opendir(m_folder.c_str())) {
      while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
          names += (names.empty() ? "" : " ") + name;
      }
      closedir(dir);
    }
#endif
    return names;
  }

  static std::string Contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

private:
  void Clean() {
    for (const char *name : {"settings.json", "other.json"})
      std::remove(PathOf(name).c_str());
#if defined(_WIN32)
    _rmdir(m_folder.c_str());
#else
    rmdir(m_folder.c_str());
#endif
  }

  std::string m_folder;
};

TEST_F(JsonFileTest, WritesEndWithALineFeedAndReplaceTheFileWhole) {
  std::string path = PathOf("settings.json");
  Runtime::Ref<const Value> first = ReadJson("{\"a\":[1,2],\"b\":{}}");
  WriteJsonFile(*first, path, JsonWriteOptions{2});
  EXPECT_EQ(Contents(path), "{\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": {}\n}\n");
  EXPECT_TRUE(*ReadJsonFile(path) == *first);

  Runtime::Ref<const Value> second = ReadJson("[true]");
  WriteJsonFile(*second, path);
  EXPECT_EQ(Contents(path), "[true]\n");
  EXPECT_EQ(Listing(), "settings.json");
}

TEST_F(JsonFileTest, AFailedWriteLeavesTheFileAsItWasAndNoTemporaryFile) {
  std::string path = PathOf("settings.json");
  WriteJsonFile(*ReadJson("{\"keep\":1}"), path);
  Runtime::Ref<Dictionary> bad(new Dictionary());
  bad->SetValueForKey("zoom", *MakeValue(std::nan("")));
  try {
    WriteJsonFile(*bad, path);
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_STREQ(error.what(), "zoom: NaN has no JSON form");
    EXPECT_EQ(error.Path(), "zoom");
  }
  EXPECT_EQ(Contents(path), "{\"keep\":1}\n");
  EXPECT_EQ(Listing(), "settings.json");

  // A folder that does not exist: nothing can be written.
  try {
    WriteJsonFile(*MakeValue(1), PathOf("no-such-folder/other.json"));
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(std::string(error.what()).rfind("cannot write " + PathOf("no-such-folder/other.json") + ": ", 0), 0u)
        << error.what();
  }
  EXPECT_EQ(Listing(), "settings.json");
}

TEST_F(JsonFileTest, ReadErrorsNameTheFile) {
  std::string missing = PathOf("other.json");
  try {
    ReadJsonFile(missing);
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(std::string(error.what()), "cannot open " + missing + ": No such file or directory");
    EXPECT_EQ(error.Line(), 0u);
    EXPECT_EQ(error.Path(), "");
  }
  std::string path = PathOf("settings.json");
  {
    std::ofstream out(path, std::ios::binary);
    out << "{\n  \"view\": {\"zoom\": 1,}\n}";
  }
  try {
    ReadJsonFile(path);
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(std::string(error.what()), path + ": line 2, column 22: expected a member name in double quotes");
    EXPECT_EQ(error.Line(), 2u);
    EXPECT_EQ(error.Column(), 22u);
    EXPECT_EQ(error.Path(), "view");
  }
}

} // namespace

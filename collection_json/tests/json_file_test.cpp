//===- json_file_test.cpp - JSON files read and replaced atomically -------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#  include <direct.h>
#  include <io.h>
#  include <windows.h>
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

  // The names in the folder, sorted.
  std::set<std::string> Names() const {
    std::set<std::string> names;
#if defined(_WIN32)
    _finddata_t entry;
    intptr_t handle = _findfirst((m_folder + "/*").c_str(), &entry);
    if (handle != -1) {
      do
        names.insert(entry.name);
      while (_findnext(handle, &entry) == 0);
      _findclose(handle);
    }
#else
    if (DIR *dir = opendir(m_folder.c_str())) {
      while (dirent *entry = readdir(dir))
        names.insert(entry->d_name);
      closedir(dir);
    }
#endif
    names.erase(".");
    names.erase("..");
    return names;
  }
  // The same joined by spaces.
  std::string Listing() const {
    std::string listing;
    for (const std::string &name : Names())
      listing += (listing.empty() ? "" : " ") + name;
    return listing;
  }

  static std::string Contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

private:
  void Clean() {
    for (const std::string &name : Names()) {
      std::string path = PathOf(name);
#if defined(_WIN32)
      // The wide form, whose paths may be longer than 260 characters (the
      // tests' names are ASCII).
      _wremove(std::wstring(path.begin(), path.end()).c_str());
#else
      std::remove(path.c_str());
#endif
    }
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

TEST_F(JsonFileTest, ANameOfTheLongestLegalLengthIsReplacedLikeAnyOther) {
  std::string path = PathOf(std::string(250, 'n') + ".json");
  for (const char *text : {"[1]", "{\"b\":2}"}) {
    WriteJsonFile(*ReadJson(text), path);
    EXPECT_EQ(Contents(path), std::string(text) + "\n");
  }
  EXPECT_EQ(Listing(), std::string(250, 'n') + ".json");
}

// One thread reading while another replaces the file, then eight threads
// replacing it at once: every read and write succeeds, each read finds one
// whole document, and no temporary file stays.
TEST_F(JsonFileTest, ReadersAndWritersOfOnePathAllSucceed) {
  std::string path = PathOf("settings.json");
  auto write = [&](int round) {
    EXPECT_NO_THROW(WriteJsonFile(*MakeValue(std::string(4000, static_cast<char>('a' + round % 26))), path));
  };
  write(0);
  std::atomic<bool> writing{true};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    for (; writing; ++reads)
      EXPECT_NO_THROW(EXPECT_EQ(ReadJsonFile(path)->StringValue().size(), 4000u));
  });
  while (reads == 0)
    std::this_thread::yield();
  for (int round = 0; round < 200; ++round)
    write(round);
  writing = false;
  reader.join();
  std::vector<std::thread> writers;
  for (int writer = 0; writer < 8; ++writer)
    writers.emplace_back([&, writer] {
      for (int round = 0; round < 10; ++round)
        write(writer + round);
    });
  for (std::thread &writer : writers)
    writer.join();
  EXPECT_EQ(ReadJsonFile(path)->StringValue().size(), 4000u);
  EXPECT_EQ(Listing(), "settings.json");
}

#if defined(_WIN32)

// Errors name the file the caller gave, and give the system's part in the
// C runtime's words (run again with French system messages).
TEST_F(JsonFileTest, ErrorsNameTheTargetInUtf8) {
  std::string invalid = PathOf("\xFF.json");
  try {
    WriteJsonFile(*MakeValue(1), invalid);
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(std::string(error.what()), "cannot use the file name " + invalid + ": it is not valid UTF-8");
  }
  // Held open without leave to delete it, a file cannot be replaced: the
  // writer gives up after its retries.
  std::string path = PathOf("settings.json");
  WriteJsonFile(*MakeValue(1), path);
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  try {
    WriteJsonFile(*MakeValue(2), path);
    ADD_FAILURE() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(std::string(error.what()), "cannot replace " + path + ": Permission denied");
  }
  CloseHandle(held);
  EXPECT_EQ(Contents(path), "1\n");
  EXPECT_EQ(Listing(), "settings.json");
}

#else

mode_t ModeOf(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A write through a symbolic link replaces the file it points to (made when
// missing) and keeps the link; a replaced file keeps its permissions, a new
// one gets those of any new file.
TEST_F(JsonFileTest, WritesGoThroughSymbolicLinksAndKeepPermissions) {
  std::string target = PathOf("target.json"), link = PathOf("link.json");
  ASSERT_EQ(symlink("target.json", link.c_str()), 0);
  WriteJsonFile(*MakeValue(1), link);
  { std::ofstream(PathOf("plain.json")) << "1\n"; }
  EXPECT_EQ(ModeOf(target), ModeOf(PathOf("plain.json")));
  for (mode_t mode : {0600, 0640, 0444}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(target.c_str(), mode), 0);
    WriteJsonFile(*MakeValue(static_cast<int>(mode)), link);
    EXPECT_EQ(Contents(target), std::to_string(mode) + "\n");
    EXPECT_EQ(ModeOf(target), mode);
    struct stat status;
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
  }
  EXPECT_EQ(Listing(), "link.json plain.json target.json");
}

#endif

} // namespace

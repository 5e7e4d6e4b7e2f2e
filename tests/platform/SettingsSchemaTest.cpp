#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/TextUtils.h"
#include "platform/IniFile.h"
#include "platform/SettingValues.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

class SettingsFileTest : public ::testing::Test {
 protected:
  SettingValues Read(const std::string& text) {
    test::WriteFile(file_, text);
    return SettingValues::Read(TIniFile(file_));
  }
  test::TempDir dir_;
  std::string file_ = dir_ / "info.ini";
};

TEST(SettingsSchemaTest, EveryEntryIsWellFormed) {
  EXPECT_EQ(AllSettings().size(), kSettingCount);  // one entry per setting (EntryOf checks which)
  std::set<std::string> keys;
  for (const SettingEntry& s : AllSettings()) {
    SCOPED_TRACE(std::string(s.key));
    EXPECT_EQ(&EntryOf(s.id), &s);
    EXPECT_TRUE(keys.insert(AsciiLowerCopy(std::string(s.section) + "/" + std::string(s.key))).second);
    if (s.type == SettingType::Integer) {
      EXPECT_LE(s.min, s.def);
      EXPECT_LE(s.def, s.max);
    }
    if (s.section == "limits") {
      EXPECT_EQ(s.key, AsciiLowerCopy(s.key));
      EXPECT_FALSE(s.meaning.empty());
      EXPECT_EQ(FindLimit(s.key), &s);
    }
    EXPECT_TRUE(s.oldSection.empty() || s.oldSection == "options");
  }
  EXPECT_EQ(FindLimit("ispreview"), nullptr);  // a key of [options] is no limit
}

// The three spellings of each mode, and the values that name none.
TEST(SettingsSchemaTest, ModeTableMapsFileValuesWordsAndKeptValues) {
  const struct {
    Setting option;
    int fileValue, value;
    const char* word;
  } rows[] = {
      {Setting::DownloadOption, 1, 0, "cache"},      {Setting::DownloadOption, 2, 1, "internet"},
      {Setting::DownloadOption, 3, 2, "copy-cache"}, {Setting::DetectOption, 1, 0, "page"},
      {Setting::DetectOption, 2, 1, "cache"},        {Setting::DetectOption, 3, 2, "all-cache"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.word);
    EXPECT_EQ(ModeOfFileValue(r.option, r.fileValue), r.value);
    EXPECT_EQ(FileValueOfMode(r.option, r.value), r.fileValue);
    EXPECT_EQ(ModeOfWord(r.option, r.word), r.value);
    EXPECT_TRUE(IsMode(r.option, r.value));
  }
  for (Setting option : {Setting::DownloadOption, Setting::DetectOption}) {
    EXPECT_EQ(ModeOfFileValue(option, 0), 0);
    EXPECT_EQ(ModeOfFileValue(option, 7, 5), 5);
    EXPECT_FALSE(ModeOfWord(option, "Cache"));
    EXPECT_FALSE(IsMode(option, 3));
  }
  EXPECT_EQ(ModeWords(Setting::DownloadOption), "cache, internet or copy-cache");
  EXPECT_EQ(ModeWords(Setting::DetectOption), "page, cache or all-cache");
  EXPECT_EQ(DefaultValue(Setting::DownloadOption), 0);
  EXPECT_EQ(DefaultValue(Setting::DetectOption), 1);
}

TEST_F(SettingsFileTest, NumbersDefaultsBoundsAndTheOldSection) {
  const struct {
    const char* text;
    Setting id;
    int value;
  } rows[] = {
      {"", Setting::Pages, 100},
      {"[limits]\npages=7\n", Setting::Pages, 7},
      {"[LIMITS]\nPages=0x10\n", Setting::Pages, 16},
      {"[limits]\npages=100000\n", Setting::Pages, 100000},
      {"[limits]\npages=100001\n", Setting::Pages, 100},  // past the bound: the default
      {"[limits]\npages=0\n", Setting::Pages, 100},
      {"[limits]\npages=many\n", Setting::Pages, 100},
      {"[options]\npages=7\n", Setting::Pages, 100},  // never lived in [options]
      {"[limits]\ncachebytes=0\n", Setting::CacheBytes, 0},
      {"[limits]\nbackgroundthreads=1\n", Setting::BackgroundThreads, 2},  // the nearest bound
      // Keys that moved: [limits] first, [options] when [limits] gives no number.
      {"[options]\nmoviebytes=5000\n", Setting::MovieBytes, 5000},
      {"[options]\nmoviebytes=0\n", Setting::MovieBytes, 64 << 20},
      {"[options]\nmoviebytes=99999999999\n", Setting::MovieBytes, 64 << 20},
      {"[options]\nmoviebytes=2147483647\n", Setting::MovieBytes, INT_MAX},
      {"[limits]\nmoviebytes=6000\n[options]\nmoviebytes=5000\n", Setting::MovieBytes, 6000},
      {"[limits]\nmoviebytes=x\n[options]\nmoviebytes=5000\n", Setting::MovieBytes, 5000},
      {"[limits]\nmoviebytes=-1\n[options]\nmoviebytes=5000\n", Setting::MovieBytes, 64 << 20},
      {"[options]\nscanbytes=3000\n", Setting::ScanBytes, 3000},
      {"[options]\nurllinebytes=100\n", Setting::UrlLineBytes, 100},
      {"[options]\nbackgroundthreads=8\n", Setting::BackgroundThreads, 8},
      // Flags and modes as the window has always read them.
      {"[options]\nispreview=0x0\n", Setting::IsPreview, 0},
      {"[options]\nispreview=yes\n", Setting::IsPreview, 1},
      {"[options]\nswfwithquery=2\n", Setting::SwfWithQuery, 1},
      {"", Setting::DetectOption, 1},
      {"[options]\nDetectOption=7\n", Setting::DetectOption, 0},
      {"[options]\ndetectoption=$3\n", Setting::DetectOption, 2},
      {"[options]\nDownloadOption=3\n", Setting::DownloadOption, 2},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Read(r.text).Get(r.id), r.value) << r.text << EntryOf(r.id).key;
  }
}

TEST_F(SettingsFileTest, WrittenValuesReadBack) {
  TIniFile file(file_);
  SettingValues::Write(file, Setting::IsPreview, 0);
  SettingValues::Write(file, Setting::DownloadOption, 2);
  SettingValues::Write(file, Setting::ClassNum, 3);
  SettingValues::WriteText(file, Setting::Class, "Games", "2");
  file.UpdateFile();
  EXPECT_EQ(test::ReadFile(file_),
            "[options]\r\nispreview=0\r\nDownloadOption=3\r\n[classes]\r\nclassnum=3\r\nclass2=Games\r\n");
  const SettingValues v = SettingValues::Read(file);
  EXPECT_EQ(v.Get(Setting::IsPreview), 0);
  EXPECT_EQ(v.Get(Setting::DownloadOption), 2);
  EXPECT_EQ(SettingValues::ReadText(file, Setting::Class, "", "2"), "Games");
}

TEST(SettingsSchemaTest, CommandLineLimitsAreCheckedAgainstTheTable) {
  const struct {
    const char* arg;
    const char* error;  // "" when taken
  } rows[] = {
      {"pages=20", ""},
      {"PAGES=0x14", ""},
      {"pages=0", "--limit pages takes a number from 1 to 100000"},
      {"pages=100001", "--limit pages takes a number from 1 to 100000"},
      {"pages=", "--limit pages takes a number from 1 to 100000"},
      {"pages", "--limit pages takes a number from 1 to 100000"},
      {"backgroundthreads=1", "--limit backgroundthreads takes a number from 2 to 2147483647"},
      {"nosuch=1", "--limit: tavimo-scan has no limit nosuch"},
      {"categories=5", "--limit: tavimo-scan has no limit categories"},  // the window's only
      {"=5", "--limit: tavimo-scan has no limit "},
  };
  for (const auto& r : rows) {
    SettingValues v;
    std::string error;
    EXPECT_EQ(v.SetLimit(r.arg, error), *r.error == 0) << r.arg;
    EXPECT_EQ(error.substr(0, std::strlen(r.error)), r.error) << r.arg;
    EXPECT_EQ(v.Get(Setting::Pages), *r.error == 0 ? 20 : 100) << r.arg;
  }
}

std::string SourceFile(const std::string& path) {
  std::ifstream in(std::string(std::getenv("TAVIMO_SOURCE_DIR")) + "/" + path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Each key and section of the settings file is spelt in one product file, the schema's: a
// second spelling elsewhere is a second place that reads or writes it behind the table's back.
TEST(SettingsSchemaTest, EveryKeyIsSpeltInOneProductFileOnly) {
  namespace fs = std::filesystem;
  const fs::path root = std::getenv("TAVIMO_SOURCE_DIR");
  std::set<std::string> names;
  for (const SettingEntry& s : AllSettings()) {
    names.insert(std::string(s.key));
    names.insert(std::string(s.section));
    if (!s.oldSection.empty()) names.insert(std::string(s.oldSection));
  }
  std::map<std::string, std::set<std::string>> where;
  for (const char* folder : {"base", "compat", "platform", "sources", "net", "detect", "download", "desktop",
                             "player", "controls", "components", "app", "cli"}) {
    for (const auto& e : fs::recursive_directory_iterator(root / folder)) {
      const std::string ext = e.path().extension();
      if (ext != ".cpp" && ext != ".h") continue;
      const std::string text = SourceFile(fs::relative(e.path(), root));
      for (const std::string& name : names) {
        if (text.find('"' + name + '"') != std::string::npos)
          where[name].insert(fs::relative(e.path(), root));
      }
    }
  }
  for (const std::string& name : names) {
    EXPECT_EQ(where[name], std::set<std::string>{"platform/SettingsSchema.cpp"}) << name;
  }
}

// The limits tables of the README and the manual are the schema's, word for word.
TEST(SettingsSchemaTest, TheDocumentedLimitsAreTheSchemas) {
  for (const char* document : {"README.md", "docs/manual/03-options.md"}) {
    EXPECT_NE(SourceFile(document).find(LimitsTable()), std::string::npos)
        << document << " should hold this table:\n"
        << LimitsTable();
  }
}

}  // namespace
}  // namespace tavimo

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/IniFile.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

TEST(LenientInteger, AcceptsTheForms) {
  EXPECT_EQ(ParseLenientInteger("42"), 42);
  EXPECT_EQ(ParseLenientInteger("-7"), -7);
  EXPECT_EQ(ParseLenientInteger("+3"), 3);
  EXPECT_EQ(ParseLenientInteger(" 12 "), 12);
  EXPECT_EQ(ParseLenientInteger("0x1F"), 31);
  EXPECT_EQ(ParseLenientInteger("0X0"), 0);
  EXPECT_EQ(ParseLenientInteger("$ff"), 255);
  EXPECT_EQ(ParseLenientInteger("-$10"), -16);
  EXPECT_EQ(ParseLenientInteger("$FFFFFFFF"), -1);
}

TEST(LenientInteger, RejectsEverythingElse) {
  for (const char* bad : {"", " ", "yes", "1.5", "12a", "0x", "$", "--1", "0xZZ", "99999999999", "1 2"}) {
    EXPECT_EQ(ParseLenientInteger(bad), std::nullopt) << bad;
  }
}

TEST(IniDocument, ReadsSectionsAndKeysWithoutRegardToCase) {
  auto doc = IniDocument::Parse(
      "; comment\r\n[Options]\r\n IsPreview = 0 \r\nname=\"quoted value\"\n[other]\nispreview=5\n");
  EXPECT_EQ(doc.Value("options", "ispreview"), "0");
  EXPECT_EQ(doc.Value("OPTIONS", "NAME"), "quoted value");
  EXPECT_EQ(doc.Value("other", "ispreview"), "5");
  EXPECT_EQ(doc.Value("options", "missing"), std::nullopt);
  EXPECT_EQ(doc.Value("nosection", "ispreview"), std::nullopt);
}

TEST(IniDocument, ValuesAreCutAt2047Characters) {
  auto doc = IniDocument::Parse("[s]\nk=" + std::string(5000, 'v') + "\n");
  EXPECT_EQ(doc.Value("s", "k")->size(), 2047u);
}

TEST(IniDocument, SetReplacesInPlaceAppendsToSectionOrAddsSection) {
  auto doc = IniDocument::Parse("[a]\r\nx=1\r\ny=2\r\n\r\n[b]\r\nz=3\r\n");
  doc.Set("A", "X", "10");
  doc.Set("a", "new", "n");
  doc.Set("c", "k", "v");
  EXPECT_EQ(doc.Serialize(), "[a]\r\nX=10\r\ny=2\r\nnew=n\r\n\r\n[b]\r\nz=3\r\n[c]\r\nk=v\r\n");
}

TEST(IniFile, MissingFileGivesDefaults) {
  test::TempDir dir;
  TIniFile ini(dir / "none.ini");
  EXPECT_EQ(ini.ReadString("s", "k", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("s", "k", 9), 9);
}

TEST(IniFile, UpdateFileKeepsForeignContentAndRereadsTheFile) {
  test::TempDir dir;
  const std::string path = dir / "info.ini";
  test::WriteFile(path, "[mine]\r\nkeep=me\r\n[options]\r\nispreview=1\r\nforeign=yes\r\n");
  TIniFile ini(path);
  ini.WriteString("options", "ispreview", "0");
  // Another program changes the file before the save: its change survives.
  test::WriteFile(path, "[mine]\r\nkeep=me\r\nadded=later\r\n[options]\r\nispreview=1\r\n");
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(path), "[mine]\r\nkeep=me\r\nadded=later\r\n[options]\r\nispreview=0\r\n");
  EXPECT_TRUE(ini.PendingWrites().empty());
}

TEST(IniFile, UnwritableFileRaisesTheDescribedText) {
  test::TempDir dir;
  test::WriteFile(dir / "plainfile", "x");
  const std::string path = dir / "plainfile/info.ini";  // its folder is a file
  TIniFile ini(path);
  ini.WriteString("options", "ispreview", "0");
  try {
    ini.UpdateFile();
    FAIL();
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
}

}  // namespace
}  // namespace tavimo

// Every place a reference can hide, in every compression; and the places it must not be taken
// from (pictures, sounds, fonts, text, navigation, FSCommand).
#include <gtest/gtest.h>

#include <ostream>

#include "swf/SwfReader.h"
#include "tests/support/SwfWriter.h"
#include "tests/swf/SwfTestFormat.h"

namespace tavimo::test {
namespace {

struct PlaceCase {
  const char* name;
  int version;
  std::vector<std::string> tags;
  std::vector<std::string> expected;
};
// Listed by their names, not as dumps of their bytes.
void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

std::vector<PlaceCase> PlaceCases() {
  const std::string decoyActions =
      SwfActions().PushString("decoy.swf").GetUrl("decoy2.swf", "_level1").Bytes();
  const std::string decoyText = SwfString("<a href=\"decoy.swf\">decoy.xml</a>") + decoyActions;
  return {
      {"ConstantPoolAndPushedStrings",
       8,
       {SwfDoAction(SwfActions()
                        .ConstantPool({"intro.swf", "menu.xml"})
                        .PushConstant(0)
                        .PushString("data/news.txt")
                        .PushOtherTypes()
                        .PushString("after.jpg"))},
       {"string intro.swf in DoAction", "string menu.xml in DoAction", "string data/news.txt in DoAction",
        "string after.jpg in DoAction"}},
      {"GetUrlIntoALevelOrAClip",
       6,
       {SwfDoAction(SwfActions()
                        .GetUrl("level1.swf", "_level1")
                        .GetUrl("clip.swf", "_root.holder")
                        .GetUrl("slash.swf", "/holder")
                        .GetUrl("parent.swf", "_parent.box"))},
       {"load level1.swf in DoAction", "load clip.swf in DoAction", "load slash.swf in DoAction",
        "load parent.swf in DoAction"}},
      {"GetUrl2LoadMovieNumFromPushedStrings",
       6,
       {SwfDoAction(SwfActions().PushString("track1.swf").PushString("_level2").GetUrl2(0))},
       {"string track1.swf in DoAction", "string _level2 in DoAction", "load track1.swf in DoAction"}},
      {"GetUrl2LoadVariables",
       6,
       {SwfDoAction(SwfActions().PushString("vars.txt").PushString("_root").GetUrl2(0x40 | 0x01))},
       {"string vars.txt in DoAction", "string _root in DoAction", "load vars.txt in DoAction"}},
      {"GetUrl2IntoAClipFromTheConstantPool",
       6,
       {SwfDoAction(
           SwfActions().ConstantPool({"movie.swf", "holder"}).PushConstant(0).PushConstant(1).GetUrl2(0x02))},
       {"string movie.swf in DoAction", "string holder in DoAction", "load movie.swf in DoAction"}},
      {"TwoByteConstantIndex",
       6,
       {SwfDoAction([] {
         std::vector<std::string> pool(300, "x");
         pool[299] = "far.swf";
         return SwfActions().ConstantPool(pool).PushConstant(299).PushString("_level1").GetUrl2(0);
       }())},
       [] {
         std::vector<std::string> lines(299, "string x in DoAction");
         lines.insert(lines.end(), {"string far.swf in DoAction", "string _level1 in DoAction",
                                    "load far.swf in DoAction"});
         return lines;
       }()},
      {"WindowTargetsAreNavigation",
       6,
       {SwfDoAction(SwfActions()
                        .GetUrl("http://example.com/", "_blank")
                        .GetUrl("next.html", "_self")
                        .GetUrl("up.html", "_parent")
                        .GetUrl("top.html", "_top")
                        .GetUrl("same.html", "")
                        .GetUrl("frame.html", "mainFrame")
                        .PushString("w.swf")
                        .PushString("_blank")
                        .GetUrl2(0)
                        .PushString("c.swf")
                        .PushString("_root.holder")
                        .GetUrl2(0))},
       {"string w.swf in DoAction", "string _blank in DoAction", "string c.swf in DoAction",
        "string _root.holder in DoAction"}},
      {"FsCommandIsNeverReported",
       6,
       {SwfDoAction(SwfActions()
                        .GetUrl("FSCommand:quit", "")
                        .GetUrl("fscommand:load", "_level1")
                        .ConstantPool({"FSCommand:fullscreen", "true"})
                        .PushConstant(0)
                        .PushConstant(1)
                        .GetUrl2(0x02))},
       {"string true in DoAction"}},
      {"AComputedTargetIsNoLoad",
       6,
       {SwfDoAction(SwfActions().PushString("a.swf").PushString("target").Action(0x1c).GetUrl2(0x02))},
       {"string a.swf in DoAction", "string target in DoAction"}},
      {"DoInitActionAfterItsSpriteId",
       6,
       {SwfDoInitAction(0x9605, SwfActions().PushString("init.swf"))},
       {"string init.swf in DoInitAction"}},
      {"PlaceObject2ClipActionsVersion5",
       5,
       {SwfPlaceObject(false, 5,
                       {SwfActions().PushString("v5.swf"), SwfActions().GetUrl("on.swf", "_level3")})},
       {"string v5.swf in PlaceObject2", "load on.swf in PlaceObject2"}},
      {"PlaceObject2ClipActionsOnAKeyPress",
       8,
       {SwfPlaceObject(false, 8, {SwfActions().PushString("key.swf"), SwfActions().PushString("load.swf")},
                       true)},
       {"string key.swf in PlaceObject2", "string load.swf in PlaceObject2"}},
      {"PlaceObject3AfterClassNameAndFilters",
       8,
       {SwfPlaceObject(true, 8, {SwfActions().PushString("three.swf")})},
       {"string three.swf in PlaceObject3"}},
      {"DefineButtonActions",
       4,
       {SwfButton(false, {SwfActions().GetUrl("button.swf", "_level1")})},
       {"load button.swf in DefineButton"}},
      {"DefineButton2ConditionActions",
       6,
       {SwfButton(true, {SwfActions().PushString("over.swf"), SwfActions().PushString("press.swf")}),
        SwfButton(true, {})},
       {"string over.swf in DefineButton2", "string press.swf in DefineButton2"}},
      {"DoAbcStringPool",
       9,
       {SwfDoAbc({"flash.display", "assets/level.swf", "config.xml"}), SwfDoAbcRaw({"raw.swf"})},
       {"string flash.display in DoABC", "string assets/level.swf in DoABC", "string config.xml in DoABC",
        "string raw.swf in DoABC"}},
      {"ImportAssetsUrls",
       8,
       {SwfImportAssets("shared.swf"), SwfImportAssets("lib/shared2.swf", true)},
       {"import shared.swf in ImportAssets", "import lib/shared2.swf in ImportAssets2"}},
      {"NestedSprites",
       6,
       {SwfSprite(3, {SwfDoAction(SwfActions().PushString("outer.swf")),
                      SwfSprite(4, {SwfDoAction(SwfActions().PushString("inner.swf"))}),
                      SwfPlaceObject(false, 6, {SwfActions().PushString("placed.swf")})}),
        SwfDoAction(SwfActions().PushString("main.swf"))},
       {"string outer.swf in DoAction sprite 3", "string inner.swf in DoAction sprite 4",
        "string placed.swf in PlaceObject2 sprite 3", "string main.swf in DoAction"}},
      {"EmbeddedMoviesInBinaryData",
       9,
       {SwfBinaryData(1, SwfMovie('C', 6,
                                  {SwfDoAction(SwfActions().PushString("embedded.swf")),
                                   SwfSprite(7, {SwfDoAction(SwfActions().PushString("sprite.swf"))}),
                                   SwfBinaryData(2, SwfMovie('Z', 9, {SwfDoAbc({"deepest.swf"})}))})),
        SwfBinaryData(3, SwfString("FWS, but only text: decoy.swf")),
        SwfDoAction(SwfActions().PushString("after.swf"))},
       {"string embedded.swf in DoAction depth 1", "string sprite.swf in DoAction sprite 7 depth 1",
        "string deepest.swf in DoABC depth 2", "string after.swf in DoAction"}},
      {"LongTagHeaderOnAShortTag",
       6,
       {SwfTag(12, SwfActions().PushString("long.swf").Bytes(), true)},
       {"string long.swf in DoAction"}},
      {"PicturesSoundsFontsAndTextAreNotRead",
       8,
       {SwfTag(6, SwfU16(1) + decoyText),                       // DefineBits
        SwfTag(21, SwfU16(2) + decoyText),                      // DefineBitsJPEG2
        SwfTag(20, SwfU16(3) + decoyText),                      // DefineBitsLossless
        SwfTag(14, SwfU16(4) + decoyText),                      // DefineSound
        SwfTag(10, SwfU16(5) + decoyText),                      // DefineFont
        SwfTag(48, SwfU16(6) + decoyText),                      // DefineFont2
        SwfTag(75, SwfU16(7) + decoyText),                      // DefineFont3
        SwfTag(37, SwfU16(8) + decoyText),                      // DefineEditText
        SwfTag(11, SwfU16(9) + decoyText),                      // DefineText
        SwfTag(87, SwfU16(10) + SwfU32(0) + decoyText, true)},  // binary data that is no movie
       {}},
  };
}

class SwfPlaces : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(SwfPlaces, ReportsEachReferenceWhereItWasFoundInEveryCompression) {
  const PlaceCase& c = GetParam();
  for (char compression : {'F', 'C', 'Z'}) {
    SCOPED_TRACE(std::string(1, compression) + "WS");
    const SwfReadResult result = ReadSwf(SwfMovie(compression, c.version, c.tags));
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(Lines(result.references), c.expected);
    EXPECT_EQ(result.info.compression, compression);
    EXPECT_EQ(result.info.version, c.version);
  }
}

INSTANTIATE_TEST_SUITE_P(Swf, SwfPlaces, ::testing::ValuesIn(PlaceCases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(SwfInfo, ReadsTheHeader) {
  const std::string movie = SwfMovie('C', 10, {SwfDoAction(SwfActions())});
  const SwfReadResult result = ReadSwf(movie);
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.info.version, 10);
  EXPECT_EQ(result.info.compression, 'C');
  EXPECT_EQ(result.info.fileLength, ReadSwf(SwfMovie('F', 10, {SwfDoAction(SwfActions())})).info.fileLength);
  EXPECT_EQ(result.info.frame.xMin, 0);
  EXPECT_EQ(result.info.frame.xMax, 11000);
  EXPECT_EQ(result.info.frame.yMax, 8000);
  EXPECT_EQ(result.info.frameRate, 24.0);
  EXPECT_EQ(result.info.frameCount, 1);
}

TEST(SwfInfo, ActionScriptVersionFromFileAttributesOrAbcCode) {
  struct {
    const char* name;
    std::vector<std::string> tags;
    int expected;
  } cases[] = {
      {"plain", {SwfDoAction(SwfActions())}, 1},
      {"FileAttributes says 3", {SwfTag(69, SwfU32(0x08))}, 3},
      {"FileAttributes without 3", {SwfTag(69, SwfU32(0x01))}, 1},
      {"DoABC", {SwfDoAbc({"a"})}, 3},
      {"only an embedded movie has ABC", {SwfBinaryData(1, SwfMovie('F', 9, {SwfDoAbc({"a"})}))}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadSwf(SwfMovie('F', 9, c.tags)).info.actionScript, c.expected);
  }
}

}  // namespace
}  // namespace tavimo::test

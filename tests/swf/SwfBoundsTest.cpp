// Movies over a bound, damaged or not movies at all: each is refused with its reason, never
// read past its end, and what was found before the fault is kept.
#include <gtest/gtest.h>

#include <ostream>
#include <sys/resource.h>

#include "swf/SwfReader.h"
#include "tests/support/SwfWriter.h"
#include "tests/swf/SwfTestFormat.h"

namespace tavimo::test {
namespace {

std::string Nested(int levels, bool embedded) {
  std::string inner = SwfDoAction(SwfActions().PushString("deep.swf"));
  for (int i = 0; i < levels; ++i)
    inner = embedded ? SwfBinaryData(i + 1, SwfMovie('F', 9, {inner})) : SwfSprite(i + 1, {inner});
  return inner;
}

// A picture tag of `size` zero bytes: compresses to almost nothing.
std::string Filler(std::size_t size) { return SwfTag(6, std::string(size, '\0')); }

// A plain movie cut short, with the length in its header cut to match.
std::string Declaring(std::string movie) {
  const std::string length = SwfU32(static_cast<std::uint32_t>(movie.size()));
  return movie.replace(4, 4, length);
}

struct BoundsCase {
  const char* name;
  std::string movie;
  SwfLimits limits;
  const char* error;  // a part of the reason; empty: read in full
  std::vector<std::string> expected;
};
// Listed by their names, not as dumps of their bytes.
void PrintTo(const BoundsCase& c, std::ostream* os) { *os << c.name; }

SwfLimits Limits(std::uint64_t bytes, std::uint64_t tags, int depth) { return {bytes, tags, depth}; }

std::vector<BoundsCase> BoundsCases() {
  const std::string found = SwfDoAction(SwfActions().PushString("first.swf"));
  const std::string eightMiB = SwfMovie('C', 9, {found, Filler(8 << 20)});
  const std::string lying = SwfMovieDeclaring('Z', 9, {found, Filler(8 << 20)}, 4096);
  const std::string plain = SwfMovie('F', 9, {found, SwfDoAction(SwfActions().PushString("second.swf"))});
  const std::string compressed = SwfMovie('C', 9, {found, Filler(100000)});
  const std::string lzma = SwfMovie('Z', 9, {found, Filler(100000)});
  std::string badLzma = lzma;
  badLzma[12] = '\xff';  // the lc/lp/pb byte: no valid properties
  std::string badZlib = compressed;
  for (std::size_t i = 10; i < badZlib.size(); ++i) badZlib[i] = static_cast<char>(i * 7);
  std::vector<std::string> manyTags(20, SwfTag(1, ""));
  const std::string third = SwfMovie('C', 9, {Filler(600 << 10)});
  const std::string deepDeclared = SwfMovieDeclaring('C', 9, {found}, 100u << 20);
  return {
      {"DecompressedSizeOverTheLimit",
       eightMiB,
       Limits(1 << 20, 1000, 8),
       "over the limit of 1048576 bytes",
       {}},
      {"DeclaredHundredMegabytesOverTheDefault", deepDeclared, {}, "decompresses to 104857592 bytes", {}},
      {"DecompressedSizeWithinTheLimit",
       eightMiB,
       Limits(9 << 20, 1000, 8),
       "",
       {"string first.swf in DoAction"}},
      {"AnUnderstatedLengthStopsTheBodyThere",
       lying,
       {},
       "runs past the end",
       {"string first.swf in DoAction"}},
      {"EmbeddedMoviesShareTheLimit",
       SwfMovie('C', 9, {SwfBinaryData(1, third), SwfBinaryData(2, third), found}),
       Limits(1 << 20, 1000, 8),
       "over the limit",
       {}},
      {"TooManyTags",
       SwfMovie('F', 9,
                [&] {
                  auto tags = manyTags;
                  tags.insert(tags.begin(), found);
                  return tags;
                }()),
       Limits(1 << 20, 10, 8),
       "more than 10 tags",
       {"string first.swf in DoAction"}},
      {"ABoundPassedComesBeforeABodyCutShort",
       [&] {
         auto tags = manyTags;
         tags.push_back(Filler(100000));
         const std::string movie = SwfMovie('C', 9, tags);
         return movie.substr(0, movie.size() / 2);
       }(),
       Limits(1 << 20, 10, 8),
       "more than 10 tags",
       {}},
      {"SpritesEightDeep",
       SwfMovie('F', 9, {Nested(8, false)}),
       {},
       "",
       {"string deep.swf in DoAction sprite 1"}},
      {"SpritesNineDeep", SwfMovie('F', 9, {Nested(9, false)}), {}, "nested more than 8 deep", {}},
      {"EmbeddedMoviesNineDeep", SwfMovie('F', 9, {Nested(9, true)}), {}, "nested more than 8 deep", {}},
      {"EmbeddedMoviesWithinAShallowerLimit",
       SwfMovie('F', 9, {Nested(3, true)}),
       Limits(1 << 20, 100, 2),
       "nested more than 2 deep",
       {}},
      {"Empty", "", {}, "not a Flash movie", {}},
      {"Text", "<html><embed src=\"a.swf\"></html>", {}, "not a Flash movie", {}},
      {"SignatureOnly", "FWS", {}, "not a Flash movie", {}},
      {"HeaderWithoutFrame", Declaring(plain.substr(0, 9)), {}, "the movie header is cut short", {}},
      {"PlainShorterThanDeclared",
       plain.substr(0, plain.size() - 8),
       {},
       "the movie ends after 50 of the 58 bytes",
       {"string first.swf in DoAction"}},
      {"PlainCutInATag",
       Declaring(plain.substr(0, plain.size() - 8)),
       {},
       "runs past the end",
       {"string first.swf in DoAction"}},
      {"PlainCutInATagHeader",
       Declaring(plain.substr(0, plain.size() - 1)),
       {},
       "tag header at byte",
       {"string first.swf in DoAction", "string second.swf in DoAction"}},
      {"ZlibCutShort",
       compressed.substr(0, compressed.size() / 2),
       {},
       "the compressed data ends after",
       {"string first.swf in DoAction"}},
      {"LzmaCutShort",
       lzma.substr(0, lzma.size() / 2),
       {},
       "the compressed data ends after",
       {"string first.swf in DoAction"}},
      {"ZlibDamaged", badZlib, {}, "the zlib data is damaged", {}},
      {"LzmaPropertiesDamaged", badLzma, {}, "the LZMA data is damaged", {}},
      {"LzmaHeaderCutShort", lzma.substr(0, 14), {}, "the LZMA header is cut short", {}},
      {"DeclaredLengthBelowTheHeader",
       SwfMovieDeclaring('C', 9, {found}, 4),
       {},
       "declares a length of 4",
       {}},
  };
}

class SwfBounds : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(SwfBounds, RefusesWithTheReasonAndKeepsWhatWasFound) {
  const BoundsCase& c = GetParam();
  const SwfReadResult result = ReadSwf(c.movie, c.limits);
  if (*c.error) {
    EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
  } else {
    EXPECT_EQ(result.error, "");
  }
  EXPECT_EQ(Lines(result.references), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Swf, SwfBounds, ::testing::ValuesIn(BoundsCases()),
                         [](const auto& param) { return std::string(param.param.name); });

// A damaged movie embedded as binary data is only data that looked like a movie: the movie
// around it is read on.
TEST(SwfBoundsEmbedded, ADamagedEmbeddedMovieDoesNotStopTheOuterOne) {
  const std::string inner = SwfMovie('C', 9, {SwfDoAction(SwfActions().PushString("inner.swf"))});
  const std::string movie =
      SwfMovie('F', 9,
               {SwfBinaryData(1, inner.substr(0, 12)), SwfDoAction(SwfActions().PushString("outer.swf"))});
  const SwfReadResult result = ReadSwf(movie);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(Lines(result.references), std::vector<std::string>{"string outer.swf in DoAction"});
}

// Every prefix of a movie with each kind of tag: never a crash or a read past the end (the
// sanitizer builds check), and a shorter movie never yields more than a longer one.
TEST(SwfBoundsEmbedded, EveryPrefixIsReadOrRefusedCleanly) {
  const std::string movie = SwfMovie(
      'F', 8,
      {SwfDoAction(SwfActions().ConstantPool({"a.swf"}).PushConstant(0).PushString("_level1").GetUrl2(0)),
       SwfPlaceObject(true, 8, {SwfActions().GetUrl("b.swf", "_level2")}, true), SwfDoAbc({"c.swf"}),
       SwfImportAssets("d.swf", true), SwfSprite(2, {SwfDoInitAction(2, SwfActions().PushString("e.swf"))}),
       SwfBinaryData(3, SwfMovie('F', 8, {SwfDoAction(SwfActions().PushString("f.swf"))}))});
  const std::size_t all = ReadSwf(movie).references.size();
  EXPECT_EQ(all, 8u);
  std::size_t before = 0;
  for (std::size_t n = 0; n <= movie.size(); ++n) {
    const SwfReadResult result = ReadSwf(std::string_view(movie).substr(0, n));
    EXPECT_GE(result.references.size(), before) << n;
    before = result.references.size();
    if (n < movie.size()) {
      EXPECT_NE(result.error, "") << n;
    }
  }
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A movie that decompresses to 100 MB, read with a limit above that: the picture that makes it
// big is skipped as it streams by, so the reader's peak memory stays far below the movie.
TEST(SwfBoundsMemory, AHundredMegabyteMovieIsReadInBoundedMemory) {
  for (char compression : {'C', 'Z'}) {
    SCOPED_TRACE(std::string(1, compression) + "WS");
    const std::string movie =
        SwfMovieWithZeros(compression, 9, {SwfDoAction(SwfActions().PushString("before.swf"))}, 100u << 20,
                          {SwfDoAction(SwfActions().PushString("after.swf"))});
    ASSERT_LT(movie.size(), 2u << 20);
    const long before = PeakKilobytes();
    const SwfReadResult result = ReadSwf(movie, Limits(128u << 20, 1000, 8));
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(Lines(result.references),
              (std::vector<std::string>{"string before.swf in DoAction", "string after.swf in DoAction"}));
    EXPECT_LT(PeakKilobytes() - before, 32 * 1024);
  }
}

}  // namespace
}  // namespace tavimo::test

#include <gtest/gtest.h>

#include "detect/ItemSink.h"
#include "detect/LinkExtractor.h"
#include "tests/detect/ReferenceExtractor.h"

namespace tavimo {
namespace {

using Links = std::vector<std::string>;

struct Case {
  const char* address;
  std::string text;
  Links expected;
};

// Every case is also checked against the plain step-by-step version.
void ExpectSwfLinks(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    const Links fast = SwfLinkList(c.text, c.address);
    EXPECT_EQ(fast, c.expected) << c.address << " | " << c.text;
    EXPECT_EQ(fast, reference::SwfLinkList(c.text, c.address)) << c.address << " | " << c.text;
  }
}

TEST(SwfLinks, DocumentedExamples) {
  ExpectSwfLinks({
      {"http://host/dir/page.htm?id=3",
       "<embed src=\"movies/intro.swf\">",
       {"http://host/dir/movies/intro.swf"}},
      {"http://host", "value='movies/intro.swf'", {"http://host/movies/intro.swf"}},
      {"host", "\"a.swf\"", {"http://host/a.swf"}},
      {"host/dir/page.htm", "\"a.swf\"", {"host/dir/a.swf"}},
      {"any", "\"http://cdn.host/x/b.swf\"", {"http://cdn.host/x/b.swf"}},
      {"any", "<embed src=intro.swf width=3>", {}},
      {"any", "\"intro.swf?v=2\"", {}},
      {"http://host/", "\"intro.swf  \"", {"http://host/intro.swf"}},
      {"http://host/", "\"intro.swf\t\"", {}},  // only spaces are skipped
  });
}

TEST(SwfLinks, EdgeCases) {
  ExpectSwfLinks({
      // Same movie twice in any case: one entry, first spelling kept.
      {"http://h/", "\"A.swf\" 'a.SWF'", {"http://h/A.swf"}},
      // "www" anywhere makes a name absolute.
      {"http://h/", "\"cdn/WWW/a.swf\" \"www.x.org/b.swf\"", {"cdn/WWW/a.swf", "www.x.org/b.swf"}},
      // The query is cut before the last "/" is sought.
      {"http://host/dir/p.htm?u=/x/y", "\"a.swf\"", {"http://host/dir/a.swf"}},
      {"http://host", "\"a.swf\"", {"http://host/a.swf"}},
      {"http://host/", "\"a.swf\"", {"http://host/a.swf"}},
      // Nothing after ".swf"; no opening quote takes all before ".swf" (back to the last ".swf").
      {"http://h/", "\"a.swf", {}},
      {"http://h/", "<p>x/a.swf\"", {"http://h/<p>x/a.swf"}},
      {"http://h/", "\"b.swf\" c/a.swf'", {"http://h/b.swf", "http://h/\" c/a.swf"}},
      // A single character before ".swf" is never searched for its quote.
      {"http://h/", "\".swf\"", {"http://h/\".swf"}},
  });
}

TEST(SwfLinks, OrderIsSortedWithTheLastAppendedAtTheEnd) {
  ExpectSwfLinks({
      {"http://h/", "'c.swf' 'a.swf' 'b.swf'", {"http://h/a.swf", "http://h/c.swf", "http://h/b.swf"}},
      // A duplicate as the last candidate sorts the whole list.
      {"http://h/",
       "'c.swf' 'a.swf' 'b.swf' 'A.SWF'",
       {"http://h/a.swf", "http://h/b.swf", "http://h/c.swf"}},
      // Case-folded byte order: "_" before letters, UTF-8 bytes after them.
      {"http://h/",
       "'\xC3\xA9.swf' '_.swf' 'Z.swf' 'y.swf'",
       {"http://h/_.swf", "http://h/Z.swf", "http://h/\xC3\xA9.swf", "http://h/y.swf"}},
  });
}

TEST(SwfLinks, LetterCaseOfTextAndAddressIsKept) {
  ExpectSwfLinks({
      {"HTTP://Host/D/x.htm", "<EMBED SRC=\"Movies/Intro.SWF\">", {"HTTP://Host/D/Movies/Intro.SWF"}},
      {"http://h", "\"\xC3\x84rger/a.Swf\"", {"http://h/\xC3\x84rger/a.Swf"}},
  });
}

TEST(SwfLinks, LineBreaksAndTabsAreDroppedFromNames) {
  ExpectSwfLinks({
      {"http://h/d/", "\"mov\r\nies/\ta.swf\"", {"http://h/d/movies/a.swf"}},
      {"http://h/d/", "\"\nwww.x.org/a.swf\"", {"www.x.org/a.swf"}},
      // Removed before the rules: "/\n/x" is a network path.
      {"https://h/d/", "\"/\n/x/a.swf\"", {"https://x/a.swf"}},
      // The address loses them too.
      {"http://h/\td\r\n/", "\"a.swf\"", {"http://h/d/a.swf"}},
  });
}

TEST(SwfLinks, NetworkPathsTakeTheSchemeOfTheAddress) {
  ExpectSwfLinks({
      {"https://h/x", "\"//cdn.h/a.swf\"", {"https://cdn.h/a.swf"}},
      {"h/x", "\"//cdn.h/a.swf\"", {"http://cdn.h/a.swf"}},
      {"h?u=ftp://y", "\"//c/a.swf\"", {"http://c/a.swf"}},
      {"HTTPS://h", "\"//www.c/a.swf\"", {"HTTPS://www.c/a.swf"}},
  });
}

TEST(SwfLinks, RootPathsJoinTheOrigin) {
  ExpectSwfLinks({
      {"http://host/dir/page.htm", "\"/f/a.swf\"", {"http://host/f/a.swf"}},
      {"https://Host/dir/p?q=/z", "\"/www/a.swf\"", {"https://Host/www/a.swf"}},
      {"http://host", "\"/a.swf\"", {"http://host/a.swf"}},
      {"host/dir", "\"/a.swf\"", {"http://host/a.swf"}},
      {"host?x=/y", "\"/a.swf\"", {"http://host/a.swf"}},
  });
}

TEST(SwfLinks, HttpsAndCapitalsInTheAddressResolveLikeHttp) {
  ExpectSwfLinks({
      {"https://host", "\"a.swf\"", {"https://host/a.swf"}},
      {"HTTP://HOST", "\"a.swf\"", {"HTTP://HOST/a.swf"}},
      {"hosts/", "\"a.swf\"", {"hosts//a.swf"}},
      {"x https://h http://g", "\"a.swf\"", {"x https://h http://a.swf"}},
  });
}

TEST(SwfLinks, FullscreenPageGivesOneRawEntry) {
  ExpectSwfLinks({
      {"http://h/", "<embed src=\"movies/A.swf\" fullscreen=\"yes\"> \"b.swf\"", {"\"movies/A.swf"}},
      {"http://h/", "'a.swf' <embed src='x' FULLSCREEN=\"YES\">", {""}},
      {"http://h/", "src=x fullscreen=\"yes\"", {""}},
      {"http://h/", "fullscreen=\"yes\" src=\"a\r\n.swf\"", {"\"a.swf"}},
      {"http://h/", "fullscreen='yes' 'a.swf'", {"http://h/a.swf"}},
  });
}

}  // namespace
}  // namespace tavimo

namespace tavimo {
namespace {

// The query rule, off by default: the described rules never list these references.
TEST(SwfLinks, QueryRuleListsReferencesWithAQueryOrFragment) {
  const std::string page = "http://h/d/p.htm";
  const struct {
    const char* text;
    std::vector<std::string> off, on;
  } cases[] = {
      {"<embed src=\"movie.swf?xml=config.xml\">", {}, {"http://h/d/movie.swf?xml=config.xml"}},
      {"'game.swf#start' \"a.swf\"", {"http://h/d/a.swf"}, {"http://h/d/game.swf#start", "http://h/d/a.swf"}},
      // One reference, not two (the described rules take the text after "?" as a name).
      {"\"a.swf?x=b.swf\"", {"http://h/d/?x=b.swf"}, {"http://h/d/a.swf?x=b.swf"}},
      {"\"a.swf?x= y\"", {}, {}},   // a blank ends it: no reference
      {"\"a.swf?x=1\n\"", {}, {}},  // so does a line end
      {"\"/root/a.SWF?v=2\"", {}, {"http://h/root/a.SWF?v=2"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SwfLinkList(c.text, page), c.off) << c.text;
    EXPECT_EQ(SwfLinkList(c.text, page, true), c.on) << c.text;
  }
  EXPECT_EQ(QuerySaveAsName("http://h/d/movie.swf?xml=a/b.xml"), "movie.swf");
  EXPECT_EQ(QuerySaveAsName("http://h/d/game.SWF#start"), "game.SWF");
  EXPECT_EQ(QuerySaveAsName("http://h/x.php?f=a"), "x.php?f=a");
}

}  // namespace
}  // namespace tavimo

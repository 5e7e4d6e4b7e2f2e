#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

#include "sources/session/BrowserSession.h"
#include "sources/session/ChromiumSession.h"
#include "sources/session/FirefoxSession.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TempDir.h"

namespace tavimo {
namespace {

using test::MozLz4;

using Address = std::optional<std::string>;
const std::string kSite = "http://127.0.0.1:8765/";

// Session files written by real browsers (see the README beside them).
std::string Sample(const std::string& name) {
  std::string bytes = test::ReadFile(std::string(TAVIMO_BROWSER_SAMPLES) + "/" + name);
  if (bytes.empty()) ADD_FAILURE() << "missing sample " << name;
  return bytes;
}

const std::string kChromeNavClosed = "chromium-156/sessions/two-tabs-nav-closed/Session_13441102386280971";
const std::string kChromeTwoWindows =
    "chromium-156/sessions/two-windows-first-active/Session_13441103194389748";
const std::string kChromeEncrypted = "chromium-156/sessions_encrypted/Session_13441102515553880";
const std::string kFoxOneTab = "firefox-140esr/sessionstore/one-tab-page2/recovery.jsonlz4";
const std::string kFoxTab2 = "firefox-153esr/sessionstore/two-tabs-tab2-selected/recovery.jsonlz4";
const std::string kFoxWindow2 = "firefox-153esr/sessionstore/two-windows-window2-front/recovery.jsonlz4";
const std::string kFoxWindow1 =
    "firefox-153esr/sessionstore/two-windows-window1-front-clean-exit/sessionstore.jsonlz4";

struct SampleCase {
  std::string file;
  bool firefox;
  Address expected;
};

const std::vector<SampleCase> kSamples = {
    {kChromeNavClosed, false, kSite + "frame.html?from=nav"},
    {kChromeTwoWindows, false, kSite},
    {kChromeEncrypted, false, std::nullopt},
    {kFoxOneTab, true, kSite + "page2.html"},
    {kFoxTab2, true, kSite + "page2.html"},
    {kFoxWindow2, true, kSite + "page2.html"},
    {kFoxWindow1, true, kSite},
};

Address Parse(bool firefox, std::string_view bytes) {
  return firefox ? FirefoxSessionAddress(bytes) : ChromiumSessionAddress(bytes);
}

TEST(BrowserSession, EverySampleGivesThePageItsBrowserShowed) {
  for (const auto& c : kSamples) {
    const std::string bytes = Sample(c.file);
    EXPECT_EQ(Parse(c.firefox, bytes), c.expected) << c.file;
    EXPECT_EQ(Parse(!c.firefox, bytes), std::nullopt) << "other format: " << c.file;
  }
}

TEST(BrowserSession, CutOrDamagedSamplesGiveNothing) {
  for (const auto& c : kSamples) {
    const std::string bytes = Sample(c.file);
    SCOPED_TRACE(c.file);
    for (size_t n = 0; n < bytes.size(); ++n) {
      const Address a = Parse(c.firefox, std::string_view(bytes).substr(0, n));  // never crashes
      // A log cut between two commands is an older, complete state; every other cut is nothing.
      if (c.firefox || n < 9 || n + 5 >= bytes.size()) {
        EXPECT_EQ(a, std::nullopt) << n;
      }
    }
    // Magic; mozLz4 declared size or SNSS first command size (0 and one more); LZ4 block.
    std::string bad = bytes;
    bad[1] ^= 0x20;
    EXPECT_EQ(Parse(c.firefox, bad), std::nullopt);
    bad = bytes;
    bad.replace(8, 2, 2, '\0');
    EXPECT_EQ(Parse(c.firefox, bad), std::nullopt);
    bad = bytes;
    bad[8] = static_cast<char>(bad[8] + 1);
    EXPECT_EQ(Parse(c.firefox, bad), std::nullopt);
    if (c.firefox) {
      bad = bytes;
      bad.replace(bytes.size() / 2, 24, 24, '\0');
      EXPECT_EQ(Parse(c.firefox, bad), std::nullopt);
    }
  }
}

// ---- Firefox documents built here.
std::string Fox(const std::string& selectedWindow, const std::string& tab) {
  return R"({"windows":[{"zIndex":2,"selected":1,"tabs":[{"index":1,"entries":[{"url":"http://a/"}]}]},)"
         R"({"zIndex":1,"selected":1,"tabs":[)" +
         tab + "]}]" + selectedWindow + "}";
}

TEST(BrowserSession, FirefoxTakesOnlyValidIndexes) {
  const std::string tab = R"({"index":2,"entries":[{"url":"http://b/1"},{"url":"http://b/\u00e9"}]})";
  const struct {
    std::string file;
    Address expected;
  } cases[] = {
      {MozLz4(Fox(R"(,"selectedWindow":2)", tab)), "http://b/\xc3\xa9"},
      {MozLz4(Fox(R"(,"selectedWindow":1)", tab)), "http://a/"},
      {MozLz4(Fox(R"(,"selectedWindow":0)", tab)), "http://b/\xc3\xa9"},  // front by zIndex
      {MozLz4(Fox("", tab)), "http://b/\xc3\xa9"},
      {MozLz4(Fox(R"(,"selectedWindow":3)", tab)), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":-1)", tab)), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":"2")", tab)), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2.0)", tab)), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":18446744073709551615)", tab)), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2)", R"({"index":3,"entries":[{"url":"x"}]})")), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2)", R"({"index":0,"entries":[{"url":"x"}]})")), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2)", R"({"entries":[]})")), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2)", R"({"index":1,"entries":[{"url":7}]})")), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2)", R"({"index":1,"entries":[{"url":""}]})")), std::nullopt},
      {MozLz4(Fox(R"(,"selectedWindow":2)", "[]")), std::nullopt},
      {MozLz4(R"({"windows":[],"selectedWindow":1})"), std::nullopt},
      {MozLz4(R"([1,2])"), std::nullopt},
      {MozLz4(R"({"windows":[{"selected":1,"tabs":[{"index":1,"entries":[{"url":"u"}]}]})"),
       std::nullopt},  // cut
      {MozLz4(R"({"windows":[{"selected":1,"tabs":[{"index":1,"entries":[{"url":"u"}]}]}]})"), "u"},
      {MozLz4("{}", 3), std::nullopt},  // declared size longer than the block
      {MozLz4(std::string(300, ' ') + "{}", 0xffffffffu), std::nullopt},
      {MozLz4("", 0), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FirefoxSessionAddress(c.file), c.expected) << c.file.substr(12);
}

// ---- Chromium logs built here.
std::string I32(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t v : values) out.append(reinterpret_cast<const char*>(&v), 4);
  return out;
}
std::string Rec(uint8_t id, const std::string& payload) {
  const auto size = static_cast<uint16_t>(payload.size() + 1);
  return std::string(reinterpret_cast<const char*>(&size), 2) + static_cast<char>(id) + payload;
}
std::string Nav(int32_t tab, int32_t index, const std::string& url) {
  std::string body = I32({tab, index, static_cast<int32_t>(url.size())}) + url;
  body.resize((body.size() + 3) / 4 * 4, '\0');
  body += I32({0});  // title
  return Rec(6, I32({static_cast<int32_t>(body.size())}) + body);
}
std::string Snss(const std::string& records, int32_t version = 3) {
  return "SNSS" + I32({version}) + records;
}

// Window 1: tabs 11 (a) and 12 (b), 12 selected. Window 2: tab 21 (c), the last one named.
const std::string kTwoWindows = Rec(0, I32({1, 11})) + Rec(2, I32({11, 0})) + Nav(11, 0, "http://a/") +
                                Rec(7, I32({11, 0})) + Rec(0, I32({1, 12})) + Rec(2, I32({12, 1})) +
                                Nav(12, 0, "http://b/") + Rec(7, I32({12, 0})) + Rec(8, I32({1, 1})) +
                                Rec(0, I32({2, 21})) + Rec(2, I32({21, 0})) + Nav(21, 0, "http://c/") +
                                Rec(8, I32({2, 0}));

TEST(BrowserSession, ChromiumReplaysTheLog) {
  const struct {
    std::string name, file;
    Address expected;
  } cases[] = {
      {"no active window: last named", Snss(kTwoWindows), "http://c/"},
      {"active window", Snss(kTwoWindows + Rec(20, I32({1}))), "http://b/"},
      {"active window closed", Snss(kTwoWindows + Rec(20, I32({1})) + Rec(17, I32({1, 0, 0, 0}))),
       "http://c/"},
      {"selected tab closed: clamped", Snss(kTwoWindows + Rec(20, I32({1})) + Rec(16, I32({12, 0, 0, 0}))),
       "http://a/"},
      {"strip order", Snss(kTwoWindows + Rec(20, I32({1})) + Rec(2, I32({11, 1})) + Rec(2, I32({12, 0}))),
       "http://a/"},
      {"later navigation wins", Snss(kTwoWindows + Nav(21, 0, "http://d/")), "http://d/"},
      {"history moves", Snss(kTwoWindows + Nav(21, 1, "http://e/") + Rec(7, I32({21, 1}))), "http://e/"},
      {"history pruned",
       Snss(kTwoWindows + Nav(21, 1, "http://e/") + Nav(21, 2, "http://f/") + Rec(24, I32({21, 1, 1})) +
            Rec(7, I32({21, 1}))),
       "http://f/"},
      {"unknown commands skipped", Snss(Rec(99, "") + kTwoWindows + Rec(255, "") + Rec(14, "xyz")),
       "http://c/"},
      {"version 1", Snss(kTwoWindows, 1), "http://c/"},
      {"encrypted version", Snss(kTwoWindows, 5), std::nullopt},
      {"only closed windows", Snss(kTwoWindows + Rec(17, I32({1})) + Rec(17, I32({2}))), std::nullopt},
      {"empty log", Snss(""), std::nullopt},
      {"zero-size command", Snss(kTwoWindows + std::string(2, '\0')), std::nullopt},
      {"short command", Snss(kTwoWindows + Rec(0, I32({1}))), std::nullopt},
      {"url beyond command", Snss(Rec(6, I32({16, 21, 0, 100}) + "http://x/")), std::nullopt},
      {"negative url length", Snss(Rec(6, I32({12, 21, 0, -4}))), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ChromiumSessionAddress(c.file), c.expected) << c.name;
}

// Prunes anywhere in a long history move every later entry: the replay must keep the browser's
// numbering however many there are (a log of 20,000 of each once took most of a minute).
TEST(BrowserSession, ChromiumPrunesKeepTheNumberingOfLongHistories) {
  const int n = 20000;
  std::string log = Rec(0, I32({1, 5})) + Rec(8, I32({1, 0}));
  for (int i = 0; i < n; ++i) log += Nav(5, i, "http://h/" + std::to_string(i));
  // Every second prune cuts the front entry, the others one from the middle.
  std::vector<int> left(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) left[static_cast<size_t>(i)] = i;
  for (int i = 0; i < n - 3; ++i) {
    const int at = i % 2 ? 0 : static_cast<int>(left.size() / 2);
    log += Rec(24, I32({5, at, 1}));
    left.erase(left.begin() + at);
  }
  ASSERT_EQ(left.size(), 3u);
  const struct {
    int selected;
    int expected;  // index into `left`
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {9, 2}, {-1, 0}};
  for (const auto& c : cases) {
    const std::string file = Snss(log + Rec(7, I32({5, c.selected})));
    EXPECT_EQ(ChromiumSessionAddress(file),
              "http://h/" + std::to_string(left[static_cast<size_t>(c.expected)]))
        << c.selected;
  }
  // A prune with a huge range and navigations far apart keep their places too.
  EXPECT_EQ(ChromiumSessionAddress(Snss(Rec(0, I32({1, 5})) + Nav(5, 2000000000, "http://far/") +
                                        Nav(5, 3, "http://near/") + Rec(24, I32({5, 4, 1999999996})) +
                                        Rec(7, I32({5, 4})))),
            "http://far/");
}

TEST(BrowserSession, FirefoxNestingIsBoundedAndOnlyTheWayToTheAddressIsKept) {
  const std::string window = R"({"selected":1,"tabs":[{"index":1,"entries":[{"url":"http://a/"}]}]})";
  const auto nested = [](size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  const struct {
    std::string name, json;
    Address expected;
  } cases[] = {
      {"deep form data", R"({"windows":[)" + window + R"(],"formdata":)" + nested(400) + "}", "http://a/"},
      {"too deep", R"({"windows":[)" + window + R"(],"formdata":)" + nested(600) + "}", std::nullopt},
      {"brackets in strings do not count",
       R"({"windows":[)" + window + R"(],"t":")" + std::string(2000, '[') + R"(\"["})", "http://a/"},
      {"only brackets", std::string(263000, '['), std::nullopt},
      {"closed windows skipped", R"({"_closedWindows":[{"tabs":"x"}],"windows":[)" + window + "]}",
       "http://a/"},
  };
  for (const auto& c : cases) EXPECT_EQ(FirefoxSessionAddress(MozLz4(c.json)), c.expected) << c.name;
}

// ---- Finding the front browser in a home folder.
void Put(const std::string& path, const std::string& bytes, time_t mtime) {
  test::WriteFile(path, bytes);
  const timespec times[2] = {{mtime, 0}, {mtime, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEST(BrowserSession, NewestSessionFileOfAnyBrowserWins) {
  const std::string fox = ".mozilla/firefox/x.default/sessionstore-backups/recovery.jsonlz4";
  const std::string foxNew = "config/mozilla/firefox/y.default/sessionstore.jsonlz4";
  const std::string chrome = "config/chromium/Default/Sessions/Session_1";
  const std::string chrome2 = "config/google-chrome/Profile 1/Sessions/Session_2";
  const std::string navClosed = Sample(kChromeNavClosed);
  const struct {
    std::string name;
    std::vector<std::tuple<std::string, std::string, time_t>> files;
    Address expected;
  } cases[] = {
      {"no browser", {}, std::nullopt},
      {"chromium newer",
       {{fox, Sample(kFoxWindow2), 1000}, {chrome, navClosed, 2000}},
       kSite + "frame.html?from=nav"},
      {"firefox newer", {{fox, Sample(kFoxWindow2), 3000}, {chrome, navClosed, 2000}}, kSite + "page2.html"},
      {"config firefox, clean exit",
       {{foxNew, Sample(kFoxWindow1), 3000}, {chrome2, navClosed, 2000}},
       kSite},
      {"chrome newer",
       {{foxNew, Sample(kFoxWindow2), 1000}, {chrome2, Sample(kChromeTwoWindows), 2000}},
       kSite},
      {"newest is cut: no older file",
       {{fox, Sample(kFoxWindow2), 1000}, {chrome, navClosed.substr(0, 4000), 2000}},
       std::nullopt},
      {"newest is encrypted",
       {{fox, Sample(kFoxWindow2), 1000}, {chrome, Sample(kChromeEncrypted), 2000}},
       std::nullopt},
  };
  for (const auto& c : cases) {
    test::TempHome home;
    for (const auto& [path, bytes, mtime] : c.files) Put(home / path, bytes, mtime);
    EXPECT_EQ(ReadFrontBrowserAddress(DefaultBrowserSessionRoots()), c.expected) << c.name;
    EXPECT_EQ(FindBrowserSessionFiles(DefaultBrowserSessionRoots()).size(), c.files.size()) << c.name;
  }
}

TEST(BrowserSession, SessionFileReadsAreBounded) {
  test::TempDir dir;
  test::WriteFile(dir / "f", std::string(10, 'x'));
  EXPECT_EQ(ReadSessionFile(dir / "f", 10), std::string(10, 'x'));
  EXPECT_EQ(ReadSessionFile(dir / "f", 9), std::nullopt);
  EXPECT_EQ(ReadSessionFile(dir.Path()), std::nullopt);  // a folder
  EXPECT_EQ(ReadSessionFile(dir / "missing"), std::nullopt);
}

TEST(BrowserSession, CaptureKeepsAtMost248BytesAndIgnoresAboutBlank) {
  const std::string u300 = "http://h/" + std::string(291, 'p');
  const std::string utf8 = "http://h/" + std::string(238, 'p') + "\xc3\xa9";  // é at bytes 247-248
  const struct {
    Address in, expected;
  } cases[] = {
      {u300, u300.substr(0, 248)},
      {u300.substr(0, 248), u300.substr(0, 248)},
      {utf8 + "x", utf8.substr(0, 247)},
      {"about:blank", std::nullopt},
      {"about:blank#x", "about:blank#x"},
      {"About:blank", "About:blank"},
      {"", std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(CapturedAddress(c.in), c.expected) << c.in.value_or("(none)");
}

}  // namespace
}  // namespace tavimo

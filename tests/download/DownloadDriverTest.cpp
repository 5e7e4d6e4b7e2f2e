#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "download/CategoryFolder.h"
#include "download/DownloadDriver.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "sources/cache/ChromiumCacheEntry.h"
#include "compat/Registry.h"
#include "base/Stream.h"
#include "sources/cache/UrlCacheStore.h"
#include "tests/support/ChromiumEntryWriter.h"
#include "tests/support/FakeRegistrySource.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using test::TestServer;
using Seen = test::HttpRequestSeen;

std::string Bytes(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed)) & 0xff);
  return s;
}

struct RecordedMessage {
  std::string caption, text;
};

struct Row {
  std::string url, name;
  bool checked = false;
};

// The main window as the download commands see it.
class FakeForm : public DownloadForm {
 public:
  void ShowMessage(const std::string& caption, const std::string& text) override {
    messages.push_back({caption, text});
  }
  std::vector<RecordedMessage> messages;
  std::string RootFieldText() const override { return rootField; }
  void SetDownloadRoot(const std::string& root) override { downloadRoot = root; }
  std::string SelectedCategory() const override {
    if (category < 0) throw std::out_of_range("List index out of bounds (-1)");
    return categories.at(static_cast<size_t>(category));
  }
  int ItemCount() const override { return static_cast<int>(rows.size()); }
  bool ItemChecked(int r) const override { return rows[static_cast<size_t>(r)].checked; }
  std::string ItemUrl(int r) const override { return rows[static_cast<size_t>(r)].url; }
  std::string ItemSaveName(int r) const override { return rows[static_cast<size_t>(r)].name; }
  int FirstSelectedItem() const override { return selected; }
  int DownloadMode() const override { return mode; }
  bool AutoClose() const override { return autoClose; }
  bool ReadProxySettings(std::string&, std::string&) override { return false; }
  void SetStatusVisible(bool v) override { statusVisible = v; }
  void SetStatusText(const std::string& t) override { statusTexts.push_back(t); }
  void SetGaugeProgress(int v) override {
    gauge.push_back(v);
    if (onGauge) onGauge();
  }
  int GaugeProgress() const override { return gauge.empty() ? 0 : gauge.back(); }
  void HideAndClear() override { ++hideAndClear; }

  std::string rootField, downloadRoot;
  std::vector<std::string> categories{"--", "Mtv", "Games", "Fun"};
  int category = 0;
  std::vector<Row> rows;
  int selected = -1;
  int mode = 0;
  bool autoClose = true;
  bool statusVisible = true;
  std::vector<std::string> statusTexts;
  std::vector<int> gauge;
  int hideAndClear = 0;
  std::function<void()> onGauge;  // runs inside a progress event, as a user's click would
};

class DownloadDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.rootField = home_ / "flash";
    std::filesystem::create_directories(home_ / "flash");
    cli_.InactivityTimeout = 3;
  }

  test::TempHome home_;
  FakeForm form_;
  FakeRegistrySource registry_ = [] {
    FakeRegistrySource r;
    r.Set(kInternetSettingsKey, "ProxyEnable", 0);
    return r;
  }();
  THTTPGet getter_{registry_};
  THttpCli cli_;
  TDownloadDriver driver_{form_, getter_, cli_};
};

TEST(DownloadTexts, ReceivedSizeAndGaugeFormulas) {
  EXPECT_EQ(ReceivedText(0), "0 Bytes Received");
  EXPECT_EQ(ReceivedText(1024), "1024 Bytes Received");
  EXPECT_EQ(ReceivedText(1025), "1K Bytes Received");
  EXPECT_EQ(ReceivedText(2047), "1K Bytes Received");
  EXPECT_EQ(ReceivedText(2048), "2K Bytes Received");
  EXPECT_EQ(GaugePercent(50, 100), 50);
  EXPECT_EQ(GaugePercent(1, 3), 33);
  EXPECT_EQ(GaugePercent(5, 0), 0);                      // no length: no division
  EXPECT_EQ(GaugePercent(5, -1), 0);                     // the client's "no length"
  EXPECT_EQ(GaugePercent(2147483647, 2147483647), 100);  // no overflow in the product
  EXPECT_EQ(GaugePercent(300, 100), 100);
}

TEST_F(DownloadDriverTest, ItemFolderFollowsTheRootFieldAndTheCategory) {
  EXPECT_EQ(driver_.ItemFolder(), home_ / "flash/");
  EXPECT_EQ(form_.downloadRoot, home_ / "flash");
  form_.category = 2;
  form_.rootField = "/srv/movies/";
  EXPECT_EQ(driver_.ItemFolder(), "/srv/movies/Games/");
  form_.category = -1;
  EXPECT_THROW(driver_.ItemFolder(), std::out_of_range);
}

TEST_F(DownloadDriverTest, NothingCheckedShowsTheMessageAndFetchesNothing) {
  form_.rows = {{"http://127.0.0.1:1/a.swf", "a.swf", false}};
  form_.selected = 0;
  driver_.butdownloadClick();
  ASSERT_EQ(form_.messages.size(), 1u);
  EXPECT_EQ(form_.messages[0].caption, "No Flash item is selected");
  EXPECT_EQ(form_.messages[0].text, "Please check up the Flash items that you want to save.");
  EXPECT_EQ(form_.hideAndClear, 0);
}

class DownloadModesTest : public DownloadDriverTest, public ::testing::WithParamInterface<int> {};

TEST_P(DownloadModesTest, CheckedItemsLandByteIdenticalInTheCategoryFolder) {
  const std::string a = Bytes(2048, 1), b = Bytes(700, 2);
  TestServer server(TestServer::Files({{"/m/a.swf", TestServer::Response(200, a)},
                                       {"/m/b.swf", TestServer::Response(200, b)},
                                       {"/m/c.swf", TestServer::Response(200, "unchecked")}}));
  form_.mode = GetParam();
  form_.category = 2;
  form_.rows = {{server.Url("/m/a.swf"), "a.swf", true},
                {server.Url("/m/c.swf"), "c.swf", false},
                {server.Url("/m/b.swf"), "renamed.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/Games/a.swf"), a);
  EXPECT_EQ(test::ReadFile(home_ / "flash/Games/renamed.swf"), b);
  EXPECT_FALSE(test::FileExists(home_ / "flash/Games/c.swf"));
  EXPECT_EQ(server.Requests().size(), 2u);
  if (GetParam() == 0) {
    EXPECT_EQ(form_.statusTexts, (std::vector<std::string>{"2K Bytes Received", "700 Bytes Received"}));
    EXPECT_NE(std::find(form_.gauge.begin(), form_.gauge.end(), 100), form_.gauge.end());
  } else {
    EXPECT_EQ(form_.statusTexts, (std::vector<std::string>{"Download Complete", "Download Complete"}));
  }
  EXPECT_EQ(form_.gauge.back(), 0);
  EXPECT_TRUE(form_.statusVisible);
  EXPECT_EQ(form_.hideAndClear, 1);
  EXPECT_TRUE(form_.messages.empty());
}

TEST_F(DownloadDriverTest, MenuCommandSavesTheSelectedRowIntoItsCategoryFolder) {
  TestServer server(TestServer::Files({{"/x.swf", TestServer::Response(200, "xx")}}));
  form_.rows = {{server.Url("/x.swf"), "x.swf", false}};
  form_.selected = 0;
  form_.autoClose = false;
  driver_.DownloadthisFlashItem1Click();
  EXPECT_EQ(test::ReadFile(home_ / "flash/x.swf"), "xx");
  EXPECT_EQ(form_.hideAndClear, 0);

  form_.category = 1;  // "Mtv" does not exist yet: made as the Download button makes it
  form_.autoClose = true;
  driver_.DownloadthisFlashItem1Click();
  EXPECT_EQ(test::ReadFile(home_ / "flash/Mtv/x.swf"), "xx");
  EXPECT_EQ(form_.hideAndClear, 1);
  form_.selected = -1;
  driver_.DownloadthisFlashItem1Click();  // nothing selected: nothing at all
  EXPECT_EQ(server.Requests().size(), 2u);
}

// The plain files in a folder.
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_P(DownloadModesTest, AFailedItemKeepsTheEarlierFileSaysWhyAndTheBatchGoesOn) {
  TestServer server([](test::Conn& c, int) {
    const std::string head = c.ReadHead();
    if (head.empty()) return;
    if (head.find("/missing.swf") != std::string::npos) c.Send(TestServer::Response(404, "not here"));
    if (head.find("/short.swf") != std::string::npos) c.Send(test::LengthLie(Bytes(1500, 3), 5000));
    if (head.find("/ok.swf") != std::string::npos) c.Send(TestServer::Response(200, "fine"));
    c.Close();
  });
  form_.mode = GetParam();
  test::WriteFile(home_ / "flash/missing.swf", "saved last week");
  form_.rows = {{server.Url("/missing.swf"), "missing.swf", true},
                {server.Url("/short.swf"), "short.swf", true},
                {server.Url("/ok.swf"), "ok.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/missing.swf"), "saved last week");
  EXPECT_EQ(test::ReadFile(home_ / "flash/ok.swf"), "fine");
  EXPECT_EQ(FilesIn(home_ / "flash"), (std::vector<std::string>{"missing.swf", "ok.swf"}));
  // Each item ends with exactly one status; then the batch names its failures and the window
  // stays (auto-close is on) so the user sees them.
  ASSERT_EQ(form_.statusTexts.size(), 4u) << ::testing::PrintToString(form_.statusTexts);
  EXPECT_EQ(form_.statusTexts[0], "Download failed: 404 Not Found");
  // The short body is named as such, never as a socket error code.
  EXPECT_EQ(form_.statusTexts[1].rfind("Download failed: ", 0), 0u);
  EXPECT_NE(form_.statusTexts[1].find("after 1500"), std::string::npos) << form_.statusTexts[1];
  EXPECT_EQ(form_.statusTexts[2], GetParam() == 0 ? "4 Bytes Received" : "Download Complete");
  EXPECT_EQ(form_.statusTexts[3], "1 of 3 saved; missing.swf: 404 Not Found; short.swf: " +
                                      form_.statusTexts[1].substr(std::string("Download failed: ").size()));
  EXPECT_TRUE(form_.statusVisible);
  EXPECT_EQ(form_.gauge.back(), 0);
  EXPECT_TRUE(form_.messages.empty());
  EXPECT_EQ(form_.hideAndClear, 0);
}

// Either client: a body that inflates past the movie limit fails the item with the reason and
// leaves the earlier file; one within it is saved.
TEST_P(DownloadModesTest, TheMovieLimitBoundsTheDecodedBody) {
  TestServer server([](test::Conn& c, int) {
    const std::string head = c.ReadHead();
    if (head.empty()) return;
    if (head.find("/bomb.swf") != std::string::npos)
      c.Send(test::Encoded(std::string(1 << 20, '\0'), "gzip"));
    else c.Send(test::Encoded(Bytes(4000, 5), "gzip"));
    c.Close();
  });
  form_.mode = GetParam();
  getter_.MaxMovieBytes = 5000;
  driver_.MaxMovieBytes = 5000;
  test::WriteFile(home_ / "flash/bomb.swf", "saved last week");
  form_.rows = {{server.Url("/bomb.swf"), "bomb.swf", true}, {server.Url("/ok.swf"), "ok.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/bomb.swf"), "saved last week");
  EXPECT_EQ(test::ReadFile(home_ / "flash/ok.swf"), Bytes(4000, 5));
  EXPECT_EQ(FilesIn(home_ / "flash"), (std::vector<std::string>{"bomb.swf", "ok.swf"}));
  EXPECT_NE(std::find(form_.statusTexts.begin(), form_.statusTexts.end(),
                      "Download failed: the movie is larger than 5000 bytes, the most a download saves"),
            form_.statusTexts.end());
}

TEST_P(DownloadModesTest, TwoItemsOfABatchWithOneNameAreBothKept) {
  TestServer server(TestServer::Files({{"/1/a.swf", TestServer::Response(200, "first")},
                                       {"/2/a.swf", TestServer::Response(200, "second")},
                                       {"/3/a.swf", TestServer::Response(200, "third")},
                                       {"/a2.swf", TestServer::Response(200, "own name")}}));
  form_.mode = GetParam();
  test::WriteFile(home_ / "flash/a.swf", "from an earlier batch");
  form_.rows = {{server.Url("/1/a.swf"), "a.swf", true},
                {server.Url("/2/a.swf"), "a.swf", true},
                {server.Url("/a2.swf"), "a (2).swf", true},
                {server.Url("/3/a.swf"), "a.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/a.swf"), "first");  // the earlier batch's file replaced
  EXPECT_EQ(test::ReadFile(home_ / "flash/a (2).swf"), "second");
  EXPECT_EQ(test::ReadFile(home_ / "flash/a (2) (2).swf"), "own name");  // its name was saved to
  EXPECT_EQ(test::ReadFile(home_ / "flash/a (3).swf"), "third");
  ASSERT_EQ(form_.statusTexts.size(), 4u);
  EXPECT_EQ(form_.statusTexts[0].find("saved as"), std::string::npos);
  EXPECT_NE(form_.statusTexts[1].find("saved as a (2).swf"), std::string::npos) << form_.statusTexts[1];
  EXPECT_NE(form_.statusTexts[2].find("saved as a (2) (2).swf"), std::string::npos);
  EXPECT_NE(form_.statusTexts[3].find("saved as a (3).swf"), std::string::npos);
  EXPECT_EQ(form_.hideAndClear, 1);
}

// Only files the batch really saved push a later item to a numbered name.
TEST_P(DownloadModesTest, AFailedItemLeavesItsNameToTheNextOne) {
  TestServer server(TestServer::Files({{"/2/a.swf", TestServer::Response(200, "good")},
                                       {"/3/a.swf", TestServer::Response(200, "also good")}}));
  form_.mode = GetParam();
  form_.rows = {{server.Url("/1/a.swf"), "a.swf", true},  // 404
                {server.Url("/2/a.swf"), "a.swf", true},
                {server.Url("/3/a.swf"), "a.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/a.swf"), "good");
  EXPECT_EQ(test::ReadFile(home_ / "flash/a (2).swf"), "also good");
  EXPECT_EQ(FilesIn(home_ / "flash"), (std::vector<std::string>{"a (2).swf", "a.swf"}));
  EXPECT_EQ(form_.statusTexts.back(), "2 of 3 saved; a.swf: 404 Not Found");
}

// Names longer than a file name may be lose bytes before the extension (never inside a UTF-8
// character), numbered ones too; each item still ends with one status.
TEST_P(DownloadModesTest, ATooLongNameIsShortenedKeepingItsExtension) {
  TestServer server(TestServer::Files({{"/1.swf", TestServer::Response(200, "one")},
                                       {"/2.swf", TestServer::Response(200, "two")},
                                       {"/3.swf", TestServer::Response(200, "three")}}));
  form_.mode = GetParam();
  const std::string ascii(300, 'n'), utf8 = [] {
    std::string s;
    for (int i = 0; i < 150; ++i) s += "\xc3\xa9";  // é
    return s;
  }();
  form_.rows = {{server.Url("/1.swf"), ascii + ".swf", true},
                {server.Url("/2.swf"), ascii + ".swf", true},
                {server.Url("/3.swf"), utf8 + ".swf", true}};
  driver_.butdownloadClick();
  const std::string one = std::string(251, 'n') + ".swf", two = std::string(247, 'n') + " (2).swf",
                    three = utf8.substr(0, 250) + ".swf";
  EXPECT_EQ(test::ReadFile(home_ / "flash/" + one), "one");
  EXPECT_EQ(test::ReadFile(home_ / "flash/" + two), "two");
  EXPECT_EQ(test::ReadFile(home_ / "flash/" + three), "three");
  EXPECT_EQ(two.size(), 255u);
  EXPECT_EQ(three.size(), 254u);
  const std::string done = GetParam() == 0 ? "3 Bytes Received" : "Download Complete";
  EXPECT_EQ(form_.statusTexts, (std::vector<std::string>{
                                   done + ", saved as " + one, done + ", saved as " + two,
                                   (GetParam() == 0 ? "5 Bytes Received" : done) + ", saved as " + three}));
  EXPECT_EQ(form_.hideAndClear, 1);
}

// A second batch started while the first one waits (Download pressed again, or the menu
// command) is refused before it changes the client's URL or stream or creates any file.
TEST_P(DownloadModesTest, ASecondBatchWhileBusyIsRefusedAndTheFirstGoesOn) {
  const std::string movie = Bytes(6000, 4);
  TestServer server([&movie](test::Conn& c, const Seen&) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 6000\r\n\r\n" + movie.substr(0, 3000));
    c.Sleep(100);
    c.Send(movie.substr(3000));
  });
  form_.mode = GetParam();
  form_.autoClose = false;
  form_.rows = {{server.Url("/first.swf"), "first.swf", true}};
  form_.selected = 0;
  std::vector<std::string> refusals;
  form_.onGauge = [&] {
    if (!refusals.empty()) return;
    form_.rows = {{server.Url("/second.swf"), "second.swf", true}};
    for (auto command : {&TDownloadDriver::butdownloadClick, &TDownloadDriver::DownloadthisFlashItem1Click}) {
      try {
        (driver_.*command)();
        refusals.push_back("not refused");
      } catch (const EHttpException& e) {
        refusals.push_back(e.what());
      }
    }
  };
  driver_.butdownloadClick();
  EXPECT_EQ(refusals, (std::vector<std::string>{"HTTP component is busy", "HTTP component is busy"}));
  EXPECT_EQ(test::ReadFile(home_ / "flash/first.swf"), movie);
  EXPECT_EQ(FilesIn(home_ / "flash"), (std::vector<std::string>{"first.swf"}));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_FALSE(driver_.Running());
}

// On a fresh account the root itself may be missing: it is made with its parents.
TEST_P(DownloadModesTest, AMissingRootIsMadeWithItsParents) {
  TestServer server(TestServer::Files({{"/m/a.swf", TestServer::Response(200, "movie")}}));
  form_.mode = GetParam();
  form_.rootField = home_ / "Downloads/flash/";
  form_.category = 2;
  form_.rows = {{server.Url("/m/a.swf"), "a.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "Downloads/flash/Games/a.swf"), "movie");
  EXPECT_EQ(form_.hideAndClear, 1);
}

// A folder that cannot be made, or a category that would lead out of the root, fails the
// command with the reason before anything is fetched; the window stays.
TEST_P(DownloadModesTest, AFolderThatCannotBeUsedFailsTheCommandClearly) {
  TestServer server(TestServer::Files({{"/a.swf", TestServer::Response(200, "a")}}));
  form_.mode = GetParam();
  test::WriteFile(home_ / "plain-file", "in the way");
  form_.categories = {"--", "..", "../../.config/autostart", std::string("a\0b", 3), "Fun"};
  form_.rows = {{server.Url("/a.swf"), "a.swf", true}};
  form_.selected = 0;
  const struct {
    std::string root;
    int category;
    std::string status;
  } rows[] = {
      {home_ / "plain-file/root", 4,
       "Download failed: cannot create the folder " + home_ / "plain-file/root/Fun: Not a directory"},
      {home_ / "flash/x/y", 1, "Download failed: A category name cannot be \".\" or \"..\"."},
      {home_ / "flash/x/y", 2, "Download failed: A category name cannot contain \"/\"."},
      {home_ / "flash/x/y", 3, "Download failed: A category name cannot contain a NUL character."},
  };
  for (const auto& row : rows) {
    form_.rootField = row.root;
    form_.category = row.category;
    for (auto command : {&TDownloadDriver::butdownloadClick, &TDownloadDriver::DownloadthisFlashItem1Click}) {
      form_.statusTexts.clear();
      (driver_.*command)();
      EXPECT_EQ(form_.statusTexts, std::vector<std::string>{row.status});
    }
  }
  EXPECT_TRUE(form_.statusVisible);
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_FALSE(test::FileExists(home_ / "flash/x"));
  EXPECT_FALSE(test::FileExists(home_ / ".config/autostart"));
  EXPECT_EQ(form_.hideAndClear, 0);
  EXPECT_TRUE(form_.messages.empty());
}

TEST_F(DownloadDriverTest, CopyFromCacheWithoutACacheSaysSoAndStays) {
  form_.mode = 2;
  form_.rows = {{"http://127.0.0.1:1/a.swf", "a.swf", true}};
  driver_.butdownloadClick();
  EXPECT_FALSE(test::FileExists(home_ / "flash/a.swf"));
  EXPECT_EQ(form_.statusTexts.back(), "0 of 1 saved; a.swf: not in the cache");
  EXPECT_EQ(form_.hideAndClear, 0);
}

TEST(CategoryNames, OnlyNamesOfAFolderInsideTheRootAreTaken) {
  using Names = std::vector<std::string>;
  for (const std::string& name :
       Names{"Games", "--", "", " .. ", "...", ".hidden", "a\\b", std::string(255, 'g')}) {
    EXPECT_EQ(CategoryNameProblem(name), "") << name;
  }
  for (const std::string& name :
       Names{".", "..", "/", "../x", "a/b", "a\nb", "a\rb", std::string(256, 'g'), std::string("a\0", 2)}) {
    EXPECT_NE(CategoryNameProblem(name), "") << name;
  }
}

// A save-as name edited to leave the category's folder, or to name the folder itself, fails on
// its own: nothing is written outside the folder and the rest of the batch is saved.
TEST_P(DownloadModesTest, ASaveAsNameThatLeavesTheFolderFailsAlone) {
  TestServer server(TestServer::Files({{"/a.swf", TestServer::Response(200, "movie")}}));
  form_.mode = GetParam();
  form_.category = 2;  // Games
  const std::string url = server.Url("/a.swf");
  form_.rows = {{url, "../../escape.swf", true}, {url, "..", true}, {url, "", true}, {url, "a.swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(FilesIn(home_ / "flash/Games"), std::vector<std::string>{"a.swf"});
  EXPECT_FALSE(std::filesystem::exists(home_ / "escape.swf"));
  EXPECT_TRUE(FilesIn(home_ / "flash").empty());
  ASSERT_FALSE(form_.statusTexts.empty());
  EXPECT_EQ(form_.statusTexts.back().rfind("1 of 4 saved; ../../escape.swf: ", 0), 0u)
      << form_.statusTexts.back();
  EXPECT_EQ(form_.hideAndClear, 0);
}

INSTANTIATE_TEST_SUITE_P(FromCacheAndFromInternet, DownloadModesTest, ::testing::Values(0, 1));

// The browser's cache holds a fresh gzip-encoded copy of one movie and a copy with a query of
// another; the third is in no cache.
class CacheModesTest : public DownloadDriverTest {
 protected:
  void SetUp() override {
    DownloadDriverTest::SetUp();
    getter_.CacheStore = &store_;
    driver_.CacheStore = &store_;
    const std::string folder = home_ / "cache/chromium/Default/Cache/Cache_Data";
    std::filesystem::create_directories(folder);
    const std::int64_t now = std::time(nullptr);
    test::ChromiumEntry fresh{
        .url = server_.Url("/m/a.swf"),
        .key = "",
        .body = test::Gzip(movieA_),
        .head = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nCache-Control: max-age=3600\r\n",
        .requestTime = now - 10,
        .responseTime = now - 10};
    test::ChromiumEntry withQuery{.url = server_.Url("/m/b.swf?v=1"),
                                  .key = "",
                                  .body = movieB_,
                                  .head = "HTTP/1.1 200 OK\r\nCache-Control: max-age=3600\r\n",
                                  .requestTime = now - 10,
                                  .responseTime = now - 10};
    ASSERT_FALSE(test::WriteChromiumEntry(folder, fresh).empty());
    ASSERT_FALSE(test::WriteChromiumEntry(folder, withQuery).empty());
    form_.rows = {{server_.Url("/m/a.swf"), "a.swf", true},
                  {server_.Url("/m/c.swf"), "c.swf", true},
                  {server_.Url("/m/b.swf"), "b.swf", true}};
  }
  const std::string movieA_ = Bytes(5000, 1), movieB_ = Bytes(3000, 2), movieC_ = Bytes(700, 3);
  TestServer server_{TestServer::Files({{"/m/a.swf", TestServer::Response(200, movieA_)},
                                        {"/m/b.swf", TestServer::Response(200, movieB_)},
                                        {"/m/c.swf", TestServer::Response(200, movieC_)},
                                        {"/m/s.swf", TestServer::Response(200, movieB_)}})};
  UrlCacheStore store_;
};

TEST_F(CacheModesTest, FromCacheAnswersFreshEntriesWithoutTheNetworkAndKeepsDownloads) {
  form_.mode = 0;
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/a.swf"), movieA_);  // decoded
  EXPECT_EQ(test::ReadFile(home_ / "flash/b.swf"), movieB_);
  EXPECT_EQ(test::ReadFile(home_ / "flash/c.swf"), movieC_);
  std::vector<std::string> asked;
  for (const Seen& r : server_.Requests()) asked.push_back(r.target);
  EXPECT_EQ(asked, (std::vector<std::string>{"/m/c.swf", "/m/b.swf"}));  // never a.swf
  // What was downloaded is kept: the next batch needs the network for b.swf only if the
  // answer was not fresh (the test server names no freshness).
  EXPECT_EQ(store_.Find(server_.Url("/m/c.swf"), false).size(), 1u);
}

// A fresh cached copy that decodes past the movie limit is refused like a network body, and is
// no reason to ask the network for the same movie.
TEST_F(CacheModesTest, FromCacheTheMovieLimitBoundsTheDecodedCopy) {
  form_.mode = 0;
  getter_.MaxMovieBytes = 4000;
  test::WriteFile(home_ / "flash/a.swf", "saved last week");
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/a.swf"), "saved last week");
  EXPECT_EQ(test::ReadFile(home_ / "flash/b.swf"), movieB_);
  EXPECT_EQ(form_.statusTexts.front(),
            "Download failed: the movie is larger than 4000 bytes, the most a download saves");
  for (const Seen& r : server_.Requests()) EXPECT_NE(r.target, "/m/a.swf");
  EXPECT_EQ(FilesIn(home_ / "flash"), (std::vector<std::string>{"a.swf", "b.swf", "c.swf"}));
}

TEST_F(CacheModesTest, CopyFromCacheCopiesCachedItemsAndSaysWhichAreNot) {
  form_.mode = 2;
  driver_.butdownloadClick();
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(test::ReadFile(home_ / "flash/a.swf"), movieA_);
  EXPECT_EQ(test::ReadFile(home_ / "flash/b.swf"), movieB_);  // the entry with the query
  EXPECT_FALSE(test::FileExists(home_ / "flash/c.swf"));
  EXPECT_EQ(form_.statusTexts,
            (std::vector<std::string>{"4K Bytes Received", "Not in the cache: " + server_.Url("/m/c.swf"),
                                      "2K Bytes Received", "2 of 3 saved; c.swf: not in the cache"}));
  EXPECT_EQ(form_.hideAndClear, 0);
}

TEST_F(CacheModesTest, CopyFromCacheSkipsDamagedAndShortCopies) {
  const std::string folder = home_ / "cache/chromium/Default/Cache/Cache_Data";
  const std::int64_t now = std::time(nullptr);
  // A newer copy of a.swf damaged after it was written, c.swf only damaged, and b.swf (as
  // asked for, without the query) only with a body shorter than its Content-Length.
  for (const auto& [path, body] : {std::pair{"/m/a.swf", movieA_}, std::pair{"/m/c.swf", movieC_}}) {
    test::ChromiumEntry e{.url = server_.Url(path),
                          .key = "1/0/" + server_.Url(path),
                          .body = body,
                          .head = "HTTP/1.1 200 OK\r\nCache-Control: max-age=3600\r\n",
                          .requestTime = now,
                          .responseTime = now};
    const std::string file = test::WriteChromiumEntry(folder, e);
    ASSERT_FALSE(file.empty());
    std::string bytes = test::ReadFile(file);
    bytes[chromium::kHeaderSize + e.key.size() + body.size() / 2] ^= 1;
    test::WriteFile(file, bytes);
  }
  test::ChromiumEntry shortBody{
      .url = server_.Url("/m/s.swf"),
      .key = "",
      .body = movieB_.substr(0, 2000),
      .head = "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\nCache-Control: max-age=3600\r\n",
      .requestTime = now,
      .responseTime = now};
  ASSERT_FALSE(test::WriteChromiumEntry(folder, shortBody).empty());
  test::WriteFile(home_ / "flash/c.swf", "the older c.swf");
  form_.rows = {{server_.Url("/m/a.swf"), "a.swf", true},
                {server_.Url("/m/c.swf"), "c.swf", true},
                {server_.Url("/m/s.swf"), "s.swf", true}};
  form_.mode = 2;
  driver_.butdownloadClick();
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(test::ReadFile(home_ / "flash/a.swf"), movieA_);  // the older, intact copy
  EXPECT_EQ(test::ReadFile(home_ / "flash/c.swf"), "the older c.swf");
  EXPECT_FALSE(test::FileExists(home_ / "flash/s.swf"));
  EXPECT_EQ(
      form_.statusTexts,
      (std::vector<std::string>{"4K Bytes Received", "Download failed: the cached body is damaged",
                                "Not in the cache: " + server_.Url("/m/s.swf"),
                                "1 of 3 saved; c.swf: the cached body is damaged; s.swf: not in the cache"}));
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(home_ / "flash")) {
    files.push_back(e.path().filename());
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"a.swf", "c.swf"}));  // no temporary file left

  // From the cache (mode 0) the short copy is no answer either: the network gives the file;
  // a damaged newest copy gives its turn to the older fresh one, without the network.
  form_.mode = 0;
  form_.rows = {{server_.Url("/m/s.swf"), "s.swf", true}, {server_.Url("/m/a.swf"), "a (mode 0).swf", true}};
  driver_.butdownloadClick();
  EXPECT_EQ(test::ReadFile(home_ / "flash/s.swf"), movieB_);
  EXPECT_EQ(test::ReadFile(home_ / "flash/a (mode 0).swf"), movieA_);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].target, "/m/s.swf");
}

}  // namespace
}  // namespace tavimo

#include <gtest/gtest.h>

#include "detect/ItemSink.h"
#include "detect/MemoLines.h"
#include "detect/PageScan.h"
#include "net/HttpCli.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

namespace tavimo {
namespace {

using test::TestServer;

class ListSink : public ItemSink {
 public:
  void Clear() override { rows.clear(); }
  void AppendItem(const std::string& url, const std::string& name) override { rows.push_back({url, name}); }
  int Count() const override { return static_cast<int>(rows.size()); }
  std::string Url(int row) const override { return rows.at(row).first; }
  std::vector<std::pair<std::string, std::string>> rows;
};

class FakeScanForm : public ScanForm {
 public:
  void SetStatusText(const std::string& t) override { statusTexts.push_back(t); }
  void SetStatusVisible(bool v) override { statusVisible = v; }
  void SetGaugeProgress(int v) override { gauge = std::clamp(v, 0, 100); }
  int GaugeProgress() const override { return gauge; }
  bool ReadProxySettings(std::string&, std::string&) override { return false; }
  std::string AddressText() const override { return address; }
  int DetectMode() const override { return detectMode; }
  void SetBusyTimerEnabled(bool on) override { timerEnabled = on; }
  void SetGoEnabled(bool on) override { goEnabled = on; }
  void StartCacheSearch(bool listAll) override { cacheSearches.push_back(listAll); }
  void ScanFinished(bool anyPageFailed) override { finished.push_back(anyPageFailed); }

  std::string address;
  int detectMode = 0;
  std::vector<std::string> statusTexts;
  bool statusVisible = true;
  int gauge = 0;
  bool timerEnabled = false;
  bool goEnabled = true;
  std::vector<bool> cacheSearches;
  std::vector<bool> finished;
};

class PageScanTest : public ::testing::Test {
 protected:
  PageScanTest() { HttpCli2_.InactivityTimeout = 3; }

  std::vector<std::string> Urls() const {
    std::vector<std::string> urls;
    for (int i = 0; i < items_.Count(); ++i) urls.push_back(items_.Url(i));
    return urls;
  }
  void ExpectIdle() const {
    EXPECT_TRUE(form_.goEnabled);
    EXPECT_FALSE(form_.timerEnabled);
    EXPECT_TRUE(form_.statusVisible);
  }

  test::TempHome home_;
  ListSink items_;
  TMemoLines memo_;
  THttpCli HttpCli2_;
  FakeScanForm form_;
  TPageScan scan_{form_, items_, memo_, HttpCli2_};
};

TEST_F(PageScanTest, FollowsFramesPassByPassAndEndsAFrameLoop) {
  TestServer server(TestServer::Files({
      {"/site/index.htm",
       TestServer::Response(200, "<embed src=\"Intro.swf\">\r\n<iframe src = \"menu.htm\"></iframe>")},
      {"/site/menu.htm",
       TestServer::Response(200, "<param value='nav.swf'><iframe src=\"index.htm\"></iframe>")},
  }));
  form_.address = server.Url("/site/index.htm");
  form_.detectMode = 1;
  scan_.butgoClick();
  EXPECT_EQ(Urls(), (std::vector<std::string>{server.Url("/site/Intro.swf"), server.Url("/site/nav.swf")}));
  EXPECT_EQ(items_.rows[0].second, "Intro.swf");
  ASSERT_EQ(server.Requests().size(), 2u);  // the frame back to the page is not fetched again
  EXPECT_EQ(form_.statusTexts, (std::vector<std::string>{" Loading ", "Finished"}));
  EXPECT_EQ(form_.cacheSearches, std::vector<bool>{false});
  EXPECT_EQ(form_.finished, std::vector<bool>{false});
  ExpectIdle();
  EXPECT_EQ(test::ReadFile(scan_.LinkListFile()), server.Url("/site/nav.swf") + "\r\n");
}

TEST_F(PageScanTest, FramesOfOnePassAreFetchedIntoOneText) {
  TestServer server(TestServer::Files({
      {"/p.htm", TestServer::Response(200, "<iframe src='a.htm'><iframe src='b.htm'>")},
      {"/a.htm", TestServer::Response(200, "\"zeta.swf\"")},
      {"/b.htm", TestServer::Response(200, "\"alpha.swf\" \"ZETA.swf\"")},
  }));
  form_.address = server.Url("/p.htm");
  scan_.butgoClick();
  // One pass, one text: duplicates across the two frame pages collapse, the list is sorted.
  EXPECT_EQ(Urls(), (std::vector<std::string>{server.Url("/alpha.swf"), server.Url("/zeta.swf")}));
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_TRUE(form_.cacheSearches.empty());
}

TEST_F(PageScanTest, ListAllCacheNeverFetches) {
  form_.address = "http://127.0.0.1:1/never.htm";
  form_.detectMode = 2;
  scan_.butgoClick();
  EXPECT_EQ(form_.cacheSearches, std::vector<bool>{true});
  EXPECT_EQ(form_.statusTexts, (std::vector<std::string>{" Loading ", "Finished"}));
  EXPECT_EQ(form_.gauge, 50);
  EXPECT_TRUE(form_.finished.empty());
  EXPECT_FALSE(form_.timerEnabled);
  EXPECT_TRUE(form_.goEnabled);
}

TEST_F(PageScanTest, UnreachableAndEmptyAddressesEndEmptyAndSaySo) {
  int port;
  {
    TestServer gone([](test::Conn&, const test::HttpRequestSeen&) {});
    port = gone.Port();
  }
  const struct {
    std::string address, status;
    bool failed;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(port) + "/x.htm",
       "Finished: 1 of 1 page failed: connection refused", true},
      {"", "Finished", false},
      {" \t ", "Finished", false},  // blanks only: no address at all
  };
  for (const auto& [address, status, failed] : cases) {
    form_.address = address;
    form_.statusTexts.clear();
    form_.finished.clear();
    items_.AppendItem("http://old.example/previous.swf", "previous.swf");
    scan_.butgoClick();
    EXPECT_EQ(items_.Count(), 0);  // the previous page's rows go
    EXPECT_EQ(form_.statusTexts.back(), status);
    EXPECT_EQ(form_.finished, std::vector<bool>{failed});
    EXPECT_EQ(test::ReadFile(scan_.LinkListFile()), "");  // an empty list is still written
    ExpectIdle();
  }
}

TEST_F(PageScanTest, AFailureStopsTheScanAndRestoresIdle) {
  TestServer server(TestServer::Files({{"/p.htm", TestServer::Response(200, "\"a.swf\"")}}));
  test::WriteFile(home_ / "blocker", "");
  test::ScopedEnv env;
  env.Set("XDG_RUNTIME_DIR", home_ / "blocker");  // the link list file cannot be written
  form_.address = server.Url("/p.htm");
  std::string error;
  try {
    scan_.butgoClick();
  } catch (const std::exception& e) {
    error = e.what();
  }
  ASSERT_FALSE(error.empty());
  ExpectIdle();
  // The panel says what ended the scan; it never stays at " Loading ".
  EXPECT_EQ(form_.statusTexts, (std::vector<std::string>{" Loading ", error}));
  EXPECT_TRUE(form_.finished.empty());
}

TEST_F(PageScanTest, BusyAnimationCyclesBetweenSixtyAndEighty) {
  form_.gauge = 50;
  std::vector<int> seen;
  for (int i = 0; i < 6; ++i) {
    scan_.Timer2Timer();
    seen.push_back(form_.gauge);
  }
  EXPECT_EQ(seen, (std::vector<int>{60, 70, 80, 60, 70, 80}));
  EXPECT_FALSE(form_.statusVisible);
}

}  // namespace
}  // namespace tavimo

// The cache search in the real main window over a cache that a real Chromium filled: a page
// whose script fetches movies (one from another site) and whose text names one more. Each
// detection option lists what a user expects: the page's movie, the page's movie and the site's
// cached ones, or every cached movie.
#include <algorithm>
#include <map>

#include "controls/FlatEdit.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "tests/app/FormFixture.h"
#include "tests/support/HeadlessChromium.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

using ChromiumCacheSearchDesktopTest = FormTest;

std::string Movie(std::size_t n, char seed) {
  std::string s = "FWS";
  s.resize(n);
  for (std::size_t i = 3; i < n; ++i)
    s[i] = static_cast<char>((i * 13 + static_cast<std::size_t>(seed)) & 0xff);
  return s;
}

const std::string kMovieHeaders =
    "Cache-Control: max-age=3600\r\nContent-Type: application/x-shockwave-flash\r\n";

// The script spells no ".swf" in quotes, so the scan of the page text cannot find the fetched
// movies: only the cache can list them. page.swf is not served at all (the browser does not
// fetch an <embed> with its type given; if it ever did, a 404 is no movie).
std::string Page(const std::string& otherSite) {
  return "<html><head><title>loading</title></head><body>\n"
         "<embed src=\"page.swf\" type=\"application/x-shockwave-flash\">\n<script>\n"
         "const ext = '.s' + 'wf';\n"
         "const urls = ['m/fetched' + ext, 'm/versioned' + ext + '?v=2', '" +
         otherSite + "/other' + ext];\n" + test::FetchAllScript("urls") + "</script></body></html>\n";
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST_F(ChromiumCacheSearchDesktopTest, EachDetectionOptionListsPageAndCacheMovies) {
  if (ChromiumProgram().empty()) GTEST_SKIP() << "chromium is not installed";

  // Another site (another port: another host for the search), which lets the page fetch it.
  const std::string cors = "Access-Control-Allow-Origin: *\r\n";
  TestServer other(
      TestServer::Files({{"/other.swf", TestServer::Response(200, Movie(2500, 'o'), kMovieHeaders + cors)}}));
  TestServer site(TestServer::Files({
      {"/page.html", TestServer::Response(200, Page(other.Url("")), "Content-Type: text/html\r\n")},
      {"/m/fetched.swf", TestServer::Response(200, Movie(4000, 'f'), kMovieHeaders)},
      {"/m/versioned.swf?v=2", TestServer::Response(200, Movie(800, 'v'), kMovieHeaders)},
  }));
  std::string error;
  const std::string page = site.Url("/page.html");
  ASSERT_TRUE(FillChromiumCache(home.Path(), page, "movies fetched", error)) << error;

  const std::string pageMovie = site.Url("/page.swf");
  const std::vector<std::string> siteCached = {site.Url("/m/fetched.swf"), site.Url("/m/versioned.swf")};
  const std::string otherCached = other.Url("/other.swf");
  struct Case {
    int detectMode;
    std::vector<std::string> fromPage;   // first, in page order
    std::vector<std::string> fromCache;  // then, in the cache's order
  };
  const Case cases[] = {
      {0, {pageMovie}, {}},
      {1, {pageMovie}, siteCached},
      {2, {}, {siteCached[0], siteCached[1], otherCached}},
  };

  Form();
  for (const Case& c : cases) {
    SCOPED_TRACE("DetectMode " + std::to_string(c.detectMode));
    form->Settings().DetectMode = c.detectMode;
    form->edturl->setText(QString::fromStdString(page));
    form->edturlKeyDown(13);  // Enter in the address field

    std::vector<std::string> listed;
    for (int row = 0; row < form->Items->Count(); ++row) listed.push_back(form->Items->Url(row));
    ASSERT_EQ(listed.size(), c.fromPage.size() + c.fromCache.size()) << ::testing::PrintToString(listed);
    const auto split = listed.begin() + static_cast<std::ptrdiff_t>(c.fromPage.size());
    EXPECT_EQ(std::vector<std::string>(listed.begin(), split), c.fromPage);
    EXPECT_EQ(Sorted({split, listed.end()}), Sorted(c.fromCache));
    for (int row = 0; row < form->Items->Count(); ++row) {
      const std::string url = form->Items->Url(row);
      EXPECT_EQ(form->Items->SaveAsName(row), url.substr(url.rfind('/') + 1));
    }
    EXPECT_EQ(form->statubar->Caption().toStdString(), "Finished");
  }
  EXPECT_TRUE(dialogs.Messages.empty());
  RemoveChromiumFolders(home.Path());
}

}  // namespace
}  // namespace tavimo::test

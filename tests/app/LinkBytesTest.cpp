// Links of pages that are not UTF-8 (Latin-1, GBK, Big5) go through the window byte for byte:
// listed, previewed (the movie fetcher asks for exactly those bytes, percent-encoded as the
// client sends every unsafe byte) and saved under the raw-byte name in both download modes.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTreeWidget>

#include <filesystem>

#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "detect/HttpMovieFetcher.h"
#include "app/ItemList.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

struct PageCase {
  const char* encoding;
  std::string name;    // the movie's file name as the page spells it
  std::string onWire;  // the request target the server must see for it
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.encoding; }

const PageCase kCases[] = {
    {"Latin1", "m\xfcsica d\xe9j\xe0.swf", "/p/m%FCsica%20d%E9j%E0.swf"},
    {"GBK", "\xd3\xce\xcf\xb7.swf", "/p/%D3%CE%CF%B7.swf"},
    {"Big5", "\xb9\x43\xc0\xb8.swf", "/p/%B9C%C0%B8.swf"},
};

std::string MovieBytes(char seed) {
  std::string s = "FWS";
  for (int i = 0; i < 2000; ++i) s += static_cast<char>((i * 13 + seed) & 0xff);
  return s;
}

class LinkBytesTest : public FormTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(LinkBytesTest, ListedPreviewedAndSavedByteForByte) {
  const PageCase& c = GetParam();
  const std::string movie = MovieBytes(c.encoding[0]);
  const std::string other = MovieBytes('o');
  const std::string page = "<html><embed src=\"first.swf\"><embed src=\"" + c.name + "\"></html>";
  TestServer server(TestServer::Files({{"/p/index.htm", TestServer::Response(200, page)},
                                       {"/p/first.swf", TestServer::Response(200, other)},
                                       {c.onWire, TestServer::Response(200, movie)}}));
  Form();
  form->HttpCli1->InactivityTimeout = 5;
  form->HttpCli2->InactivityTimeout = 5;
  const std::string root = home / "flash";
  std::filesystem::create_directories(root);
  form->edtdowndir->setText(QString::fromStdString(root));

  // A row clicked before the scan: the scan's refill highlights row 0, the row it previews.
  form->Items->AppendItem("http://h/x.swf", "x.swf");
  form->Items->AppendItem("http://h/y.swf", "y.swf");
  form->Items->SelectedRow = 1;

  form->edturl->setText(QString::fromStdString(server.Url("/p/index.htm")));
  form->edturlKeyDown(13);
  ASSERT_EQ(form->Items->Count(), 2) << form->HttpCli2->ReasonPhrase();
  const std::string url = server.Url("/p/" + c.name);
  EXPECT_EQ(form->Items->Url(1), url);
  EXPECT_EQ(form->Items->SaveAsName(1), c.name);
  EXPECT_EQ(form->Items->SelectedRow, 0);
  ASSERT_GE(playerLog.size(), 2u);
  EXPECT_EQ(playerLog[playerLog.size() - 2], "Movie:" + server.Url("/p/first.swf"));

  // A click on the row previews exactly its bytes.
  playerLog.clear();
  form->Items->ListView1->setCurrentItem(form->Items->ListView1->topLevelItem(1));
  form->Items->ListView1Click();
  ASSERT_EQ(playerLog, (std::vector<std::string>{"Stop", "Movie:" + url, "Play"}));

  // What the player is given, the movie fetcher asks the server for on the wire.
  THttpMovieFetcher fetcher;
  fetcher.Client().InactivityTimeout = 5;
  std::optional<std::pair<bool, std::string>> answer;
  fetcher.Fetch(playerLog[1].substr(6),
                [&](bool ok, std::string bytes) { answer.emplace(ok, std::move(bytes)); });
  QElapsedTimer t;
  t.start();
  while (!answer && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, std::make_pair(true, movie));
  ASSERT_FALSE(server.Requests().empty());
  EXPECT_EQ(server.Requests().back().target, c.onWire);

  // Saved under the page's own bytes, through the file getter and through the HTTP client.
  form->Items->SetChecked(1, true);
  form->Settings().AutoClose = false;
  const struct {
    int mode;
    int category;
    const char* folder;
  } modes[] = {{0, 2, "Games"}, {1, 3, "Fun"}};
  for (const auto& m : modes) {
    form->Settings().DownloadMode = m.mode;
    form->lstclass->setCurrentRow(m.category);
    form->butdownloadClick();
    const std::string saved = root + "/" + m.folder + "/" + c.name;
    EXPECT_TRUE(FileExists(saved)) << "mode " << m.mode;
    EXPECT_EQ(ReadFile(saved), movie) << "mode " << m.mode;
    EXPECT_EQ(server.Requests().back().target, c.onWire) << "mode " << m.mode;
  }
  EXPECT_TRUE(dialogs.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, LinkBytesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PageCase>& p) {
                           return std::string(p.param.encoding);
                         });

}  // namespace
}  // namespace tavimo::test

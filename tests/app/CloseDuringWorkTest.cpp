// Closing the window while a scan or a download waits on the network: Exit and the end of the
// session stop the work, save the settings, remove the link list, and nothing is fetched or
// touched afterwards.
#include <QTimer>

#include <atomic>
#include <csignal>
#include <filesystem>

#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "app/ItemList.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "platform/TerminationSignals.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

// /page.htm frames /slow.htm and /later.htm; every other address starts an answer and then
// stalls until the client goes.
TestServer::Script StallingSite() {
  return [](Conn& c, int) {
    const std::string head = c.ReadHead();
    if (head.find("GET /page.htm") != std::string::npos) {
      const std::string body =
          "<iframe src=\"slow.htm\"></iframe><iframe src=\"later.htm\"></iframe><embed src=\"a.swf\">";
      c.Send(Response("200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n", body));
      c.Close();
      return;
    }
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nFWS");
    c.WaitForClose(10000);
  };
}

struct CloseCase {
  const char* name;
  bool duringDownload;
  int downloadMode;
  bool bySignal;  // the session ends instead of "Exit"
};

class CloseDuringWorkTest : public FormTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringWorkTest, NothingIsFetchedAfterTheCloseAndTheSettingsAreSaved) {
  const CloseCase& c = GetParam();
  TestServer server(StallingSite());
  Form();
  form->show();
  form->HttpCli1->InactivityTimeout = 20;
  form->HttpCli2->InactivityTimeout = 20;
  std::filesystem::create_directories(home / "flash");
  form->edtdowndir->setText(QString::fromStdString(home / "flash"));

  std::unique_ptr<TerminationSignals> endSignals;
  if (c.bySignal) endSignals = std::make_unique<TerminationSignals>([this](int) { form->EndSession(); });
  // Closes once the server has seen the request that stalls.
  std::atomic<size_t> expected{0};
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (server.Requests().size() < expected.load()) return;
    closer.stop();
    if (c.bySignal) {
      std::raise(SIGTERM);
    } else {
      form->Close1Click();
    }
  });

  if (!c.duringDownload) {
    expected = 2;  // the page, then the stalling frame
    closer.start();
    form->edturl->setText(QString::fromStdString(server.Url("/page.htm")));
    form->butgoClick();
  } else {
    form->Items->AppendItem(server.Url("/a.swf"), "a.swf");
    form->Items->AppendItem(server.Url("/b.swf"), "b.swf");
    for (int row = 0; row < form->Items->Count(); ++row) form->Items->SetChecked(row, true);
    form->Settings().DownloadMode = c.downloadMode;
    form->Settings().AutoClose = true;
    form->lstclass->setCurrentRow(0);
    expected = 1;  // a.swf, which stalls
    closer.start();
    form->butdownloadClick();
  }

  const size_t seen = server.Requests().size();
  EXPECT_EQ(seen, expected.load()) << "a request went out after the close";
  EXPECT_TRUE(form->Closed());
  EXPECT_TRUE(FileExists(SettingsFilePath()));
  EXPECT_FALSE(FileExists(LinkListFilePath()));
  // The player was destroyed by the close and never called afterwards.
  ASSERT_FALSE(playerLog.empty());
  EXPECT_EQ(playerLog.back(), "destroyed");
  EXPECT_TRUE(dialogs.Messages.empty());
  // Nothing more happens once the event loop runs again.
  QTest::qWait(100);
  EXPECT_EQ(server.Requests().size(), seen);
  // The save the close cut short leaves no part of its movie.
  if (c.duringDownload) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::is_empty(home / "flash"); }, 5000));
  }
}

// Listed by its name, not as a dump of its bytes.
void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Cases, CloseDuringWorkTest,
                         ::testing::Values(CloseCase{"ExitDuringScan", false, 0, false},
                                           CloseCase{"SignalDuringScan", false, 0, true},
                                           CloseCase{"ExitDuringOwnClientDownload", true, 1, false},
                                           CloseCase{"ExitDuringFileGetterDownload", true, 0, false},
                                           CloseCase{"SignalDuringFileGetterDownload", true, 0, true}),
                         [](const ::testing::TestParamInfo<CloseCase>& p) { return p.param.name; });

TEST(TerminationSignalsTest, EachSignalReachesTheCallbackInTheEventLoop) {
  std::vector<int> got;
  {
    TerminationSignals endSignals([&](int s) { got.push_back(s); });
    for (int s : {SIGTERM, SIGINT, SIGHUP}) std::raise(s);
    EXPECT_TRUE(got.empty()) << "the handler itself must not call back";
    (void)QTest::qWaitFor([&] { return got.size() == 3; }, 2000);  // the check follows the loop
  }
  EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
}

}  // namespace
}  // namespace tavimo::test

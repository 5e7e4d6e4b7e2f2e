// The main job end to end in the real main window: scan a local site (plain and https), list
// its movies, save the checked ones in both download modes, and the failure paths.
#include <QListWidget>

#include <filesystem>
#include <map>

#include "components/MouseImage.h"
#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "desktop/HandlerGuard.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

std::string Movie(size_t n, char seed) {
  std::string s = "FWS";
  s.resize(n);
  for (size_t i = 3; i < n; ++i) s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xff);
  return s;
}

const std::string kIntro = Movie(3000, 'i');
const std::string kNav = Movie(1500, 'n');

// A small site: a page with an embed and a frame, the frame page with another movie and a
// frame back to the page, and the two movies.
TestServer::Script Site(bool tls) {
  static const std::map<std::string, std::string> files{
      {"/site/index.htm",
       "<html><embed src=\"intro.swf\" width=300>\r\n<iframe src = \"frame.htm\"></iframe></html>"},
      {"/site/frame.htm", "<object><param name=movie value='nav.swf'></object><iframe src=\"index.htm\">"},
      {"/site/intro.swf", kIntro},
      {"/site/nav.swf", kNav},
  };
  return [tls](Conn& c, int) {
    if (tls && !c.Handshake()) return;
    const std::string head = c.ReadHead();
    const size_t sp = head.find(' ');
    const std::string path = head.substr(sp + 1, head.find(' ', sp + 1) - sp - 1);
    auto it = files.find(path);
    const std::string body = it == files.end() ? "<html>no such page</html>" : it->second;
    c.Send(Response(it == files.end() ? "404 Not Found" : "200 OK",
                    "Content-Length: " + std::to_string(body.size()) + "\r\n", body));
    c.Close();
  };
}

class ScanDownloadTest : public FormTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      extraCaFile = home / "ca.pem";
      WriteFile(extraCaFile, Pki().caCertPem);
      server_ = std::make_unique<TestServer>(Site(true), Pki().goodCertPem, Pki().goodKeyPem);
    } else {
      server_ = std::make_unique<TestServer>(Site(false));
    }
    Form();
    form->HttpCli1->InactivityTimeout = 5;
    form->HttpCli2->InactivityTimeout = 5;
    std::filesystem::create_directories(home / "flash");
    form->edtdowndir->setText(QString::fromStdString(home / "flash"));
  }

  std::string SiteUrl(const std::string& path) const { return server_->Url(path); }
  std::string Status() const { return form->statubar->Caption().toStdString(); }
  void Scan(const std::string& address) {
    form->edturl->setText(QString::fromStdString(address));
    form->edturlKeyDown(13);  // Enter in the address field
  }

  std::unique_ptr<TestServer> server_;
};

TEST_P(ScanDownloadTest, ScanListsTheMoviesAndBothModesSaveThemByteForByte) {
  Scan(SiteUrl("/site/index.htm"));
  ASSERT_EQ(form->Items->Count(), 2) << form->HttpCli2->ReasonPhrase() << " " << form->HttpCli2->URL;
  EXPECT_EQ(form->Items->Url(0), SiteUrl("/site/intro.swf"));
  EXPECT_EQ(form->Items->SaveAsName(0), "intro.swf");
  EXPECT_EQ(form->Items->Url(1), SiteUrl("/site/nav.swf"));
  EXPECT_EQ(form->Items->SaveAsName(1), "nav.swf");
  EXPECT_EQ(Status(), "Finished");
  EXPECT_TRUE(form->butgo->Enable);
  // The frame back to the page ends the passes: each page was fetched once.
  EXPECT_EQ(server_->Requests().size(), 2u);
  ASSERT_GE(playerLog.size(), 3u);
  EXPECT_EQ(playerLog[playerLog.size() - 2], "Movie:" + SiteUrl("/site/intro.swf"));

  for (int row = 0; row < 2; ++row) form->Items->SetChecked(row, true);
  form->Settings().AutoClose = false;
  form->Settings().DownloadMode = 0;
  form->lstclass->setCurrentRow(2);  // Games
  form->butdownloadClick();
  EXPECT_EQ(ReadFile(home / "flash/Games/intro.swf"), kIntro);
  EXPECT_EQ(ReadFile(home / "flash/Games/nav.swf"), kNav);
  EXPECT_EQ(Status(), "1K Bytes Received");

  form->Settings().DownloadMode = 1;
  form->Settings().AutoClose = true;
  form->show();
  form->lstclass->setCurrentRow(3);  // Fun
  form->butdownloadClick();
  EXPECT_EQ(ReadFile(home / "flash/Fun/intro.swf"), kIntro);
  EXPECT_EQ(ReadFile(home / "flash/Fun/nav.swf"), kNav);
  EXPECT_EQ(Status(), "Download Complete");
  // Auto-close: hidden, both lists empty; a double click on the tray icon brings it back.
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->Items->Count(), 0);
  tray->Deliver({TrayNotice::LeftDown, TrayNotice::LeftUp, TrayNotice::LeftDoubleClick, TrayNotice::LeftUp});
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->isVisible(); }, 1000));
  EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_P(ScanDownloadTest, FailurePaths) {
  // A 404 page lists nothing and finishes saying so.
  Scan(SiteUrl("/site/missing.htm"));
  EXPECT_EQ(form->Items->Count(), 0);
  EXPECT_EQ(Status(), "Finished: 1 of 1 page failed: 404 Not Found");

  // An unreachable host: the same, no message.
  int deadPort;
  {
    TestServer dead([](Conn&, int) {});
    deadPort = dead.Port();
  }
  Scan((GetParam() ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(deadPort) + "/x.htm");
  EXPECT_EQ(form->Items->Count(), 0);
  EXPECT_EQ(Status(), "Finished: 1 of 1 page failed: connection refused");
  EXPECT_TRUE(dialogs.Messages.empty());

  // No checked item: the message, nothing saved.
  Scan(SiteUrl("/site/index.htm"));
  ASSERT_EQ(form->Items->Count(), 2);
  RunGuarded(dialogs, [&] { form->butdownloadClick(); });
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].caption, "No Flash item is selected");
  EXPECT_EQ(dialogs.Messages[0].text, "Please check up the Flash items that you want to save.");

  // A category folder that cannot be created (a file stands where its root should be): the
  // status says so, nothing is fetched and the window stays as it was.
  form->Items->SetChecked(0, true);
  form->Settings().DownloadMode = 1;
  WriteFile(home / "plain-file", "in the way");
  form->edtdowndir->setText(QString::fromStdString(home / "plain-file/root"));
  form->lstclass->setCurrentRow(2);
  form->show();
  const size_t asked = server_->Requests().size();
  RunGuarded(dialogs, [&] { form->butdownloadClick(); });
  EXPECT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(Status(), "Download failed: cannot create the folder " + home / "plain-file/root/Games" +
                          ": Not a directory");
  EXPECT_EQ(server_->Requests().size(), asked);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->Items->Count(), 2);
}

INSTANTIATE_TEST_SUITE_P(PlainAndHttps, ScanDownloadTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "https" : "http"; });

}  // namespace
}  // namespace tavimo::test

// The Download button under a real click from the X server (XTEST through xdotool): a double
// click must not start a second batch, and a new user's first download saves into a download
// folder that does not exist yet.
#include <QListWidget>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "components/MouseImage.h"
#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "download/HttpGet.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

using DownloadDesktopTest = FormTest;

// A real click in the middle of the button, as the user's mouse gives it.
void ClickWithTheMouse(QWidget& button, int times) {
  const QPoint at = button.mapToGlobal(button.rect().center());
  const std::string command = "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                              " click --repeat " + std::to_string(times) + " --delay 60 1";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

TEST_F(DownloadDesktopTest, ADoubleClickOnDownloadStartsOneBatch) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  const std::string movie(5000, 'm');
  TestServer server(TestServer::Files({{"/movie.swf", TestServer::Response(200, movie)}}));
  TFrmTavimo& f = Form();
  std::filesystem::create_directories(home / "flash");
  f.edtdowndir->setText(QString::fromStdString(home / "flash"));
  f.lstclass->setCurrentRow(0);  // "--": the root itself
  f.Settings().AutoClose = false;
  f.Settings().DownloadMode = 0;
  f.Items->AppendItem(server.Url("/movie.swf"), "movie.swf");
  f.Items->SetChecked(0, true);
  int clicks = 0;
  const auto click = f.butdownload->OnClick;
  f.butdownload->OnClick = [&](QObject* sender) {
    ++clicks;
    click(sender);
  };
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

  ClickWithTheMouse(*f.butdownload, 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return clicks >= 1 && !f.httpgetfile->Busy(); }, 5000));
  QTest::qWait(500);  // room for a second click, had there been one

  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(ReadFile(home / "flash/movie.swf"), movie);
  EXPECT_TRUE(dialogs.Messages.empty());
}

// A fresh account: no ~/Downloads, the settings as installed (download from cache, auto-close
// on). The page lists two movies, one of them gone from the server.
TEST_F(DownloadDesktopTest, TheFirstDownloadOfANewUserSavesAndNamesWhatFailed) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  const std::string movie(3000, 'b');
  TestServer server(TestServer::Files(
      {{"/site/index.htm", TestServer::Response(200, "<embed src=\"Black.swf\"> <embed src=\"White.swf\">")},
       {"/site/Black.swf", TestServer::Response(200, movie)}}));
  ASSERT_FALSE(FileExists(home / "Downloads"));
  TFrmTavimo& f = Form();
  EXPECT_EQ(f.edtdowndir->text().toStdString(), home / "Downloads/flash/");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

  f.edturl->setText(QString::fromStdString(server.Url("/site/index.htm")));
  f.edturlKeyDown(13);  // Enter in the address field
  ASSERT_EQ(f.Items->Count(), 2);
  f.Items->SetChecked(0, true);
  f.Items->SetChecked(1, true);
  const QList<QListWidgetItem*> games = f.lstclass->findItems("Games", Qt::MatchExactly);
  ASSERT_EQ(games.size(), 1);
  f.lstclass->setCurrentItem(games[0]);

  ClickWithTheMouse(*f.butdownload, 1);
  const std::string expected = "1 of 2 saved; White.swf: 404 Not Found";
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.statubar->Caption().toStdString() == expected; }, 5000))
      << f.statubar->Caption().toStdString();

  EXPECT_EQ(ReadFile(home / "Downloads/flash/Games/Black.swf"), movie);
  EXPECT_FALSE(FileExists(home / "Downloads/flash/Games/White.swf"));
  EXPECT_TRUE(f.isVisible());
  EXPECT_TRUE(f.statubar->isVisible());
  EXPECT_EQ(f.Items->Count(), 2);
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace tavimo::test

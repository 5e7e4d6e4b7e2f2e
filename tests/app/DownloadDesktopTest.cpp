// The Download button under a real double click from the X server (XTEST through xdotool):
// Qt turns the second press into a double-click event, which must not start a second batch.
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "components/MouseImage.h"
#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "app/ItemList.h"
#include "download/HttpGet.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

using DownloadDesktopTest = FormTest;

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

  const QPoint at = f.butdownload->mapToGlobal(f.butdownload->rect().center());
  const std::string command = "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                              " click --repeat 2 --delay 60 1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return clicks >= 1 && !f.httpgetfile->Busy(); }, 5000));
  QTest::qWait(500);  // room for a second click, had there been one

  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(ReadFile(home / "flash/movie.swf"), movie);
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace tavimo::test

// The page scan through the real window: what the status panel says when pages fail or a bound
// ends the scan, a second scan while one waits, Esc during a scan and in an in-place editor.
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <functional>

#include "controls/FlatEdit.h"
#include "controls/FlatPanel.h"
#include "app/ItemList.h"
#include "components/MouseImage.h"
#include "detect/PageScan.h"
#include "detect/ScanAddress.h"
#include "net/HttpCli.h"
#include "tests/app/FormFixture.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

std::string StatusText(TFrmTavimo& form) { return form.statubar->Caption().toStdString(); }

// Runs `action` once `ready` holds, polling from the event loop a waiting scan keeps running.
void WhenReady(QTimer& timer, std::function<bool()> ready, std::function<void()> action) {
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&timer, ready, action] {
    if (!ready()) return;
    timer.stop();
    action();
  });
  timer.start();
}

std::string Chain(int n) {  // page n frames page n+1 and names movie n
  return TestServer::Response(200, "\"m" + std::to_string(n) + ".swf\" <iframe src=\"c" +
                                       std::to_string(n + 1) + ".htm\">");
}

struct FailCase {
  const char* name;
  std::function<std::unique_ptr<TestServer>()> site;
  std::string path;  // the address is the site's URL of this path; "refused": a closed port
  std::function<void(TFrmTavimo&)> setup;
  std::string status;
  int listed;  // items the scan lists from what it did receive
};

std::unique_ptr<TestServer> FileSite(std::map<std::string, std::string> files) {
  return std::make_unique<TestServer>(TestServer::Files(std::move(files)));
}

const FailCase kFailCases[] = {
    {"AllArrived",
     [] {
       return FileSite({{"/p.htm", TestServer::Response(200, "\"a.swf\" <iframe src=\"f.htm\">")},
                        {"/f.htm", TestServer::Response(200, "\"b.swf\"")}});
     },
     "/p.htm",
     {},
     "Finished",
     2},
    {"MissingFrame",
     [] {
       return FileSite({{"/p.htm", TestServer::Response(
                                       200, "\"a.swf\" <iframe src=\"f.htm\"><iframe src=\"gone.htm\">")},
                        {"/f.htm", TestServer::Response(200, "\"b.swf\"")}});
     },
     "/p.htm",
     {},
     "Finished: 1 of 3 pages failed: 404 Not Found",
     2},
    {"CutShort",
     [] {
       return FileSite({{"/p.htm", LengthLie("\"a.swf\"", 100)}});
     },
     "/p.htm",
     {},
     "Finished: 1 of 1 page failed: the body ended after 7 of 100 bytes",
     1},  // what came is used
    {"Refused",
     [] { return std::unique_ptr<TestServer>(); },
     "refused",
     {},
     "Finished: 1 of 1 page failed: connection refused",
     0},
    {"Silent",
     [] {
       return std::make_unique<TestServer>([](Conn& c, int) {
         c.ReadHead();
         c.WaitForClose(5000);
       });
     },
     "/p.htm", [](TFrmTavimo& f) { f.HttpCli2->InactivityTimeout = 1; },
     "Finished: 1 of 1 page failed: timed out", 0},
    {"Untrusted",
     [] {
       return std::make_unique<TestServer>(TestServer::Files(
                                               {{"/p.htm", TestServer::Response(200, "\"a.swf\"")}}),
                                           Pki().untrustedCertPem, Pki().untrustedKeyPem);
     },
     "/p.htm",
     {},
     "Finished: 1 of 1 page failed: certificate not trusted",
     0},
    {"PageBound",
     [] {
       return FileSite(
           {{"/p.htm", TestServer::Response(200, "\"a.swf\"" + std::string(5000, ' ') + "\"b.swf\"")}});
     },
     "/p.htm", [](TFrmTavimo& f) { f.PageScan().MaxPageBytes = 1000; },
     "Finished: 1 of 1 page failed: page larger than 1000 bytes, the most a scan keeps", 1},
    {"PagesBound",
     [] {
       return FileSite({{"/c0.htm", Chain(0)},
                        {"/c1.htm", Chain(1)},
                        {"/c2.htm", Chain(2)},
                        {"/c3.htm", Chain(3)},
                        {"/c4.htm", Chain(4)}});
     },
     "/c0.htm", [](TFrmTavimo& f) { f.PageScan().MaxPages = 3; },
     "Finished: stopped after 3 pages, the most one scan fetches", 3},
    // Frames each under the page bound add up: the scan's own bound cuts the third one and
    // fetches nothing more (the fourth frame, the third's frame).
    {"ScanBytesBound",
     [] {
       const std::string big(1000, ' ');
       return FileSite({{"/p.htm", TestServer::Response(200,
                                                        "\"a.swf\" <iframe src=\"f1.htm\"><iframe "
                                                        "src=\"f2.htm\"><iframe src=\"f3.htm\"><iframe "
                                                        "src=\"f4.htm\">")},
                        {"/f1.htm", TestServer::Response(200, "\"b.swf\"" + big)},
                        {"/f2.htm", TestServer::Response(200, "\"c.swf\"" + big)},
                        {"/f3.htm", TestServer::Response(200, big + "\"d.swf\" <iframe src=\"g.htm\">")},
                        {"/f4.htm", TestServer::Response(200, "\"e.swf\"")},
                        {"/g.htm", TestServer::Response(200, "\"g.swf\"")}});
     },
     "/p.htm", [](TFrmTavimo& f) { f.PageScan().MaxScanBytes = 2500; },
     "Finished: 1 of 4 pages failed: cut short at the scan's limit; stopped after 2500 bytes of pages, the "
     "most one scan keeps",
     3},
};

class ScanStatusTest : public FormTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(ScanStatusTest, FinalStatusNamesWhatFailed) {
  const FailCase& c = GetParam();
  extraCaFile = home / "ca.pem";
  WriteFile(extraCaFile, Pki().caCertPem);
  std::unique_ptr<TestServer> server = c.site();
  std::string address;
  if (server) {
    address = server->Url(c.path);
  } else {
    int port;
    {
      TestServer gone(TestServer::Files({}));
      port = gone.Port();
    }
    address = "http://127.0.0.1:" + std::to_string(port) + "/p.htm";
  }
  Form();
  form->HttpCli2->InactivityTimeout = 5;
  if (c.setup) c.setup(*form);
  form->Items->AppendItem("http://old.example/previous.swf", "previous.swf");
  // Blanks around a pasted address are not part of it.
  form->edturl->setText(QString::fromStdString("  " + address + "\t "));
  form->butgoClick();

  EXPECT_EQ(StatusText(*form), c.status);
  EXPECT_EQ(form->Items->Count(), c.listed);
  EXPECT_TRUE(form->statubar->isVisibleTo(form.get()));
  ASSERT_FALSE(playerLog.empty());
  if (c.listed > 0) {
    EXPECT_EQ(playerLog.back(), "Play");  // the first item plays
  } else {
    // Nothing of the previous page stays in the preview.
    EXPECT_EQ(playerLog.back(), "Stop");
    EXPECT_EQ(playerLog[playerLog.size() - 2], "Movie:blank.swf");
  }
  if (std::string(c.name) == "PagesBound") {
    EXPECT_EQ(server->Requests().size(), 3u);
  }
}

// Listed by its name, not as a dump of its bytes.
void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Pages, ScanStatusTest, ::testing::ValuesIn(kFailCases),
                         [](const auto& p) { return std::string(p.param.name); });

// An address without a scheme is scanned as http (its links are whole addresses); one the
// client cannot fetch is said in the panel at once, nothing fetched, no box; a browser's page
// that cannot be scanned is not offered.
TEST_F(FormTest, TheAddressIsMadeUsableBeforeTheScan) {
  TestServer server(
      TestServer::Files({{"/a/index.htm", TestServer::Response(200, "<embed src=\"m.swf\">")}}));
  const std::string bare = server.Url("/a/index.htm").substr(std::string("http://").size());
  const struct {
    std::string typed, field, status;
    std::vector<std::string> urls;
  } rows[] = {
      {" " + bare, server.Url("/a/index.htm"), "Finished", {server.Url("/a/m.swf")}},
      {"file:///etc/passwd", "file:///etc/passwd", kOnlyWebPages, {}},
      {"about:blank", "about:blank", kOnlyWebPages, {}},
      {"chrome://settings/", "chrome://settings/", kOnlyWebPages, {}},
  };
  Form();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.typed);
    form->Items->AppendItem("http://old.example/previous.swf", "previous.swf");
    form->edturl->setText(QString::fromStdString(row.typed));
    form->butgoClick();
    EXPECT_EQ(form->edturl->text().toStdString(), row.field);
    EXPECT_EQ(StatusText(*form), row.status);
    std::vector<std::string> urls;
    for (int i = 0; i < form->Items->Count(); ++i) urls.push_back(form->Items->Url(i));
    EXPECT_EQ(urls, row.urls);
    EXPECT_TRUE(form->butgo->Enable);
    EXPECT_FALSE(form->Timer2->isActive());
  }
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_TRUE(dialogs.Messages.empty());

  // A failure that ends the scan leaves its message in the panel, not " Loading ".
  form->edturl->setText("http:///nohost.htm");
  QTest::keyClick(form->edturl, Qt::Key_Return);  // as the user starts it: the error is shown
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(StatusText(*form), dialogs.Messages[0].text);

  form->edturl->setText("typed.example/");
  WriteFirefoxSession(home.Path(), "file:///home/someone/page.htm");
  form->butRefreshClick();
  EXPECT_EQ(form->edturl->text().toStdString(), "typed.example/");
  WriteFirefoxSession(home.Path(), server.Url("/a/index.htm"));
  form->butRefreshClick();
  EXPECT_EQ(form->edturl->text().toStdString(), server.Url("/a/index.htm"));
}

// /page.htm sends its first half, then waits for `release` before the rest.
TestServer::Script HeldPage(std::atomic<bool>& release) {
  return [&release](Conn& c, int) {
    c.ReadHead();
    const std::string first = "<embed src=\"first.swf\">", rest = "<embed src=\"second.swf\">";
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(first.size() + rest.size()) + "\r\n\r\n" +
           first);
    for (int i = 0; i < 500 && !release.load() && !c.Stopping(); ++i) c.Sleep(10);
    c.Send(rest);
    c.Close();
  };
}

TEST_F(FormTest, SecondScanWhileOneWaitsIsRefusedAndTheFirstEndsWhole) {
  std::atomic<bool> release{false};
  TestServer server(HeldPage(release));
  Form();
  form->show();
  form->edturl->setText(QString::fromStdString(server.Url("/page.htm")));
  QTimer poll;
  WhenReady(
      poll, [&] { return server.Connections() >= 1; },
      [&] {
        QTest::keyClick(form->edturl, Qt::Key_Return);  // Enter is not blocked while Go is
        release = true;
      });
  form->butgoClick();
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].text, "HTTP component is busy");
  EXPECT_EQ(server.Connections(), 1);
  ASSERT_EQ(form->Items->Count(), 2);  // the rest of the page was not dropped
  EXPECT_EQ(form->Items->SaveAsName(0), "first.swf");
  EXPECT_EQ(form->Items->SaveAsName(1), "second.swf");
  EXPECT_EQ(StatusText(*form), "Finished");
}

TEST_F(FormTest, EscStopsAScanThatWaitsAndThePanelNamedTheAddress) {
  TestServer server([](Conn& c, int) {
    c.ReadHead();
    c.WaitForClose(5000);
  });
  Form();
  form->show();
  form->PageScan().WaitNoticeTicks = 1;
  const std::string address = server.Url("/slow.htm");
  form->edturl->setText(QString::fromStdString(address));
  std::string notice;
  QTimer poll;
  WhenReady(
      poll, [&] { return server.Connections() >= 1; },
      [&] {
        form->Timer2Timer();  // one busy tick
        notice = StatusText(*form);
        QTest::keyClick(form->edturl, Qt::Key_Escape);
      });
  form->butgoClick();
  EXPECT_EQ(notice, "Waiting for " + address + " (Esc stops the scan)");
  EXPECT_EQ(StatusText(*form), "Stopped");
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->Items->Count(), 0);
  EXPECT_FALSE(form->Timer2->isActive());
  EXPECT_FALSE(form->PageScan().Running());
}

struct EditCase {
  const char* name;
  int list;  // 1 or 2: the list whose row is being renamed; 0: no editor open
};

class EscEditTest : public FormTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EscEditTest, EscCancelsAnOpenEditOnlyAndHidesOtherwise) {
  Form();
  form->show();
  form->Items->AppendItem("http://h/a.swf", "a.swf");
  QTreeWidget* list = GetParam().list == 1 ? form->Items->ListView1 : form->Items->ListView2;
  QWidget* target = form->edturl;
  if (GetParam().list != 0) {
    list->editItem(list->topLevelItem(0), 0);
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("typed.swf");
    target = editor;
  }
  QTest::keyClick(target, Qt::Key_Escape);
  const bool editing = GetParam().list != 0;
  EXPECT_EQ(form->isVisible(), editing);
  EXPECT_EQ(form->Items->Count(), editing ? 1 : 0);
  if (editing) {
    EXPECT_EQ(form->Items->Url(0), "http://h/a.swf");
    EXPECT_EQ(form->Items->SaveAsName(0), "a.swf");  // the edit was cancelled, not confirmed
  }
}

// Listed by its name, not as a dump of its bytes.
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Editors, EscEditTest,
                         ::testing::Values(EditCase{"RenamingUrl", 1}, EditCase{"RenamingName", 2},
                                           EditCase{"NoEditor", 0}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tavimo::test

// The hot-key, private-message and second-start handlers of the real main window, offscreen:
// the visibility state table, played through the handlers against a page on 127.0.0.1.
#include <QApplication>
#include <QMenu>
#include <condition_variable>
#include <mutex>

#include "controls/FlatEdit.h"
#include "controls/FlatListBox.h"
#include "app/ItemList.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestServer.h"

namespace tavimo::test {
namespace {

enum class Event { F7, F6, OtherKey, Message464, Nudge };

struct Row {
  const char* name;
  bool startVisible;
  std::vector<Event> events;
  bool endVisible;
  const char* list;  // "old" kept, "empty" cleared, "scanned" the page's movie
  size_t scans;
};

class HotKeysTest : public FormTest, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    server_ = std::make_unique<TestServer>(
        TestServer::Files({{"/page.htm", TestServer::Response(200, "<embed src=\"movie.swf\">")}}));
    Form();
    form->edturl->setText(QString::fromStdString(server_->Url("/page.htm")));
    form->Items->AppendItem("http://old/old.swf", "old.swf");
  }

  void Show() {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  void Play(Event e) {
    switch (e) {
      case Event::F7: form->WMHotKey(0x76); break;
      case Event::F6: form->WMHotKey(0x75); break;
      case Event::OtherKey: form->WMHotKey(0x74); break;
      case Event::Message464: form->WMPrivate464(); break;
      case Event::Nudge: form->SecondStartNudge(); break;
    }
  }
  std::string List() const {
    if (form->Items->Count() == 0) return "empty";
    if (form->Items->Url(0) == "http://old/old.swf") return "old";
    if (form->Items->Url(0) == server_->Url("/movie.swf")) return "scanned";
    return form->Items->Url(0);
  }
  size_t Scans() const {
    size_t n = 0;
    for (const auto& r : server_->Requests()) n += r.target == "/page.htm";
    return n;
  }

  std::unique_ptr<TestServer> server_;
};

TEST_P(HotKeysTest, StateTable) {
  const Row& row = GetParam();
  if (row.startVisible) Show();
  for (Event e : row.events) Play(e);
  EXPECT_EQ(form->isVisible(), row.endVisible);
  EXPECT_EQ(List(), row.list);
  EXPECT_EQ(Scans(), row.scans);
  EXPECT_TRUE(dialogs.Messages.empty());
}

using E = Event;
// Listed by its name, not as a dump of its bytes.
void PrintTo(const Row& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(
    Rows, HotKeysTest,
    ::testing::Values(Row{"VisibleF7HidesAndClears", true, {E::F7}, false, "empty", 0},
                      Row{"HiddenF7ShowsAndScans", false, {E::F7}, true, "scanned", 1},
                      Row{"VisibleF6HidesAndKeeps", true, {E::F6}, false, "old", 0},
                      Row{"HiddenF6ShowsAsLeft", false, {E::F6}, true, "old", 0},
                      Row{"F6TwiceKeepsTheList", true, {E::F6, E::F6}, true, "old", 0},
                      Row{"VisibleOtherKeyNothing", true, {E::OtherKey}, true, "old", 0},
                      Row{"HiddenOtherKeyNothing", false, {E::OtherKey}, false, "old", 0},
                      Row{"VisibleMessageNoScan", true, {E::Message464}, true, "old", 0},
                      Row{"HiddenMessageShowsAndScans", false, {E::Message464}, true, "scanned", 1},
                      Row{"HiddenNudgeActsAsF7", false, {E::Nudge}, true, "scanned", 1},
                      Row{"VisibleNudgeActsAsF7", true, {E::Nudge}, false, "empty", 0},
                      // A second start whose F7 press reached us: the press acts, its nudge does not.
                      Row{"VisibleF7ThenNudgeHidesOnce", true, {E::F7, E::Nudge}, false, "empty", 0},
                      Row{"HiddenF7ThenNudgeScansOnce", false, {E::F7, E::Nudge}, true, "scanned", 1},
                      Row{"HiddenNudgeThenF7ScansOnce", false, {E::Nudge, E::F7}, true, "scanned", 1},
                      // Two presses by the user, or two second starts, are two requests.
                      Row{"HiddenF7TwiceShowsThenHides", false, {E::F7, E::F7}, false, "empty", 1},
                      Row{"HiddenTwoNudgesShowThenHide", false, {E::Nudge, E::Nudge}, false, "empty", 1}),
    [](const ::testing::TestParamInfo<Row>& p) { return std::string(p.param.name); });

using HotKeysFormTest = FormTest;

// A tray menu entry that names a hot key does what that key does, from the hidden window where
// both are used: the same window state and the same page scans afterwards.
class TrayMenuTest : public HotKeysTest {};

TEST_F(TrayMenuTest, EntriesNameTheKeyThatDoesTheSame) {
  struct Outcome {
    bool visible;
    std::string list;
    size_t scans;
    bool operator==(const Outcome&) const = default;
  };
  auto from_hidden = [&](const std::function<void()>& act) {
    form->hide();
    form->Items->Clear();
    form->Items->AppendItem("http://old/old.swf", "old.swf");
    const size_t before = Scans();
    act();
    return Outcome{form->isVisible(), List(), Scans() - before};
  };
  int named = 0;
  for (QAction* entry : form->PopNotify->actions()) {
    const QString caption = entry->text();
    const int vk = caption.endsWith("(F7)") ? 0x76 : caption.endsWith("(F6)") ? 0x75 : 0;
    if (vk == 0) continue;
    ++named;
    const Outcome byMenu = from_hidden([&] { entry->trigger(); });
    const Outcome byKey = from_hidden([&] { form->WMHotKey(vk); });
    EXPECT_TRUE(byMenu == byKey) << caption.toStdString() << ": the menu leaves " << byMenu.list << " after "
                                 << byMenu.scans << " scans, the key " << byKey.list << " after "
                                 << byKey.scans;
  }
  EXPECT_EQ(named, 2);
}

TEST_F(HotKeysFormTest, MessageWhileVisibleFocusesAndSelectsTheAddress) {
  TFrmTavimo& f = Form();
  f.edturl->setText("http://example.test/page");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  f.lstclass->setFocus();
  f.WMPrivate464();
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == f.edturl; }, 2000));
  EXPECT_EQ(f.edturl->selectedText(), "http://example.test/page");
  EXPECT_TRUE(f.isVisible());
}

TEST_F(HotKeysFormTest, WithoutX11NothingIsHeldAndNothingReported) {
  TFrmTavimo& f = Form();
  EXPECT_TRUE(f.HotKeysRegistered());  // the step ran
  EXPECT_FALSE(f.HotKeyActive(0x76));
  EXPECT_TRUE(f.ActiveHotKeys().empty());
  EXPECT_TRUE(dialogs.Messages.empty());
  f.UnregisterHotKeys();
  EXPECT_FALSE(f.HotKeysRegistered());
}

// A browser session that takes long to read: the window shows at once, and the address and
// the scan F7 asked for follow when it arrives; an address typed meanwhile is kept.
TEST_F(HotKeysFormTest, ASlowCaptureHoldsNeitherTheWindowNorTheOrderOfShowAndScan) {
  TestServer server(
      TestServer::Files({{"/page.htm", TestServer::Response(200, "<embed src=\"movie.swf\">")}}));
  const std::string page = server.Url("/page.htm");
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  int reads = 0, answered = 0;
  captureAddress = [&]() -> std::optional<std::string> {
    std::unique_lock lock(mutex);
    if (++reads == 1) return ++answered, std::nullopt;  // the window's creation
    released.wait(lock, [&] { return release; });
    release = false;
    return ++answered, page;
  };
  const auto let = [&] {
    std::lock_guard lock(mutex);
    release = true;
    released.notify_all();
  };
  const auto count = [&](int& n) {
    std::lock_guard lock(mutex);
    return n;
  };
  captureWaitMs = 0;
  TFrmTavimo& f = Form();
  f.edturl->setText("http://old.example/");

  f.WMHotKey(0x76);
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.edturl->text(), "http://old.example/");
  EXPECT_TRUE(server.Requests().empty());  // the scan waits for the address
  f.WMHotKey(0x76);                        // F7 again: hidden, the waiting scan dropped
  EXPECT_FALSE(f.isVisible());
  f.WMHotKey(0x76);  // shown again: one scan waits for the same read
  let();
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.Items->Count() > 0; }, 10000));
  EXPECT_EQ(f.edturl->text().toStdString(), page);
  EXPECT_EQ(f.Items->Url(0), server.Url("/movie.swf"));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(count(reads), 2);

  f.butRefreshClick();
  f.edturl->setText("http://typed.example/");
  let();
  // A refresh starts a new read only once the one under way has arrived.
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.butRefreshClick(), count(reads) == 4; }, 10000));
  EXPECT_EQ(f.edturl->text(), "http://typed.example/");
  let();
  EXPECT_TRUE(QTest::qWaitFor([&] { return count(answered) == 4; }, 10000));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace tavimo::test

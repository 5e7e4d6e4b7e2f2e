#include "components/RxTrayIcon.h"

#include <gtest/gtest.h>

#include <QPixmap>

#include "desktop/Dialogs.h"

namespace tavimo {
namespace {

using Log = std::vector<std::string>;

// Records what the component asks of the shell; notices are delivered by the test.
struct FakeShell : TrayShell {
  explicit FakeShell(Log& into) : log(into) {}
  bool Add(const TrayIconRecord& r) override { return Note("add", r), acceptAdd; }
  bool Modify(const TrayIconRecord& r) override { return Note("modify", r), true; }
  bool Delete() override { return log.push_back("delete"), true; }
  void SetNoticeHandler(NoticeHandler h) override { handler = std::move(h); }
  QPoint CursorPos() const override { return {10, 20}; }
  KeyModifiers Modifiers() const override { return keys; }
  bool HostAvailable() const override { return true; }
  void Note(const char* what, const TrayIconRecord& r) {
    log.push_back(std::string(what) + (r.Icon.isNull() ? " noicon" : "") + " '" + r.Tip + "'");
  }
  Log& log;
  bool acceptAdd = true;
  KeyModifiers keys;
  NoticeHandler handler;
};

QIcon SomeIcon() {
  QPixmap pm(16, 16);
  pm.fill(Qt::blue);
  return QIcon(pm);
}

std::string Shift(TShiftState s) {
  std::string out;
  for (auto [flag, c] : {std::pair{ssShift, 'S'},
                         {ssAlt, 'A'},
                         {ssCtrl, 'C'},
                         {ssLeft, 'L'},
                         {ssRight, 'R'},
                         {ssMiddle, 'M'},
                         {ssDouble, 'D'}})
    if (s & flag) out += c;
  return out;
}

// The error box of the handler guard, without a modal window.
struct ErrorBoxes : Dialogs {
  void ShowMessage(QWidget*, const std::string&, const std::string& text, MessageIcon) override {
    shown.push_back(text);
  }
  int ExecModal(QDialog&) override { return 0; }
  std::optional<std::string> BrowseForFolder(QWidget*, const std::string&) override { return {}; }
  bool ShellOpen(const std::string&) override { return false; }
  Log shown;
};

// A loaded tray icon with every event recorded into `events` and the shell's calls into `shell`.
struct Tray {
  Tray() {
    auto owned = std::make_unique<FakeShell>(shellLog);
    fake = owned.get();
    icon = std::make_unique<TRxTrayIcon>(boxes, std::move(owned));
    const char* names[] = {"L", "R", "M"};
    auto mouse = [this, names](const char* what) {
      return [this, names, what](QObject*, TMouseButton b, TShiftState s, int x, int y) {
        events.push_back(std::string(what) + " " + names[int(b)] + " " + Shift(s) + " " + std::to_string(x) +
                         "," + std::to_string(y));
      };
    };
    icon->OnMouseDown = mouse("down");
    icon->OnMouseUp = mouse("up");
    icon->OnClick = mouse("click");
    icon->OnDblClick = [this](QObject*) { events.push_back("dbl"); };
    icon->OnMouseMove = [this](QObject*, TShiftState s, int, int) { events.push_back("move " + Shift(s)); };
    menu = new QMenu;
    menu->addAction("first");
    // Count each popup and close it again from inside its own loop.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [this] {
      events.push_back(TRxTrayIcon::PopupComponent(menu) == icon.get() ? "popup" : "popup?");
      QMetaObject::invokeMethod(menu, &QMenu::close, Qt::QueuedConnection);
    });
    icon->SetPopupMenu(menu);
    icon->SetIcon(SomeIcon());
    icon->SetHint("Tip|long");
    icon->Loaded();
  }
  ~Tray() { delete menu; }
  void Send(std::initializer_list<TrayNotice> notices) {
    for (TrayNotice n : notices) fake->handler(n);
  }
  Log shellLog, events;
  ErrorBoxes boxes;
  FakeShell* fake;
  std::unique_ptr<TRxTrayIcon> icon;
  QMenu* menu;
};

using N = TrayNotice;

TEST(RxTrayIcon, NotificationsBecomeEventsInTheShellsOrder) {
  struct Case {
    const char* name;
    std::function<void(Tray&)> setup;
    std::vector<N> notices;
    Log events;
  };
  const std::vector<Case> cases = {
      {"left click", {}, {N::LeftDown, N::LeftUp}, {"down L L 10,20", "click L L 10,20", "up L L 10,20"}},
      {"double click",
       {},
       {N::LeftDown, N::LeftUp, N::LeftDoubleClick, N::LeftUp},
       {"down L L 10,20", "click L L 10,20", "up L L 10,20", "dbl", "down L D 10,20", "up L L 10,20"}},
      {"right press began elsewhere", {}, {N::RightUp}, {"up R R 10,20"}},
      {"right click pops up the menu",
       {},
       {N::RightDown, N::RightUp},
       {"down R R 10,20", "popup", "up R R 10,20"}},
      {"menu destroyed",
       [](Tray& t) {
         delete t.menu;
         t.menu = nullptr;
       },
       {N::RightDown, N::RightUp},
       {"down R R 10,20", "click R R 10,20", "up R R 10,20"}},
      {"menu's automatic popup off",
       [](Tray& t) { t.menu->setProperty("AutoPopup", false); },
       {N::RightDown, N::RightUp},
       {"down R R 10,20", "click R R 10,20", "up R R 10,20"}},
      {"middle button never clicks",
       {},
       {N::MiddleDown, N::MiddleUp, N::MiddleDoubleClick},
       {"down M M 10,20", "up M M 10,20", "down M D 10,20"}},
      {"modifier keys",
       [](Tray& t) {
         t.fake->keys = {true, true, true};
       },
       {N::MouseMove, N::RightDoubleClick},
       {"move SAC", "down R SACD 10,20"}},
      {"disabled",
       [](Tray& t) { t.icon->Enabled = false; },
       {N::LeftDown, N::LeftUp, N::RightDown, N::RightUp},
       {}},
      {"default entry takes the double click",
       [](Tray& t) {
         t.menu->setDefaultAction(t.menu->actions()[0]);
         QObject::connect(t.menu->actions()[0], &QAction::triggered, [&t] { t.events.push_back("default"); });
       },
       {N::LeftDoubleClick},
       {"default", "down L D 10,20"}},
      {"disabled default entry",
       [](Tray& t) {
         t.menu->setDefaultAction(t.menu->actions()[0]);
         t.menu->actions()[0]->setEnabled(false);
       },
       {N::LeftDoubleClick},
       {"dbl", "down L D 10,20"}},
  };
  for (const Case& c : cases) {
    Tray t;
    if (c.setup) c.setup(t);
    for (N n : c.notices) t.Send({n});
    EXPECT_EQ(t.events, c.events) << c.name;
    EXPECT_EQ(t.icon->Added(), true) << c.name;  // the icon stays whatever happened
  }
}

TEST(RxTrayIcon, AHandlerFaultIsShownAndAbandonsOnlyThatNotification) {
  Tray t;
  t.icon->OnClick = [](QObject*, TMouseButton, TShiftState, int, int) { throw std::runtime_error("boom"); };
  t.Send({N::LeftDown, N::LeftUp, N::MiddleUp});
  EXPECT_EQ(t.events, (Log{"down L L 10,20", "up M M 10,20"}));  // no "up L" after the fault
  EXPECT_EQ(t.boxes.shown, Log{"boom"});
}

TEST(RxTrayIcon, TalksToTheShellOnlyWhenSomethingChanged) {
  struct Case {
    const char* name;
    std::function<void(Tray&)> act;
    Log shell;
    bool added;
  };
  const std::vector<Case> cases = {
      {"same hint", [](Tray& t) { t.icon->SetHint("Tip|long"); }, {}, true},
      {"new hint", [](Tray& t) { t.icon->SetHint("Other"); }, {"modify 'Other'"}, true},
      {"emptied icon", [](Tray& t) { t.icon->SetIcon(QIcon()); }, {"delete"}, false},
      {"emptied icon then a hint",
       [](Tray& t) {
         t.icon->SetIcon(QIcon());
         t.icon->SetHint("x");
       },
       {"delete", "delete"},
       false},
      {"switched off and on",
       [](Tray& t) {
         t.icon->SetActive(false);
         t.icon->SetActive(false);
         t.icon->SetActive(true);
       },
       {"delete", "delete", "add 'Tip'"},
       true},
      {"empty tip is sent twice",
       [](Tray& t) {
         t.icon->SetHint("|only after");
         t.icon->Activate();
       },
       {"modify ''", "delete", "add ''", "modify ''"},
       true},
      {"refused, then retried by a change",
       [](Tray& t) {
         t.fake->acceptAdd = false;
         t.icon->Activate();
         t.fake->acceptAdd = true;
         t.icon->SetHint("Again");
       },
       {"delete", "add 'Tip'", "delete", "add 'Again'"},
       true},
  };
  for (const Case& c : cases) {
    Tray t;
    EXPECT_EQ(t.shellLog, (Log{"delete", "add 'Tip'"})) << c.name;  // once, when loaded
    t.shellLog.clear();
    c.act(t);
    EXPECT_EQ(t.shellLog, c.shell) << c.name;
    EXPECT_EQ(t.icon->Added(), c.added) << c.name;
  }
}

TEST(RxTrayIcon, NothingReachesTheShellBeforeLoadingAndTheIconGoesWithTheComponent) {
  Log log;
  ErrorBoxes boxes;
  auto icon = std::make_unique<TRxTrayIcon>(boxes, std::make_unique<FakeShell>(log));
  icon->SetIcon(SomeIcon());
  icon->SetHint("h");
  icon->SetActive(false);
  icon->SetActive(true);
  EXPECT_TRUE(log.empty());
  icon.reset();
  EXPECT_EQ(log, (Log{"delete"}));

  auto empty = std::make_unique<TRxTrayIcon>(boxes, std::make_unique<FakeShell>(log));
  empty->Loaded();  // an empty icon is never shown
  EXPECT_FALSE(empty->Added());
}

TEST(RxTrayIcon, TipIsTheHintsFirstPartCutToTheShellsLimit) {
  const std::string s63(63, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"Press F7 to Show/Hide MainForm", "Press F7 to Show/Hide MainForm"},
      {"first|second|third", "first"},
      {s63 + "b", s63},
      {s63, s63},
      {std::string(62, 'a') + "\xC3\xA9" + "x", std::string(62, 'a')},  // no half character
      {"|" + s63, ""},
  };
  for (const auto& [hint, tip] : cases) EXPECT_EQ(TrayTipFromHint(hint), tip) << hint;
}

}  // namespace
}  // namespace tavimo

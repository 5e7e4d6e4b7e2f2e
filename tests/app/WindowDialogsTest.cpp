// Each window shows its boxes through the dialogs it was made with, and so does everything it
// opens: two windows side by side never see each other's boxes.
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <stdexcept>

#include "app/Categories.h"
#include "app/Frmnewclass.h"
#include "components/MouseImage.h"
#include "components/RxTrayIcon.h"
#include "controls/FlatEdit.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

struct Seen {
  std::size_t messages = 0, modal = 0, browsed = 0, opened = 0;
  bool operator==(const Seen&) const = default;
};

Seen SeenBy(const RecordingDialogs& d) {
  return {d.Messages.size(), d.Shown.size(), d.BrowseTitles.size(), d.Opened.size()};
}

void Forget(RecordingDialogs& d) {
  d.Messages.clear();
  d.Shown.clear();
  d.BrowseTitles.clear();
  d.Opened.clear();
  d.Script = nullptr;
  d.ShellOpenWorks = true;
}

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << "{messages " << s.messages << ", modal " << s.modal << ", browsed " << s.browsed
             << ", opened " << s.opened << "}";
}

class WindowDialogsTest : public FormTest {
 protected:
  // A second window beside Form(), with recorders of its own.
  TFrmTavimo& OtherForm() {
    FrmTavimoSetup setup;
    setup.Registry = &registry;
    setup.Dialogs = &otherDialogs;
    setup.PlayerFactory = [this](QWidget*) { return std::make_unique<RecordingPlayer>(otherPlayerLog); };
    setup.TrayShellFactory = [this] { return std::make_unique<TestTrayShell>(trayHost); };
    other = std::make_unique<TFrmTavimo>(std::move(setup));
    return *other;
  }
  void TearDown() override { other.reset(); }

  RecordingDialogs otherDialogs;
  std::vector<std::string> otherPlayerLog;
  std::unique_ptr<TFrmTavimo> other;
};

TEST_F(WindowDialogsTest, EveryBoxGoesToTheDialogsOfTheWindowThatShowsIt) {
  struct Case {
    const char* name;
    std::function<void(TFrmTavimo&)> act;
    Seen expected;
    std::string firstMessage;  // the text of the first message box, when one is expected
  };
  const std::vector<Case> cases = {
      {"help page nobody opens",
       [this](TFrmTavimo& f) {
         dialogs.ShellOpenWorks = false;
         f.butquestionClick();
       },
       {1, 0, 0, 1},
       "No program could open the help page. Open it in a web browser:\n/usr/share/doc/tavimo/help.html"},
      {"web link", [](TFrmTavimo& f) { f.Image1Click(); }, {0, 0, 0, 1}, ""},
      {"folder browser", [](TFrmTavimo& f) { f.butchangeClick(); }, {0, 0, 1, 0}, ""},
      {"about box", [](TFrmTavimo& f) { f.butinfoClick(); }, {0, 1, 0, 0}, ""},
      {"options", [](TFrmTavimo& f) { f.MouseEffectImage1Click(); }, {0, 1, 0, 0}, ""},
      {"add item", [](TFrmTavimo& f) { f.AddaNewCategory2Click(); }, {0, 1, 0, 0}, ""},
      {"failing button handler",
       [this](TFrmTavimo& f) {
         registry.Set(kTavimoKey, "helppath", RegBinary{});
         f.butquestion->OnClick(f.butquestion);
       },
       {1, 0, 0, 0},
       "Invalid data type for 'helppath'"},
      {"failing tray handler",
       [this](TFrmTavimo& f) {
         f.RxTrayIcon1->OnMouseDown = [](QObject*, TMouseButton, TShiftState, int, int) {
           throw std::runtime_error("tray fault");
         };
         tray->Deliver({TrayNotice::LeftDown});
       },
       {1, 0, 0, 0},
       "tray fault"},
      // The category dialog the window opens refuses the name through the same dialogs.
      {"category dialog's own message",
       [this](TFrmTavimo& f) {
         dialogs.Script = [](QDialog& d) {
           auto& n = dynamic_cast<Tfrmnewclass&>(d);
           n.edtnewclass->setText("a\nb");
           n.BitBtn1->click();
           return n.result();
         };
         f.AddaNewCategory1Click();
       },
       {1, 1, 0, 0},
       kLineBreakNameText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Forget(dialogs);
    Forget(otherDialogs);
    registry.Set(kTavimoKey, "helppath", std::string("/usr/share/doc/tavimo/help.html"));
    TFrmTavimo& first = Form();
    OtherForm();
    c.act(first);
    EXPECT_EQ(SeenBy(dialogs), c.expected);
    EXPECT_EQ(SeenBy(otherDialogs), Seen{});
    if (!c.firstMessage.empty() && !dialogs.Messages.empty()) {
      EXPECT_EQ(dialogs.Messages[0].text, c.firstMessage);
    }
    other.reset();
    form.reset();
  }
}

// The category dialog shows its title and its label whole with the desktop's fonts, also with a
// large title font, and its controls stay inside it without overlapping.
TEST_F(WindowDialogsTest, CategoryDialogFitsItsTitleAndLabel) {
  const QFont appFont = QApplication::font();
  for (int points : {9, 16}) {
    SCOPED_TRACE(points);
    QFont big = appFont;
    big.setPointSize(points);
    QApplication::setFont(big);
    Forget(dialogs);
    dialogs.Script = [](QDialog& d) {
      auto& n = dynamic_cast<Tfrmnewclass&>(d);
      const QRect inside = n.rect().adjusted(8, 0, -8, 0);
      EXPECT_TRUE(inside.contains(n.Label1->geometry())) << n.width();
      EXPECT_GE(n.Label1->width(), n.Label1->sizeHint().width());
      EXPECT_GE(n.width(), QFontMetrics(QApplication::font()).horizontalAdvance(n.windowTitle()) + 64);
      for (QWidget* w : std::initializer_list<QWidget*>{n.edtnewclass, n.BitBtn1, n.BitBtn2}) {
        EXPECT_TRUE(inside.contains(w->geometry())) << w->objectName().toStdString();
      }
      EXPECT_FALSE(n.BitBtn1->geometry().intersects(n.BitBtn2->geometry()));
      return int(QDialog::Rejected);
    };
    Form().AddaNewCategory1Click();
    EXPECT_EQ(dialogs.Shown.size(), 1u);
    form.reset();
  }
  QApplication::setFont(appFont);
}

}  // namespace
}  // namespace tavimo::test

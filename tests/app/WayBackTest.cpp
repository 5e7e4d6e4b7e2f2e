// Hiding is never a dead end: without a tray host and without a hot key (offscreen there are
// none), every hide path minimises the window instead, "-mini" shows it, and the tray tip says
// which keys are ours.
#include <QTest>

#include "components/MouseImage.h"
#include "app/ItemList.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

class WayBackTest : public FormTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WayBackTest, HidePathsHideOnlyWhenTheWindowCanComeBack) {
  trayHost = GetParam();
  const bool hides = trayHost;
  EXPECT_EQ(Form("-mini").StartHidden(), hides);
  EXPECT_EQ(form->WayBackAvailable(), hides);

  const struct {
    const char* name;
    std::function<void()> hide;
    bool clears;
  } paths[] = {
      {"close button", [&] { form->butcloseClick(); }, true},
      {"minimise button", [&] { form->butminiClick(); }, true},
      {"Esc", [&] { QTest::keyClick(form.get(), Qt::Key_Escape); }, true},
      {"taskbar minimise", [&] { form->setWindowState(Qt::WindowMinimized); }, false},
  };
  for (const auto& path : paths) {
    form->showNormal();
    QTest::qWait(1);
    form->Items->AppendItem("http://h/a.swf", "a.swf");
    path.hide();
    QTest::qWait(1);
    EXPECT_EQ(form->isVisible(), !hides) << path.name;
    EXPECT_EQ(form->isMinimized(), !hides) << path.name;
    EXPECT_EQ(form->Items->Count() == 0, path.clears) << path.name;
    form->Items->Clear();
  }
}

INSTANTIATE_TEST_SUITE_P(TrayHost, WayBackTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "present" : "absent";
                         });

using TrayTipTest = FormTest;

TEST_F(TrayTipTest, NamesTheKeysThatAreOurs) {
  Form();
  ASSERT_NE(tray, nullptr);
  // Offscreen no key can be grabbed: the tip points at the icon itself.
  EXPECT_FALSE(form->HotKeyActive(0x76));
  EXPECT_EQ(tray->Tip, "Double-click to show Tavimo (F7 and F6 are used elsewhere)");
  EXPECT_EQ(TrayHintForKeys(true, false), "Press F7 to Show/Hide MainForm");
  EXPECT_EQ(TrayHintForKeys(false, true).substr(0, 8), "Press F6");
  for (bool f7 : {false, true})
    for (bool f6 : {false, true}) EXPECT_LE(TrayHintForKeys(f7, f6).size(), 63u);
}

}  // namespace
}  // namespace tavimo::test

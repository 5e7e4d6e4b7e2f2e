// Clicking a listed movie in the real main window previews it: the product's player (Ruffle
// in its web view) fed by the product's own HTTP client, checked by a screenshot of the
// preview area under Xvfb.
#include <gtest/gtest.h>

#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "app/FrmTavimo.h"
#include "detect/HttpMovieFetcher.h"
#include "app/ItemList.h"
#include "app/ProgramEntry.h"
#include "controls/FlatPanel.h"
#include "desktop/Dialogs.h"
#include "player/ShockwaveFlash.h"
#include "tests/app/FormFixture.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/player/TestSwf.h"

namespace tavimo::test {
namespace {

bool Near(QColor a, Rgb b) {
  return std::abs(a.red() - b.r) < 24 && std::abs(a.green() - b.g) < 24 && std::abs(a.blue() - b.b) < 24;
}

TEST(PreviewDesktop, ClickingARowPlaysItsMovieInThePreviewArea) {
  TempHome home;
  RecordingDialogs dialogs;
  FakeRegistrySource registry;
  registry.Set(kInternetSettingsKey, "ProxyEnable", std::int32_t{0});

  const Rgb blue{0x20, 0x40, 0xc0}, red{0xe0, 0x20, 0x20};
  TestServer server;
  const std::string swf = MakeSwf(248, 131, blue, 74, 30, 100, 70, {red});
  server.Put("/movie.swf", swf);

  THttpMovieFetcher fetcher;
  TFrmTavimo* shown = nullptr;
  SayPreviewFailures(fetcher, shown);
  FrmTavimoSetup setup;
  setup.Registry = &registry;
  setup.Dialogs = &dialogs;
  setup.PlayerFactory = ShockwaveFlashFactory(fetcher);
  auto form = std::make_unique<TFrmTavimo>(std::move(setup));
  shown = form.get();
  form->move(20, 20);
  form->show();
  ASSERT_TRUE(WaitUntil([&] { return form->isVisible(); }));

  form->Items->AppendItem(server.Url("/other.swf"), "other.swf");
  form->Items->AppendItem(server.Url("/movie.swf"), "movie.swf");
  QTreeWidget* list = form->Items->ListView1;
  const QRect row = list->visualItemRect(list->topLevelItem(1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(row.left() + 60, row.center().y()));

  auto shot = [&] {
    const QPoint at = form->PlayerArea->mapToGlobal(QPoint(0, 0));
    return form->screen()->grabWindow(0, at.x(), at.y(), 248, 131).toImage();
  };
  EXPECT_TRUE(WaitUntil(
      [&] {
        const QImage s = shot();
        return Near(s.pixelColor(124, 65), red) && Near(s.pixelColor(8, 8), blue);
      },
      30000))
      << "centre " << shot().pixelColor(124, 65).name().toStdString();
  EXPECT_EQ(server.Targets(), std::vector<std::string>{"/movie.swf"});
  EXPECT_TRUE(dialogs.Messages.empty());

  // A movie that cannot be fetched says why in the status panel instead of leaving a blank box.
  const QRect missing = list->visualItemRect(list->topLevelItem(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(missing.left() + 60, missing.center().y()));
  EXPECT_TRUE(WaitUntil([&] { return form->statubar->Caption().startsWith("Preview"); }, 10000));
  EXPECT_EQ(form->statubar->Caption().toStdString(), "Preview: 404 Not Found");
  EXPECT_TRUE(form->statubar->isVisible());
  shown = nullptr;
  form.reset();
}

}  // namespace
}  // namespace tavimo::test

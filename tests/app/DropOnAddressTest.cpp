// A link dropped on the real main window's address field.
#include <QMimeData>
#include <QUrl>

#include "controls/FlatEdit.h"
#include "tests/app/FormFixture.h"

namespace tavimo::test {
namespace {

using DropOnAddressTest = FormTest;

void DropOn(QWidget& widget, const QMimeData& mime) {
  const QPoint at(30, 8);
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  QDragEnterEvent enter(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &drop);
  EXPECT_EQ(drop.dropAction(), Qt::LinkAction);
}

TEST_F(DropOnAddressTest, ADroppedLinkOrShortcutReplacesTheAddressAndSetsTheHint) {
  TFrmTavimo& f = Form();
  f.edturl->setText("http://typed.example/");
  f.edturl->setCursorPosition(7);
  QMimeData link;
  link.setData("_NETSCAPE_URL", "http://dropped.example/p\xC3\xA4ge\nA page");
  link.setText("http://dropped.example/p\xC3\xA4ge");
  DropOn(*f.edturl, link);
  EXPECT_EQ(f.edturl->text().toStdString(), "http://dropped.example/p\xC3\xA4ge");
  EXPECT_EQ(f.edturl->toolTip(), "A page");

  WriteFile(home / "Flash games.url", "[InternetShortcut]\r\nURL=http://games.example/\r\n");
  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(QString::fromStdString(home / "Flash games.url"))});
  DropOn(*f.edturl, file);
  EXPECT_EQ(f.edturl->text(), "http://games.example/");
  EXPECT_EQ(f.edturl->toolTip(), "Flash games");
  EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace tavimo::test

// The link drop target on a real QLineEdit, driven by the drag events Qt delivers.
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>

#include "components/DropURLTarget.h"
#include "components/InternetShortcut.h"
#include "compat/DragData.h"
#include "tests/support/TempDir.h"

namespace tavimo::test {
namespace {

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

struct Outcome {
  bool enterAccepted = false, dropAccepted = false;
  Qt::DropAction action = Qt::IgnoreAction;
  int drops = 0, enters = 0;
  std::uint32_t handlerEffect = 0;
};

class DropTargetTest : public ::testing::Test {
 protected:
  DropTargetTest() {
    edit.setObjectName("edturl");
    edit.setText("old address");
    target.OnEnter = [this](TDropTarget&, TShiftState, QPoint, std::uint32_t&) { ++outcome.enters; };
    // What the main window does with a drop: the address replaces the field's text.
    target.OnDrop = [this](TDropTarget&, TShiftState, QPoint, std::uint32_t& effect) {
      ++outcome.drops;
      outcome.handlerEffect = effect;
      edit.setText(QString::fromStdString(target.URL()));
    };
    target.SetTarget(&edit);
  }

  Outcome Drag(const QMimeData& mime,
               Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
    outcome = {};
    const QPoint at(20, 5);
    QDragEnterEvent enter(at, actions, &mime, Qt::LeftButton, mods);
    QCoreApplication::sendEvent(&edit, &enter);
    outcome.enterAccepted = enter.isAccepted();
    QDragMoveEvent move(at, actions, &mime, Qt::LeftButton, mods);
    QCoreApplication::sendEvent(&edit, &move);
    outcome.action = move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
    QDropEvent drop(at, actions, &mime, Qt::LeftButton, mods);
    QCoreApplication::sendEvent(&edit, &drop);
    outcome.dropAccepted = drop.isAccepted();
    return outcome;
  }

  QLineEdit edit;
  TDropURLTarget target;
  Outcome outcome;
  TempDir dir;
};

TEST_F(DropTargetTest, LinkPayloadsOfTheBrowsers) {
  const struct {
    const char* name;
    std::vector<std::pair<const char*, std::string>> formats;
    std::string url, title;
  } cases[] = {
      {"Firefox",
       {{"text/x-moz-url", Utf16("http://ex.com/p\nPage")},
        {"text/uri-list", "http://ex.com/p\r\n"},
        {"text/plain", "http://ex.com/p"}},
       "http://ex.com/p",
       "Page"},
      {"moz-url with byte-order mark and a title beyond ASCII",
       {{"text/x-moz-url",
         "\xFF\xFE" + Utf16("http://ex.com/\nCaf") + std::string("\xE9\x00 \x00\x3D\xD8\x00\xDE", 8)}},
       "http://ex.com/",
       "Caf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"Chromium through X11",
       {{"_NETSCAPE_URL", "http://c.org/x?a=1\nChrome page"},
        {"text/uri-list", "http://c.org/x?a=1\r\n"},
        {"text/plain", "http://c.org/x?a=1"},
        {"text/html", "<a href=\"x\">y</a>"}},
       "http://c.org/x?a=1",
       "Chrome page"},
      {"link wins over text",
       {{"text/plain", "some words"}, {"_NETSCAPE_URL", "http://n.net/\nN"}},
       "http://n.net/",
       "N"},
      {"no title: the address is the title",
       {{"text/x-moz-url", Utf16("http://t.com/")}},
       "http://t.com/",
       "http://t.com/"},
      {"empty title line", {{"_NETSCAPE_URL", "http://t.com/\n"}}, "http://t.com/", "http://t.com/"},
      {"plain text only",
       {{"text/plain", "http://p.com/\xC3\xA9"}},
       "http://p.com/\xC3\xA9",
       "http://p.com/\xC3\xA9"},
      {"URI list of a Qt program",
       {{"text/uri-list", "# comment\r\nhttp://q.com/a%20b\r\n"}},
       "http://q.com/a%20b",
       "http://q.com/a%20b"},
      {"a Windows program's own format, up to its NUL",
       {{"application/x-qt-windows-mime;value=\"UniformResourceLocator\"",
         std::string("http://w.com/\0junk", 18)}},
       "http://w.com/",
       "http://w.com/"},
      {"a title is cut to 256",
       {{"_NETSCAPE_URL", "http://l.com/\n" + std::string(300, 't')}},
       "http://l.com/",
       std::string(256, 't')},
  };
  for (const auto& c : cases) {
    QMimeData mime;
    for (const auto& [type, bytes] : c.formats) mime.setData(type, Bytes(bytes));
    const Outcome o = Drag(mime);
    EXPECT_TRUE(o.enterAccepted && o.dropAccepted) << c.name;
    EXPECT_EQ(o.drops, 1) << c.name;
    EXPECT_EQ(edit.text().toStdString(), c.url) << c.name;
    EXPECT_EQ(target.Title(), c.title) << c.name;
    // The address lives for the drop only; the title stays.
    EXPECT_EQ(target.URL(), "") << c.name;
  }
}

TEST_F(DropTargetTest, DroppedShortcutFiles) {
  const std::string longUrl = "http://x.com/" + std::string(300, 'a');
  ASSERT_EQ(::mkfifo((dir / "pipe.url").c_str(), 0600), 0);
  const struct {
    const char* file;
    std::string content, url, title;
  } cases[] = {
      {"Page.url", "[InternetShortcut]\r\nURL=http://s.com/?q=a=b\r\n", "http://s.com/?q=a=b", "Page"},
      {"CAPS.URL", "[InternetShortcut]\nURL=http://caps.com/\n", "http://caps.com/", "CAPS"},
      {"same.url", "[InternetShortcut]URL=http://one.line/\n", "http://one.line/", "same"},
      {"long.url", "[InternetShortcut]\r\nURL=" + longUrl, longUrl.substr(0, 250), "long"},
      {"lower.url", "[internetshortcut]\r\nURL=http://no.com/\r\n", "", ""},
      {"noeq.url", "[InternetShortcut]\r\nhttp://no.com/\r\n", "", ""},
      {"notes.txt", "[InternetShortcut]\r\nURL=http://no.com/\r\n", "", ""},
      {"pipe.url", "", "", ""},
      {"My Site.desktop",
       "# x\n[Desktop Entry]\nType = Link\nName=Site\\sName\nName[de]=Seite\nURL=https://d.org/\n",
       "https://d.org/", "Site Name"},
      {"kde.desktop", "[Desktop Entry]\nURL[$e]=https://k.org/\nType=Link\n", "https://k.org/", "kde"},
      {"app.desktop", "[Desktop Entry]\nType=Application\nURL=https://a.org/\n", "", ""},
      {"other.desktop", "[Other]\nType=Link\nURL=https://o.org/\n[Desktop Entry]\nName=x\n", "", ""},
  };
  for (const auto& c : cases) {
    if (std::string(c.file) != "pipe.url") WriteFile(dir / c.file, c.content);
    QMimeData mime;
    QString uri = QUrl::fromLocalFile(QString::fromStdString(dir / c.file)).toEncoded();
    mime.setData("text/uri-list", (uri + "\r\n").toUtf8());
    // File managers also offer the names as text: that is not the address.
    mime.setData("text/plain", uri.toUtf8());
    const Outcome o = Drag(mime);
    // Read at drag enter, so the drop is raised even when no address was found.
    EXPECT_EQ(o.drops, 1) << c.file;
    EXPECT_EQ(edit.text().toStdString(), c.url) << c.file;
    EXPECT_EQ(target.Title(), c.title) << c.file;
  }
}

TEST_F(DropTargetTest, ReadingOnlyAtTheDropRefusesADropWithoutAddress) {
  target.GetDataOnEnter = false;
  WriteFile(dir / "a.txt", "x");
  QMimeData mime;
  mime.setData("text/uri-list", QUrl::fromLocalFile(QString::fromStdString(dir / "a.txt")).toEncoded());
  const Outcome o = Drag(mime);
  EXPECT_TRUE(o.enterAccepted);
  EXPECT_FALSE(o.dropAccepted);
  EXPECT_EQ(o.drops, 0);
  EXPECT_EQ(edit.text(), "old address");
}

TEST_F(DropTargetTest, ADragWithoutUsableFormatIsRefusedAndQtDoesNotInsertIt) {
  for (const char* type : {"image/png", "text/html", "application/octet-stream"}) {
    QMimeData mime;
    mime.setData(type, "http://x/");
    const Outcome o = Drag(mime);
    EXPECT_FALSE(o.enterAccepted) << type;
    EXPECT_FALSE(o.dropAccepted) << type;
    EXPECT_EQ(o.action, Qt::IgnoreAction) << type;
    EXPECT_EQ(o.enters + o.drops, 0) << type;
    EXPECT_EQ(edit.text(), "old address") << type;
  }
}

TEST_F(DropTargetTest, EffectsFromDragTypesAndKeys) {
  const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  const Qt::KeyboardModifiers shiftCtrl = Qt::ShiftModifier | Qt::ControlModifier;
  const struct {
    TDragTypes types;
    Qt::DropActions offered;
    Qt::KeyboardModifiers mods;
    Qt::DropAction expected;
  } cases[] = {
      {{dtLink}, all, Qt::NoModifier, Qt::LinkAction},
      {{dtLink}, all, Qt::ShiftModifier, Qt::LinkAction},
      {{dtLink}, all, Qt::ControlModifier, Qt::LinkAction},
      {{dtLink}, all, shiftCtrl, Qt::LinkAction},
      {{dtLink}, Qt::CopyAction | Qt::LinkAction, Qt::NoModifier, Qt::LinkAction},
      {{dtLink}, Qt::CopyAction, Qt::NoModifier, Qt::CopyAction},  // taken as a link, never a move
      {{dtLink}, Qt::MoveAction, Qt::NoModifier, Qt::IgnoreAction},
      {{dtCopy, dtMove, dtLink}, all, Qt::NoModifier, Qt::CopyAction},
      {{dtCopy, dtMove, dtLink}, all, Qt::ShiftModifier, Qt::MoveAction},
      {{dtCopy, dtMove, dtLink}, all, Qt::ControlModifier, Qt::CopyAction},
      {{dtCopy, dtMove, dtLink}, all, shiftCtrl, Qt::LinkAction},
      {{dtCopy, dtMove, dtLink}, Qt::MoveAction | Qt::LinkAction, Qt::NoModifier, Qt::MoveAction},
      {{dtCopy, dtMove}, Qt::LinkAction, shiftCtrl, Qt::IgnoreAction},
  };
  QMimeData mime;
  mime.setData("_NETSCAPE_URL", "http://e.com/");
  for (const auto& c : cases) {
    target.Dragtypes = c.types;
    const Outcome o = Drag(mime, c.offered, c.mods);
    EXPECT_EQ(o.action, c.expected) << c.offered.toInt() << "/" << c.mods.toInt();
    if (c.expected != Qt::IgnoreAction) {
      EXPECT_TRUE(o.dropAccepted);
    }
  }
  // A handler decides alone; the source hears only what it offers.
  target.Dragtypes = {dtLink};
  target.OnGetDropEffect = [](TDropTarget&, TShiftState, QPoint, std::uint32_t& effect) {
    effect = kDropEffectMove;
  };
  EXPECT_EQ(Drag(mime, all).action, Qt::MoveAction);
  EXPECT_EQ(Drag(mime, Qt::CopyAction | Qt::LinkAction).action, Qt::IgnoreAction);
}

TEST_F(DropTargetTest, RegistrationFailuresNameTheControl) {
  TDropURLTarget second;
  try {
    second.SetTarget(&edit);
    ADD_FAILURE() << "registered twice";
  } catch (const EDropTargetError& e) {
    EXPECT_STREQ(e.what(), "Failed to Register edturl");
  }
  EXPECT_EQ(second.Target(), &edit);

  // Someone took the registration away: the change is refused and Target stays.
  QLineEdit other;
  ASSERT_TRUE(RevokeDragDrop(&edit, &target));
  try {
    target.SetTarget(&other);
    ADD_FAILURE() << "unregistered what was not registered";
  } catch (const EDropTargetError& e) {
    EXPECT_STREQ(e.what(), "Failed to Unregister edturl");
  }
  EXPECT_EQ(target.Target(), &edit);

  // Unregistered, the field's own drop handling is back and ours is gone.
  ASSERT_TRUE(RegisterDragDrop(&edit, &target));
  target.SetTarget(nullptr);
  EXPECT_TRUE(edit.acceptDrops());
  QMimeData mime;
  mime.setData("_NETSCAPE_URL", "http://e.com/");
  EXPECT_EQ(Drag(mime).drops, 0);

  // A widget that is gone is simply replaced.
  auto gone = std::make_unique<QLineEdit>();
  target.SetTarget(gone.get());
  gone.reset();
  target.SetTarget(&other);
  EXPECT_EQ(target.Target(), &other);
}

// Formats no X11 source offers, through a fake data object.
class FakeData : public DragDataSource {
 public:
  std::optional<std::vector<std::string>> formats;
  std::map<std::string, std::string> data;
  std::optional<std::vector<std::string>> EnumFormats() const override { return formats; }
  std::optional<std::string> GetData(const std::string& f) const override {
    auto it = data.find(f);
    return it == data.end() ? std::nullopt : std::optional(it->second);
  }
};

TEST_F(DropTargetTest, ShortcutContentsAndUnlistableFormats) {
  FakeData fake;
  fake.formats = std::vector<std::string>{"Shell IDList Array", kFormatFileContents};
  fake.data[kFormatFileContents] = std::string("[InternetShortcut]\r\nURL=http://fc.com/\r\n\0x", 42);
  fake.data[kFormatFileGroupDescriptor] = std::string("Named.url\0rest", 14);
  std::uint32_t effect = kDropEffectLink;
  ASSERT_TRUE(target.DragEnter(fake, 0, {}, effect));
  EXPECT_EQ(target.URL(), "http://fc.com/");
  EXPECT_EQ(target.Title(), "Named");
  target.DragLeave();
  EXPECT_EQ(target.URL(), "");

  fake.formats.reset();  // the source cannot list its formats
  effect = kDropEffectLink;
  EXPECT_FALSE(target.DragEnter(fake, 0, {}, effect));
  EXPECT_EQ(effect, kDropEffectNone);
}

TEST(DragDataTest, FileUrisAndUtf16) {
  const struct {
    const char* uri;
    std::optional<std::string> path;
  } uris[] = {
      {"file:///home/u/a%20b.url", "/home/u/a b.url"},
      {"FILE://localhost/x", "/x"},
      {"file:/k/x%zz", "/k/x%zz"},
      {"file://host/x", std::nullopt},
      {"http://h/x", std::nullopt},
      {"file:///a%00b", std::nullopt},
      {"file://", std::nullopt},
  };
  for (const auto& c : uris) EXPECT_EQ(LocalFilePath(c.uri), c.path) << c.uri;
  // Unpaired surrogates and an odd trailing byte.
  EXPECT_EQ(Utf16LeToUtf8(std::string("a\0\x00\xD8z\0\x01", 7)), "a\xEF\xBF\xBDz");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xDC\x00\xD8", 4)), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tavimo::test

#include "tools/SkinPainter.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <functional>

namespace tavimo::skin {
namespace {

// One palette for the whole skin, built around the window colour, the light blue of the
// selection and hints, the deep blue of the progress bar and the teal of the item panel.
const QColor kWindow(236, 233, 216);
const QColor kCard(246, 244, 235);
const QColor kCardLine(214, 209, 188);
const QColor kLightBlue(99, 156, 206);
const QColor kPaleBlue(140, 186, 226);
const QColor kDeepBlue(51, 102, 153);
const QColor kNavy(34, 68, 104);
const QColor kBand(221, 232, 243);
const QColor kBandLine(169, 196, 224);
const QColor kTeal(0, 128, 128);
const QColor kFrame(160, 158, 131);
const QColor kInk(40, 52, 66);
const QColor kMuted(120, 116, 96);
const QColor kWhite(255, 255, 255);
const QColor kScreenFoot(22, 34, 48);

// Where the main window puts its controls; the background leaves their places plain.
const QRect kTitlebar(136, 4, 401, 20);
const QRect kItemPanel(28, 54, 501, 131);
const QRect kPlayer(31, 223, 248, 131);
const QRect kCategories(302, 247, 193, 100);
const QRect kRootField(304, 362, 105, 18);
const QRect kAddressField(48, 440, 425, 19);
const QRect kStatus(24, 408, 513, 13);
const QRect kRightCard(294, 230, 212, 160);
const QRect kAddressBand(12, 430, 539, 36);

enum class State { Normal, Over, Down };

QFont UiFont(int pixelSize, bool bold = false, bool italic = false) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  f.setItalic(italic);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

QImage Canvas(int w, int h, const QColor& fill) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(fill);
  return img;
}

void Smooth(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
}

// The face of a push button in one of its three states.
void PaintButtonFace(QPainter& p, const QRectF& r, State s, double radius) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  switch (s) {
    case State::Normal:
      g.setColorAt(0, QColor(118, 170, 216));
      g.setColorAt(1, QColor(74, 128, 184));
      break;
    case State::Over:
      g.setColorAt(0, QColor(142, 192, 236));
      g.setColorAt(1, QColor(84, 144, 204));
      break;
    case State::Down:
      g.setColorAt(0, QColor(40, 84, 130));
      g.setColorAt(1, QColor(58, 112, 166));
      break;
  }
  p.setPen(QPen(s == State::Down ? kNavy : kDeepBlue, 1));
  p.setBrush(g);
  p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  // A light rim on top when raised, a dark one when pressed in.
  const QRectF inner = r.adjusted(1.5, 1.5, -1.5, -1.5);
  p.setBrush(Qt::NoBrush);
  if (s == State::Down) {
    p.setPen(QPen(QColor(20, 48, 80, 150), 1));
    p.drawLine(QPointF(inner.left() + radius / 2, inner.top()),
               QPointF(inner.right() - radius / 2, inner.top()));
  } else {
    p.setPen(QPen(QColor(255, 255, 255, s == State::Over ? 170 : 110), 1));
    p.drawLine(QPointF(inner.left() + radius / 2, inner.top()),
               QPointF(inner.right() - radius / 2, inner.top()));
  }
  if (s == State::Over) {
    // A soft glow under the label marks the hover state even at a glance.
    QRadialGradient glow(r.center().x(), r.bottom(), r.width() * 0.6);
    glow.setColorAt(0, QColor(255, 255, 255, 70));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius, radius);
  }
}

void PaintLabel(QPainter& p, const QRectF& r, const QString& text, const QFont& font, State s) {
  const QRectF at = s == State::Down ? r.translated(0, 1) : r;
  p.setFont(font);
  p.setPen(QColor(16, 40, 70, s == State::Down ? 60 : (s == State::Over ? 150 : 110)));
  p.drawText(at.translated(0, 1), Qt::AlignCenter, text);
  p.setPen(kWhite);
  p.drawText(at, Qt::AlignCenter, text);
}

// A push button with an optional icon left of its label.
QImage PushButton(int w, int h, const QString& label, State s, const QColor& behind, int fontPx,
                  const std::function<void(QPainter&, const QRectF&, const QColor&)>& icon = {}) {
  QImage img = Canvas(w, h, behind);
  QPainter p(&img);
  Smooth(p);
  const QRectF r(0, 0, w, h);
  PaintButtonFace(p, r, s, 4);
  const QFont font = UiFont(fontPx, true);
  if (!icon) {
    PaintLabel(p, r, label, font, s);
    return img;
  }
  const QFontMetrics fm(font);
  const double iconW = h * 0.55;
  const double gap = 5;
  const double total = iconW + gap + fm.horizontalAdvance(label);
  const double x0 = (w - total) / 2;
  const double dy = s == State::Down ? 1 : 0;
  icon(p, QRectF(x0, (h - iconW) / 2 + dy, iconW, iconW), kWhite);
  PaintLabel(p, QRectF(x0 + iconW + gap, 0, total - iconW - gap, h), label, font, s);
  return img;
}

void DownArrowIcon(QPainter& p, const QRectF& r, const QColor& c) {
  p.save();
  p.setPen(QPen(c, r.width() * 0.16, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const double cx = r.center().x();
  p.drawLine(QPointF(cx, r.top()), QPointF(cx, r.top() + r.height() * 0.62));
  p.drawPolyline(QPolygonF({QPointF(r.left() + r.width() * 0.2, r.top() + r.height() * 0.38),
                            QPointF(cx, r.top() + r.height() * 0.66),
                            QPointF(r.right() - r.width() * 0.2, r.top() + r.height() * 0.38)}));
  p.drawLine(QPointF(r.left(), r.bottom()), QPointF(r.right(), r.bottom()));
  p.restore();
}

void PlayIcon(QPainter& p, const QRectF& r, const QColor& c) {
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPolygon(QPolygonF({QPointF(r.left() + r.width() * 0.2, r.top()), QPointF(r.right(), r.center().y()),
                           QPointF(r.left() + r.width() * 0.2, r.bottom())}));
  p.restore();
}

void FolderIcon(QPainter& p, const QRectF& r, const QColor& c) {
  p.save();
  p.setPen(QPen(c, std::max(1.0, r.width() * 0.1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  path.moveTo(r.left(), r.bottom());
  path.lineTo(r.left(), r.top() + r.height() * 0.12);
  path.lineTo(r.left() + r.width() * 0.38, r.top() + r.height() * 0.12);
  path.lineTo(r.left() + r.width() * 0.5, r.top() + r.height() * 0.3);
  path.lineTo(r.right(), r.top() + r.height() * 0.3);
  path.lineTo(r.right(), r.bottom());
  path.closeSubpath();
  p.drawPath(path);
  p.restore();
}

void GearIcon(QPainter& p, const QRectF& r, const QColor& c) {
  p.save();
  Smooth(p);
  const QPointF ctr = r.center();
  const double outer = r.width() / 2;
  const double inner = outer * 0.72;
  QPainterPath gear;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = (i - 0.5) * M_PI / teeth;
    const double a1 = (i + 0.5) * M_PI / teeth;
    const double rad = i % 2 == 0 ? outer : inner;
    const QPointF p0(ctr.x() + rad * std::cos(a0), ctr.y() + rad * std::sin(a0));
    const QPointF p1(ctr.x() + rad * std::cos(a1), ctr.y() + rad * std::sin(a1));
    if (i == 0) gear.moveTo(p0);
    else gear.lineTo(p0);
    gear.lineTo(p1);
  }
  gear.closeSubpath();
  gear.addEllipse(ctr, outer * 0.32, outer * 0.32);
  gear.setFillRule(Qt::OddEvenFill);
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(gear);
  p.restore();
}

// The round buttons of the title strip: a glyph on white that fills with blue under the mouse.
QImage TitleButton(State s, const std::function<void(QPainter&, const QRectF&, const QColor&)>& glyph) {
  QImage img = Canvas(21, 21, kWhite);
  QPainter p(&img);
  Smooth(p);
  const QRectF circle(1.5, 1.5, 18, 18);
  QColor ink = kDeepBlue;
  if (s == State::Normal) {
    p.setPen(QPen(kBandLine, 1));
    p.setBrush(QColor(244, 248, 252));
  } else if (s == State::Over) {
    p.setPen(QPen(kDeepBlue, 1));
    p.setBrush(kLightBlue);
    ink = kWhite;
  } else {
    p.setPen(QPen(kNavy, 1));
    p.setBrush(kDeepBlue);
    ink = kWhite;
  }
  p.drawEllipse(circle);
  glyph(p, s == State::Down ? circle.translated(0, 1) : circle, ink);
  return img;
}

void GlyphInfo(QPainter& p, const QRectF& c, const QColor& ink) {
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawEllipse(QPointF(c.center().x(), c.top() + 5), 1.4, 1.4);
  p.drawRoundedRect(QRectF(c.center().x() - 1.2, c.top() + 7.5, 2.4, 7), 1, 1);
}

void GlyphQuestion(QPainter& p, const QRectF& c, const QColor& ink) {
  p.setPen(ink);
  p.setFont(UiFont(13, true));
  p.drawText(c.adjusted(0, 0, 0, 0), Qt::AlignCenter, QStringLiteral("?"));
}

void GlyphMini(QPainter& p, const QRectF& c, const QColor& ink) {
  p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(c.left() + 5.5, c.top() + 12.5), QPointF(c.right() - 5.5, c.top() + 12.5));
}

void GlyphClose(QPainter& p, const QRectF& c, const QColor& ink) {
  p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
  const double d = 4.5;
  const QPointF m = c.center();
  p.drawLine(QPointF(m.x() - d, m.y() - d), QPointF(m.x() + d, m.y() + d));
  p.drawLine(QPointF(m.x() + d, m.y() - d), QPointF(m.x() - d, m.y() + d));
}

// The on/off toggles: a ticked blue box or an empty one.
QImage Toggle(bool on) {
  QImage img = Canvas(20, 22, kWindow);
  QPainter p(&img);
  Smooth(p);
  const QRectF box(3.5, 4.5, 14, 14);
  if (on) {
    p.setPen(QPen(kDeepBlue, 1));
    p.setBrush(kLightBlue);
    p.drawRoundedRect(box, 3, 3);
    p.setPen(QPen(kWhite, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(6.5, 11.5), QPointF(9.5, 14.5), QPointF(14.5, 8)}));
  } else {
    p.setPen(QPen(kFrame, 1));
    p.setBrush(kWhite);
    p.drawRoundedRect(box, 3, 3);
  }
  return img;
}

QImage OptionsButton(State s) {
  QImage img = Canvas(90, 24, kWindow);
  QPainter p(&img);
  Smooth(p);
  const QRectF r(0.5, 0.5, 89, 23);
  QColor ink = kDeepBlue;
  if (s == State::Normal) {
    p.setPen(QPen(kFrame, 1));
    p.setBrush(kCard);
  } else if (s == State::Over) {
    p.setPen(QPen(kDeepBlue, 1));
    p.setBrush(kLightBlue);
    ink = kWhite;
  } else {
    p.setPen(QPen(kNavy, 1));
    p.setBrush(kDeepBlue);
    ink = kWhite;
  }
  p.drawRoundedRect(r, 11.5, 11.5);
  const double dy = s == State::Down ? 1 : 0;
  GearIcon(p, QRectF(12, 5 + dy, 14, 14), ink);
  p.setPen(ink);
  p.setFont(UiFont(11, true));
  p.drawText(QRectF(30, dy, 54, 24), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Options"));
  return img;
}

QImage RefreshButton() {
  QImage img = Canvas(23, 23, kBand);
  QPainter p(&img);
  Smooth(p);
  p.setPen(QPen(kBandLine, 1));
  p.setBrush(kWhite);
  p.drawEllipse(QRectF(0.5, 0.5, 22, 22));
  p.setPen(QPen(kDeepBlue, 2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  const QRectF arc(6, 6, 11, 11);
  p.drawArc(arc, 60 * 16, 290 * 16);
  // Arrow head at the arc's open end.
  p.setPen(Qt::NoPen);
  p.setBrush(kDeepBlue);
  p.drawPolygon(QPolygonF({QPointF(13.2, 3.6), QPointF(17.8, 7.2), QPointF(12.4, 9.4)}));
  return img;
}

void DrawLogoMark(QPainter& p, const QRectF& r) {
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, kLightBlue);
  g.setColorAt(1, kDeepBlue);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(r, r.width() * 0.22, r.width() * 0.22);
  p.setBrush(kWhite);
  p.drawEllipse(r.adjusted(r.width() * 0.16, r.width() * 0.16, -r.width() * 0.16, -r.width() * 0.16));
  PlayIcon(p, r.adjusted(r.width() * 0.38, r.width() * 0.32, -r.width() * 0.3, -r.width() * 0.32), kTeal);
}

QImage Banner() {
  QImage img = Canvas(202, 22, kWindow);
  QPainter p(&img);
  Smooth(p);
  // The banner's top rows overlap the foot of the preview area, whose colour depends on what
  // plays there: keep them in the window colour, a clean gap under the player.
  QLinearGradient g(0, 0, 202, 0);
  g.setColorAt(0, kDeepBlue);
  g.setColorAt(1, kLightBlue);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(QRectF(0, 3, 202, 19), 9.5, 9.5);
  DrawLogoMark(p, QRectF(4, 4.5, 16, 16));
  p.setPen(kWhite);
  p.setFont(UiFont(11, true, true));
  p.drawText(QRectF(24, 3, 174, 19), Qt::AlignVCenter | Qt::AlignLeft,
             QStringLiteral("Find it. Watch it. Keep it."));
  return img;
}

QImage AboutPicture() {
  QImage img = Canvas(200, 300, kWindow);
  QPainter p(&img);
  Smooth(p);
  QLinearGradient head(0, 0, 0, 150);
  head.setColorAt(0, kDeepBlue);
  head.setColorAt(1, kLightBlue);
  p.fillRect(QRect(0, 0, 200, 150), head);
  // A few soft rings behind the mark.
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 4; ++i) {
    p.setPen(QPen(QColor(255, 255, 255, 40 - i * 8), 1.5));
    p.drawEllipse(QPointF(100, 62), 40.0 + i * 14, 40.0 + i * 14);
  }
  DrawLogoMark(p, QRectF(72, 34, 56, 56));
  p.setPen(kWhite);
  p.setFont(UiFont(24, true, true));
  p.drawText(QRectF(0, 96, 200, 30), Qt::AlignCenter, QStringLiteral("Tavimo"));
  p.setFont(UiFont(11));
  p.drawText(QRectF(0, 124, 200, 16), Qt::AlignCenter, QStringLiteral("Version 4.0"));
  p.setPen(kInk);
  p.setFont(UiFont(11));
  p.drawText(QRectF(16, 162, 168, 64), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
             QStringLiteral("Finds the Flash movies a web page uses, previews them and saves "
                            "them into folders by category."));
  p.setPen(QPen(kCardLine, 1));
  p.drawLine(QPointF(24, 232.5), QPointF(176, 232.5));
  p.setPen(kMuted);
  p.setFont(UiFont(10));
  p.drawText(QRectF(0, 240, 200, 14), Qt::AlignCenter,
             QStringLiteral("F7  show and scan   \u00b7   F6  show"));
  p.drawText(QRectF(0, 256, 200, 14), Qt::AlignCenter, QStringLiteral("Esc  hide"));
  p.setPen(kDeepBlue);
  p.setFont(UiFont(10, false, true));
  p.drawText(QRectF(0, 278, 200, 14), Qt::AlignCenter, QStringLiteral("Click to close"));
  return img;
}

QImage TrayIcon() {
  QImage img = Canvas(64, 64, kWhite);
  QPainter p(&img);
  Smooth(p);
  p.fillRect(img.rect(), kDeepBlue);
  QLinearGradient g(0, 0, 64, 64);
  g.setColorAt(0, kLightBlue);
  g.setColorAt(1, kDeepBlue);
  p.fillRect(img.rect(), g);
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawEllipse(QRectF(10, 10, 44, 44));
  PlayIcon(p, QRectF(25, 20, 22, 24), kTeal);
  return img;
}

// The small menu pictures, drawn on white like the menus they sit in.
QImage MenuPicture(int index) {
  QImage img = Canvas(16, 16, kWhite);
  QPainter p(&img);
  Smooth(p);
  const QColor ink = kDeepBlue;
  const QPen pen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  auto plus = [&](QPointF c, const QColor& col) {
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawEllipse(c, 4, 4);
    p.setPen(QPen(kWhite, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - 2, c.y()), QPointF(c.x() + 2, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 2), QPointF(c.x(), c.y() + 2));
  };
  switch (index) {
    case 0: {  // add a Flash item: a film sheet with a plus
      p.setPen(pen);
      p.setBrush(kBand);
      p.drawRoundedRect(QRectF(1.5, 2.5, 10, 11), 1.5, 1.5);
      PlayIcon(p, QRectF(4.5, 5.5, 5, 5), kTeal);
      plus(QPointF(11.5, 11.5), kTeal);
      break;
    }
    case 1:  // add a category
      FolderIcon(p, QRectF(1.5, 2.5, 11, 9), ink);
      plus(QPointF(11.5, 11.5), kTeal);
      break;
    case 2:  // delete a category
      FolderIcon(p, QRectF(1.5, 2.5, 11, 9), ink);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(196, 72, 56));
      p.drawEllipse(QPointF(11.5, 11.5), 4, 4);
      p.setPen(QPen(kWhite, 1.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9.5, 11.5), QPointF(13.5, 11.5));
      break;
    case 3:  // search the current page
      p.setPen(QPen(ink, 1.8));
      p.setBrush(kBand);
      p.drawEllipse(QRectF(2, 2, 8.5, 8.5));
      p.setPen(QPen(ink, 2.4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(10, 10), QPointF(14, 14));
      break;
    case 4:  // show the window
      p.setPen(pen);
      p.setBrush(kWhite);
      p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
      p.fillRect(QRectF(2, 3, 12, 3), kLightBlue);
      break;
    case 5: {  // exit: a power sign
      p.setPen(QPen(QColor(196, 72, 56), 1.8, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(2.5, 3, 11, 11), 120 * 16, 300 * 16);
      p.drawLine(QPointF(8, 1.8), QPointF(8, 7.5));
      break;
    }
    case 6:  // clear the list: lines struck out
      p.setPen(QPen(kFrame, 1.4, Qt::SolidLine, Qt::RoundCap));
      for (int y = 4; y <= 12; y += 4) p.drawLine(QPointF(2, y), QPointF(10, y));
      p.setPen(QPen(QColor(196, 72, 56), 1.8, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9, 8), QPointF(14, 13));
      p.drawLine(QPointF(14, 8), QPointF(9, 13));
      break;
    case 7:  // download this item
      DownArrowIcon(p, QRectF(3, 2, 10, 12), ink);
      break;
    case 8:  // options
      GearIcon(p, QRectF(1.5, 1.5, 13, 13), ink);
      break;
    default: break;
  }
  return img;
}

void Label(QPainter& p, int x, int y, const QString& text, int px = 11, bool bold = true,
           const QColor& color = kDeepBlue) {
  p.setFont(UiFont(px, bold));
  p.setPen(color);
  p.drawText(QPoint(x, y), text);
}

QImage Background() {
  QImage img = Canvas(563, 472, kWindow);
  QPainter p(&img);
  Smooth(p);
  // Header band with the name, framing the white title strip.
  QLinearGradient head(0, 0, 0, 29);
  head.setColorAt(0, kLightBlue);
  head.setColorAt(1, kDeepBlue);
  p.fillRect(QRect(0, 0, 563, 29), head);
  DrawLogoMark(p, QRectF(10, 5, 19, 19));
  p.setPen(kWhite);
  p.setFont(UiFont(17, true, true));
  p.drawText(QRectF(34, 0, 100, 29), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Tavimo"));
  p.setPen(QPen(QColor(255, 255, 255, 120), 1));
  p.setBrush(kWhite);
  p.drawRoundedRect(QRectF(kTitlebar).adjusted(-2.5, -1.5, 2.5, 1.5), 4, 4);
  p.setPen(QPen(kNavy, 1));
  p.drawLine(QPointF(0, 28.5), QPointF(563, 28.5));

  // Item list heading and a soft shadow under the panel.
  Label(p, 30, 47, QStringLiteral("Flash items on this page"));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 28));
  p.drawRoundedRect(QRectF(kItemPanel).translated(2, 2), 2, 2);
  p.fillRect(kItemPanel, kTeal);

  Label(p, 124, 208, QStringLiteral("Preview"), 11, false, kInk);

  // The preview screen behind the player.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 28));
  p.drawRect(QRectF(kPlayer).translated(2, 2));
  QLinearGradient screen(kPlayer.topLeft(), kPlayer.bottomLeft());
  screen.setColorAt(0, QColor(38, 56, 76));
  screen.setColorAt(1, kScreenFoot);
  p.fillRect(kPlayer, screen);
  PlayIcon(p, QRectF(kPlayer.center().x() - 9, kPlayer.center().y() - 16, 18, 20), QColor(255, 255, 255, 60));
  p.setPen(QColor(255, 255, 255, 90));
  p.setFont(UiFont(10));
  p.drawText(QRectF(kPlayer).adjusted(0, 36, 0, 0), Qt::AlignCenter,
             QStringLiteral("Click an item to preview it"));

  // The save card: categories, the download folder and its button.
  p.setPen(QPen(kCardLine, 1));
  p.setBrush(kCard);
  p.drawRoundedRect(QRectF(kRightCard).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  Label(p, 304, 243, QStringLiteral("Save into category"), 10);
  p.fillRect(kCategories, kWhite);
  p.fillRect(kRootField, kWhite);

  Label(p, 234, 396, QStringLiteral("Auto close"), 10, false, kInk);

  // Status line.
  p.fillRect(kStatus, kWindow);

  // Address band.
  p.setPen(QPen(kBandLine, 1));
  p.setBrush(kBand);
  p.drawRoundedRect(QRectF(kAddressBand).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
  p.fillRect(kAddressField, kWhite);

  // Window outline: the window has no frame of its own.
  p.setPen(QPen(kDeepBlue, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, 562, 471));
  return img;
}

void AddStates(std::vector<Picture>& out, const QString& name, const std::function<QImage(State)>& draw) {
  out.push_back({QStringLiteral("jpeg"), name + QStringLiteral("0"), draw(State::Normal)});
  out.push_back({QStringLiteral("jpeg"), name + QStringLiteral("1"), draw(State::Over)});
  out.push_back({QStringLiteral("jpeg"), name + QStringLiteral("2"), draw(State::Down)});
}

}  // namespace

std::vector<Picture> DrawAll() {
  std::vector<Picture> out;
  AddStates(out, QStringLiteral("CHANGE"),
            [](State s) { return PushButton(69, 21, QStringLiteral("Change"), s, kCard, 11); });
  AddStates(out, QStringLiteral("CLOSE"), [](State s) { return TitleButton(s, GlyphClose); });
  AddStates(out, QStringLiteral("DOWNLOAD"), [](State s) {
    return PushButton(109, 28, QStringLiteral("Download"), s, kWindow, 12, DownArrowIcon);
  });
  AddStates(out, QStringLiteral("GO"),
            [](State s) { return PushButton(46, 21, QStringLiteral("Go"), s, kBand, 11, PlayIcon); });
  AddStates(out, QStringLiteral("INFO"), [](State s) { return TitleButton(s, GlyphInfo); });
  AddStates(out, QStringLiteral("MINI"), [](State s) { return TitleButton(s, GlyphMini); });
  AddStates(out, QStringLiteral("QUESTION"), [](State s) { return TitleButton(s, GlyphQuestion); });

  // Layout pictures are named after the control that shows them.
  const QString layout = QStringLiteral("layout");
  out.push_back({layout, QStringLiteral("backimg"), Background()});
  out.push_back({layout, QStringLiteral("imgpreviewy"), Toggle(true)});
  out.push_back({layout, QStringLiteral("imgpreviewn"), Toggle(false)});
  out.push_back({layout, QStringLiteral("imgautoclosey"), Toggle(true)});
  out.push_back({layout, QStringLiteral("imgautoclosen"), Toggle(false)});
  out.push_back({layout, QStringLiteral("Image1"), Banner()});
  out.push_back({layout, QStringLiteral("about"), AboutPicture()});
  out.push_back({layout, QStringLiteral("trayicon"), TrayIcon()});
  out.push_back({layout, QStringLiteral("butRefresh"), RefreshButton()});
  out.push_back({layout, QStringLiteral("MouseEffectImage1"), OptionsButton(State::Normal)});
  out.push_back({layout, QStringLiteral("MouseEffectImage1_over"), OptionsButton(State::Over)});
  out.push_back({layout, QStringLiteral("MouseEffectImage1_down"), OptionsButton(State::Down)});
  for (int i = 0; i < 9; ++i) out.push_back({layout, QStringLiteral("menu%1").arg(i), MenuPicture(i)});
  return out;
}

QImage DrawMockup(const std::vector<Picture>& pictures) {
  auto find = [&](const QString& name) {
    for (const auto& pic : pictures)
      if (pic.name == name) return pic.image;
    return QImage();
  };
  QImage img = find(QStringLiteral("backimg")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter p(&img);
  p.fillRect(kTitlebar, kWhite);
  const struct {
    const char* name;
    int x, y;
  } placed[] = {
      {"INFO0", 136 + 311, 4},     {"QUESTION1", 136 + 332, 4}, {"MINI0", 136 + 353, 4},
      {"CLOSE2", 136 + 374, 4},    {"imgpreviewy", 100, 192},   {"DOWNLOAD1", 416, 200},
      {"Image1", 61, 352},         {"CHANGE0", 424, 360},       {"MouseEffectImage1", 52, 378},
      {"imgautoclosen", 210, 381}, {"butRefresh", 21, 437},     {"GO0", 482, 438},
  };
  for (const auto& at : placed) p.drawImage(at.x, at.y, find(QString::fromLatin1(at.name)));
  // The status line as the window shows it at rest.
  p.setPen(QColor(160, 150, 131));
  p.drawRect(kStatus.adjusted(0, 0, -1, -1));
  p.setPen(kInk);
  p.setFont(UiFont(11));
  p.drawText(kStatus, Qt::AlignCenter, QStringLiteral("i d l e"));
  return img;
}

}  // namespace tavimo::skin

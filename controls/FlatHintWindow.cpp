#include "controls/FlatHintWindow.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "controls/FlatColors.h"

namespace tavimo {
namespace {

constexpr int kBand = 14;    // width of the arrow band
constexpr int kPadding = 4;  // space around the text
constexpr int kHideAfterMs = 4000;

QPointer<TFlatHintWindow> g_installed;

void DeleteInstalled() {
  // Forget it before deleting: events sent while it dies must not reach it through the router.
  TFlatHintWindow* hint = g_installed.data();
  g_installed = nullptr;
  delete hint;
}

// Sends tool-tip requests to the flat hint window and hides it when the user acts.
class HintRouter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (g_installed == nullptr) return false;
    switch (event->type()) {
      case QEvent::ToolTip: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr) return false;
        // Without a hint of its own the widget may still show per-item tips (list views do).
        if (widget->toolTip().isEmpty()) {
          g_installed->HideHint();
          return false;
        }
        const auto* help = static_cast<QHelpEvent*>(event);
        g_installed->ActivateHint(help->globalPos() + QPoint(2, 20), widget->toolTip());
        return true;
      }
      case QEvent::Leave:
      case QEvent::MouseButtonPress:
      case QEvent::KeyPress:
      case QEvent::Wheel:
      case QEvent::WindowDeactivate: g_installed->HideHint(); break;
      default: break;
    }
    return false;
  }
};

}  // namespace

TFlatHintWindow::TFlatHintWindow()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint),
      arrowBackground_(FromTColor(kHintArrowBackground)),
      border_(FromTColor(kFlatFrameColor)),
      arrow_(Qt::white),
      hideTimer_(new QTimer(this)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  hideTimer_->setSingleShot(true);
  hideTimer_->setInterval(kHideAfterMs);
  QObject::connect(hideTimer_, &QTimer::timeout, this, [this] { HideHint(); });
}

TFlatHintWindow::~TFlatHintWindow() {
  if (g_installed.data() == this) g_installed = nullptr;
}

void TFlatHintWindow::SetArrowBackgroundColor(const QColor& c) {
  arrowBackground_ = c;
  update();
}

void TFlatHintWindow::SetBorderColor(const QColor& c) {
  border_ = c;
  update();
}

void TFlatHintWindow::SetArrowColor(const QColor& c) {
  arrow_ = c;
  update();
}

QSize TFlatHintWindow::sizeHint() const {
  const QFontMetrics fm(font());
  const QRect text = fm.boundingRect(QRect(0, 0, 400, 1000), Qt::TextWordWrap, text_);
  return {kBand + 2 * kPadding + text.width() + 2, 2 * kPadding + std::max(text.height(), kBand) + 2};
}

void TFlatHintWindow::ActivateHint(const QPoint& globalPos, const QString& text) {
  if (text.isEmpty()) {
    HideHint();
    return;
  }
  text_ = text;
  resize(sizeHint());
  QPoint at = globalPos;
  // Keep the hint on the screen the pointer is on.
  if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
    const QRect area = screen->availableGeometry();
    at.setX(std::min(at.x(), area.right() - width()));
    if (at.y() + height() > area.bottom()) at.setY(globalPos.y() - height() - 24);
  }
  move(at);
  show();
  raise();
  update();
  hideTimer_->start();
}

void TFlatHintWindow::HideHint() {
  hideTimer_->stop();
  hide();
}

void TFlatHintWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(255, 255, 255));
  const QRect band(0, 0, kBand, height());
  p.fillRect(band, arrowBackground_);
  // A small right-pointing arrow in the band, level with the first line of text.
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(arrow_);
  const double cy = kPadding + QFontMetrics(font()).height() / 2.0 + 1;
  const QPointF arrow[3] = {{4.5, cy - 4}, {9.5, cy}, {4.5, cy + 4}};
  p.drawPolygon(arrow, 3);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(border_);
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, width() - 1, height() - 1);
  p.setPen(palette().color(QPalette::ToolTipText));
  p.setFont(font());
  p.drawText(rect().adjusted(kBand + kPadding, kPadding, -kPadding, -kPadding),
             Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_);
}

TFlatHintWindow* TFlatHintWindow::Install() {
  if (g_installed != nullptr) return g_installed;
  g_installed = new TFlatHintWindow();
  qApp->installEventFilter(new HintRouter(qApp));
  // Gone before the application object tears down the widget machinery.
  qAddPostRoutine(DeleteInstalled);
  return g_installed;
}

}  // namespace tavimo

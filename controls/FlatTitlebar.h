#pragma once
// The strip by which a borderless window is dragged. It must be placed directly on a window
// (a top-level widget); it watches that window's activation to pick its text colour.
#include <QColor>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <stdexcept>

namespace tavimo {

class EFlatTitlebarError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFlatTitlebar : public QWidget {
 public:
  // Throws EFlatTitlebarError when `form` is null or not a window.
  explicit TFlatTitlebar(QWidget* form);
  ~TFlatTitlebar() override;

  QColor ActiveTextColor() const { return activeText_; }
  void SetActiveTextColor(const QColor& c);
  QColor InactiveTextColor() const { return inactiveText_; }
  void SetInactiveTextColor(const QColor& c);
  QColor TitlebarColor() const { return titlebarColor_; }
  void SetTitlebarColor(const QColor& c);
  QString Caption() const { return caption_; }
  void SetCaption(const QString& text);

  bool IsActive() const { return active_; }
  bool IsDragging() const { return dragging_; }

  std::function<void(QObject* sender)> OnActivate;
  std::function<void(QObject* sender)> OnDeactivate;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void SetActive(bool active);

  QWidget* form_;
  QColor activeText_;
  QColor inactiveText_;
  QColor titlebarColor_;
  QString caption_;
  bool active_ = false;
  bool dragging_ = false;
  QPoint press_;        // in the strip's own coordinates
  QPoint pressGlobal_;  // the same point on the screen
  QPoint formAtPress_;
};

}  // namespace tavimo

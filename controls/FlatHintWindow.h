#pragma once
// The flat hint window: a tool-tip with a coloured arrow band on its left. Install() makes it
// show the hints (tool-tips) of every widget of the application instead of the standard ones.
#include <QColor>
#include <QString>
#include <QWidget>

class QTimer;

namespace tavimo {

class TFlatHintWindow : public QWidget {
 public:
  TFlatHintWindow();
  ~TFlatHintWindow() override;

  QColor ArrowBackgroundColor() const { return arrowBackground_; }
  void SetArrowBackgroundColor(const QColor& c);
  QColor BorderColor() const { return border_; }
  void SetBorderColor(const QColor& c);
  QColor ArrowColor() const { return arrow_; }
  void SetArrowColor(const QColor& c);

  // Shows `text` with the top-left corner near `globalPos`; an empty text hides the window.
  void ActivateHint(const QPoint& globalPos, const QString& text);
  void HideHint();
  QString HintText() const { return text_; }

  QSize sizeHint() const override;

  // Routes every tool-tip of the application to one flat hint window (created on first use and
  // owned by the application). Returns that window so the caller can set its colours.
  static TFlatHintWindow* Install();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor arrowBackground_;
  QColor border_;
  QColor arrow_;
  QString text_;
  QTimer* hideTimer_;
};

}  // namespace tavimo

#pragma once
// A flat panel with a one-pixel two-colour frame and a one-line caption, drawn off-screen first
// so status text changes never flicker. A caption too wide for the panel is its tooltip, so a
// long status text can still be read whole.
#include <QColor>
#include <QString>
#include <QWidget>
#include <optional>

namespace tavimo {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TFlatPanel : public QWidget {
 public:
  explicit TFlatPanel(QWidget* parent = nullptr);

  QColor ColorHighLight() const { return highlight_; }
  void SetColorHighLight(const QColor& c);
  QColor ColorShadow() const { return shadow_; }
  void SetColorShadow(const QColor& c);
  // Until a colour is set the panel takes its parent's background colour.
  QColor Color() const;
  void SetColor(const QColor& c);
  QString Caption() const { return caption_; }
  void SetCaption(const QString& text);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

  // The panel as it is painted now, for callers that want the picture without a screen.
  QImage Render() const;
  // True when the caption is wider than the room inside the frame.
  bool CaptionCut() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QColor highlight_;
  QColor shadow_;
  std::optional<QColor> color_;
  QString caption_;
  TAlignment alignment_ = TAlignment::taCenter;
  bool transparent_ = false;
  void UpdateToolTip();
};

}  // namespace tavimo

#pragma once
// A flat progress gauge: frame, bar and a percentage text that shows inverted over the bar.
#include <QColor>
#include <QWidget>
#include <cstdint>
#include <optional>

namespace tavimo {

class TFlatGauge : public QWidget {
 public:
  explicit TFlatGauge(QWidget* parent = nullptr);

  std::int32_t MinValue() const { return min_; }
  void SetMinValue(std::int32_t value);
  std::int32_t MaxValue() const { return max_; }
  void SetMaxValue(std::int32_t value);
  std::int32_t Progress() const { return progress_; }
  void SetProgress(std::int32_t value);
  bool ShowText() const { return showText_; }
  void SetShowText(bool on);

  QColor BarColor() const { return barColor_; }
  void SetBarColor(const QColor& c);
  QColor ColorBorder() const { return border_; }
  void SetColorBorder(const QColor& c);
  // Until a colour is set the gauge takes its parent's background colour.
  QColor Color() const;
  void SetColor(const QColor& c);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool UseAdvColors() const { return useAdvColors_; }
  void SetUseAdvColors(bool on);
  std::uint8_t AdvColorBorder() const { return advColorBorder_; }
  void SetAdvColorBorder(std::uint8_t value);

  // Bar width in pixels and the text shown, as the next paint draws them.
  int BarWidth() const;
  QString PercentText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::int32_t min_ = 0;
  std::int32_t max_ = 100;
  std::int32_t progress_ = 25;
  bool showText_ = true;
  QColor barColor_;
  QColor border_;
  std::optional<QColor> color_;
  bool transparent_ = false;
  bool useAdvColors_ = false;
  std::uint8_t advColorBorder_ = 0;
};

}  // namespace tavimo

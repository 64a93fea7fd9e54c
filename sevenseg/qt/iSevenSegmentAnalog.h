// Numeric seven-segment readout: a sign cell, DigitCount digit cells and a decimal mark
// in the gap before the fraction. GUI thread only.
//
//   auto* r = new TiSevenSegmentAnalog(parent);
//   r->SetAutoSize(false); r->setGeometry(144, 221, 113, 36);
//   r->SetSegmentColor(clLime); r->SetShowOffSegments(false); r->SetSegmentOffColor(clBlack);
//   r->SetPrecision(1); r->SetDigitCount(5);
//   r->SetValue(angle);
#pragma once

#include <vector>

#include "sevenseg/AnalogLayout.h"
#include "sevenseg/qt/iSevenSegmentDisplay.h"

namespace kelta::sevenseg {

// Decimal separator of the default QLocale (LC_NUMERIC / LANG unless the application set
// a default locale); "." when it is not a single ASCII character.
char LocaleDecimalSeparator();

class TiSevenSegmentAnalog : public TiSevenSegmentDisplay {
 public:
  explicit TiSevenSegmentAnalog(QWidget* parent = nullptr);

  double Value() const { return value_; }
  // Values above 1e15 are stored as 1e15; an unchanged value does nothing at all.
  void SetValue(double value);
  bool ShowSign() const { return showSign_; }
  void SetShowSign(bool value);
  int Precision() const { return precision_; }
  void SetPrecision(int value);
  // Decimal mark of the text: "." draws a period, anything else a comma. Taken from the
  // locale when the control is created.
  char DecimalSeparator() const { return decimalSeparator_; }
  void SetDecimalSeparator(char value);

  Size64 GetNaturalSize() override;

  // The cells of the current value at the current size, in painting order.
  void Layout(std::vector<CellDraw>& out) const;

 protected:
  void DrawContent(Canvas& canvas) override;

 private:
  double value_ = 0.0;
  bool showSign_ = true;
  int precision_ = 2;
  char decimalSeparator_;
  std::vector<CellDraw> cells_;  // reused by every paint
};

}  // namespace kelta::sevenseg

#include "graphics/qt/DialReadout.h"

#include "sevenseg/qt/iSevenSegmentAnalog.h"

namespace kelta::gfx {

sevenseg::TiSevenSegmentAnalog* CreateDialReadout(QWidget& view) {
  auto* readout = new sevenseg::TiSevenSegmentAnalog(&view);
  // Fixed size: the dial's window is drawn for it.
  readout->SetAutoSize(false);
  readout->setGeometry(kDialReadoutRect.Left, kDialReadoutRect.Top, kDialReadoutRect.Width,
                       kDialReadoutRect.Height);
  readout->SetSegmentColor(sevenseg::clLime);
  readout->SetShowOffSegments(false);
  readout->SetSegmentOffColor(sevenseg::clBlack);
  readout->SetPrecision(1);
  readout->SetDigitCount(5);
  return readout;
}

}  // namespace kelta::gfx

#pragma once
// The angle display: the dial view with its needle, the seven-segment readout inside it, and
// the two hidden views that hold the needle and dial pictures. It shows every angle the
// receive handler accepts and picks the dial picture when the sensor information has given
// the range and the direction mode. GUI thread only.

#include <QString>

#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace kelta::gfx {
class TDialComposer;
class TImage32;
}  // namespace kelta::gfx

namespace kelta::sevenseg {
class TiSevenSegmentAnalog;
}

namespace kelta {

class TFVANTORIS;

// The dial picture for a positive range text and a mode text (exact text comparison; the
// range has already had "0" turned into "3600"); none when the mode is not "0" to "3".
std::optional<std::string> DialPictureFor(const QString& positiveRange, const QString& mode);

// The needle angle for a received value: negated in direction modes "0" and "1" (exact text),
// unchanged otherwise, the empty mode before the first information reply included.
float DialAngleFor(double value, const QString& mode);

class AngleDisplay {
 public:
  // Creates Dst (on the console panel, with ssaValue inside), Src and ivBGR (on the window,
  // outside its client area), and attaches to the window's AngleReceived and DialSettingsRead.
  explicit AngleDisplay(TFVANTORIS& window);
  ~AngleDisplay();

  void ShowAngle(double value);
  void ChooseDialPicture(const QString& positiveRange, const QString& mode);
  // The dial and readout part of "Clear": needle and readout to 0.
  void Clear();

  gfx::TImage32* Dst = nullptr;
  gfx::TImage32* Src = nullptr;
  gfx::TImage32* ivBGR = nullptr;
  sevenseg::TiSevenSegmentAnalog* ssaValue = nullptr;

 private:
  TFVANTORIS& window_;
  std::unique_ptr<gfx::TDialComposer> composer_;
};

}  // namespace kelta

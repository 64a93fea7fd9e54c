#pragma once
// The angle display in Qt: the dial view with its needle, the seven-segment readout inside
// it, and the two hidden views that hold the needle and dial pictures; the view the form's
// angle display draws into. GUI thread only.

#include "console/form/AngleView.h"

#include <cstdint>

#include <memory>
#include <string>

class QWidget;

namespace kelta::gfx {
class DialComposer;
class TImage32;
}  // namespace kelta::gfx

namespace kelta::sevenseg {
class TiSevenSegmentAnalog;
}

namespace kelta {

class TFVANTORIS;

class AngleDisplay final : public IAngleView {
 public:
  // Creates Dst (on the console panel, with ssaValue inside), Src and ivBGR (on the window,
  // outside its client area).
  explicit AngleDisplay(TFVANTORIS& window);
  ~AngleDisplay() override;

  void LoadDialImages(const std::string& file) override;
  void ShowAngle(double value, const std::string& mode) override;
  // Not live: the readout's segments grey instead of lime, and a translucent veil washes out
  // the whole dial view with its needle.
  void SetLive(bool live) override;
  // Stale: the readout's segments dark green (grey wins while not live).
  void SetStale(bool stale) override;

  gfx::TImage32* Dst = nullptr;
  gfx::TImage32* Src = nullptr;
  gfx::TImage32* ivBGR = nullptr;
  sevenseg::TiSevenSegmentAnalog* ssaValue = nullptr;

 private:
  std::unique_ptr<gfx::DialComposer> composer_;
  void ShowState();

  bool live_ = true;
  bool stale_ = false;
  QWidget* veil_ = nullptr;      // child of Dst
  bool marked_ = false;          // the readout shows a not-current colour
  std::uint32_t liveColor_ = 0;  // the readout's segment colour while live and current
};

}  // namespace kelta

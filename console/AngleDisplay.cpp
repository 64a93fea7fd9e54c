// The angle display's views: the needle turned under the dial, and the readout.

#include "console/AngleDisplay.h"

#include "console/ClickablePanel.h"
#include "console/UKELTA_Display.h"
#include "graphics/dial/DialComposer.h"
#include "graphics/dial/DialReadout.h"

#include "sevenseg/SevenSegmentCanvas.h"
#include "sevenseg/iSevenSegmentAnalog.h"

namespace kelta {

namespace {

template <class W>
W* Place(W* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

}  // namespace

AngleDisplay::AngleDisplay(TFVANTORIS& window) {
  Dst = Place(new gfx::TImage32(window.Panel1), "Dst", 200, 272, 404, 404);
  // The two holders lie beyond the client area's right edge: never seen.
  Src = Place(new gfx::TImage32(&window), "Src", 792, 384, 313, 305);
  ivBGR = Place(new gfx::TImage32(&window), "ivBGR", 720, 112, 513, 521);

  ssaValue = gfx::CreateDialReadout(*Dst);
  ssaValue->setObjectName(QStringLiteral("ssaValue"));

  composer_ = std::make_unique<gfx::TDialComposer>(gfx::TDialViews{*Dst, *Src, *ivBGR});
}

AngleDisplay::~AngleDisplay() = default;

void AngleDisplay::LoadDialImages(const std::string& file) { composer_->LoadDialImages(file); }

void AngleDisplay::ShowAngle(double value, const std::string& mode) {
  ssaValue->SetValue(value);
  composer_->DrawDial(gfx::DialAngleFor(value, mode));
}

void AngleDisplay::SetLive(bool live) {
  if (live == live_) return;
  if (!live) liveColor_ = ssaValue->SegmentColor();
  ssaValue->SetSegmentColor(live ? liveColor_ : sevenseg::clGray);
  ssaValue->setToolTip(live ? QString() : QStringLiteral("Not live: the sensor's port is lost"));
  live_ = live;
}

}  // namespace kelta

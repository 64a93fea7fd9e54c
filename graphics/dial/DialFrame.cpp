#include "graphics/dial/DialFrame.h"

#include "graphics/dial/DialReadoutPaint.h"

#include <utility>

namespace kelta::gfx {

TDialFrame::TDialFrame(std::string NeedleFileName)
    : composer_({dst_, src_, ivBGR_}, std::move(NeedleFileName)) {
  // The console's sizes; only Dst's shows, and AutoSize fits it to every dial loaded.
  dst_.SetViewSize(kInitialSize, kInitialSize);
  src_.SetViewSize(313, 305);
  ivBGR_.SetViewSize(513, 521);
}

void TDialFrame::LoadDialImages(const std::string& FileName) {
  frameValid_ = false;
  composer_.LoadDialImages(FileName);
  // The load draws the needle at 0; the reading shown keeps its own.
  if (needleAngle_ != 0) composer_.DrawDial(needleAngle_);
}

void TDialFrame::ShowAngle(double Reading, std::string_view Mode) {
  reading_ = Reading;
  needleAngle_ = DialAngleFor(Reading, Mode);
  frameValid_ = false;
  composer_.DrawDial(needleAngle_);
}

void TDialFrame::SetLive(bool Live) {
  if (Live == live_) return;
  live_ = Live;
  frameValid_ = false;
}

void TDialFrame::SetStale(bool Stale) {
  if (Stale == stale_) return;
  stale_ = Stale;
  frameValid_ = false;
}

void TDialFrame::SetDecimalSeparator(char Separator) {
  if (Separator == decimalSeparator_) return;
  decimalSeparator_ = Separator;
  frameValid_ = false;
}

const TBitmap32& TDialFrame::Compose() {
  if (frameValid_ && dst_.BufferValid()) return frame_;
  dst_.ComposeBuffer();
  frame_.CopyFrom(dst_.Buffer());
  // The screen copy ignores alpha; so does this frame.
  frame_.ResetAlpha();
  PaintDialReadout(frame_, reading_, DialReadoutColor(live_, stale_), decimalSeparator_);
  if (!live_) VeilNotLive(frame_);
  frameValid_ = true;
  return frame_;
}

}  // namespace kelta::gfx

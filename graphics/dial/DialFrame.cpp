#include "graphics/dial/DialFrame.h"

#include "graphics/core/Blend.h"
#include "graphics/dial/DialReadoutPaint.h"

#include <cstring>
#include <utility>

namespace kelta::gfx {

DialFrame::DialFrame(std::string NeedleFileName)
    : composer_({dst_, src_, ivBGR_}, std::move(NeedleFileName)) {
  // The console's sizes; only Dst's shows, and AutoSize fits it to every dial loaded.
  dst_.SetViewSize(kInitialSize, kInitialSize);
  src_.SetViewSize(313, 305);
  ivBGR_.SetViewSize(513, 521);
}

void DialFrame::LoadDialImages(const std::string& FileName) {
  frameWhole_ = true;
  composer_.LoadDialImages(FileName);
  // The load draws the needle at 0; the reading shown keeps its own.
  if (needleAngle_ != 0) composer_.DrawDial(needleAngle_);
  FollowView();
}

void DialFrame::ShowAngle(double Reading, std::string_view Mode) {
  // Not ==: a NaN reading differs from itself, and so is painted again, harmlessly.
  if (!(Reading == reading_)) readoutChanged_ = true;
  reading_ = Reading;
  needleAngle_ = DialAngleFor(Reading, Mode);
  composer_.DrawDial(needleAngle_);
  FollowView();
}

void DialFrame::SetLive(bool Live) {
  if (Live == live_) return;
  live_ = Live;
  frameWhole_ = true;
  readoutChanged_ = true;
}

void DialFrame::SetStale(bool Stale) {
  if (Stale == stale_) return;
  stale_ = Stale;
  readoutChanged_ = true;
}

void DialFrame::SetDecimalSeparator(char Separator) {
  if (Separator == decimalSeparator_) return;
  decimalSeparator_ = Separator;
  readoutChanged_ = true;
}

void DialFrame::FollowView() {
  // Past this many areas one whole frame is cheaper than the bookkeeping.
  constexpr std::size_t kMaxAreas = 32;
  const std::uint64_t count = dst_.ComposeCount();
  if (count == seenComposeCount_) return;
  if (count == seenComposeCount_ + 1 && !frameWhole_) {
    const std::vector<TRect>& composed = dst_.ComposedAreas();
    areas_.insert(areas_.end(), composed.begin(), composed.end());
    if (areas_.size() > kMaxAreas) frameWhole_ = true;
  } else {
    // More compositions than noted: areas this frame cannot know.
    frameWhole_ = true;
  }
  seenComposeCount_ = count;
}

const TBitmap32& DialFrame::Compose() {
  FollowView();
  dst_.ComposeBuffer();
  FollowView();
  const TBitmap32& buffer = dst_.Buffer();
  if (frame_.Width() != buffer.Width() || frame_.Height() != buffer.Height()) frameWhole_ = true;
  if (!frameWhole_ && areas_.empty() && !readoutChanged_) return frame_;

  if (readoutChanged_) {
    readout_.SetSize(kDialReadoutRect.Width, kDialReadoutRect.Height);
    PaintDialReadoutAt(readout_, 0, 0, reading_, DialReadoutColor(live_, stale_),
                       decimalSeparator_);
  }
  if (frameWhole_) {
    frame_.SetSize(buffer.Width(), buffer.Height());
    areas_.assign(1, frame_.BoundsRect());
  } else if (readoutChanged_) {
    const DialReadoutRect& r = kDialReadoutRect;
    areas_.push_back({r.Left, r.Top, r.Left + r.Width, r.Top + r.Height});
  }
  for (const TRect& a : areas_) ComposeArea(a);
  areas_.clear();
  frameWhole_ = readoutChanged_ = false;
  return frame_;
}

void DialFrame::ComposeArea(const TRect& Area) {
  const TRect a = Intersect(Area, frame_.BoundsRect());
  if (a.IsEmpty()) return;
  const DialReadoutRect& r = kDialReadoutRect;
  const TRect readout = Intersect(a, {r.Left, r.Top, r.Left + r.Width, r.Top + r.Height});
  const TBitmap32& buffer = dst_.Buffer();
  for (int y = a.Top; y < a.Bottom; ++y) {
    const TColor32* from = buffer.ScanLine(y);
    TColor32* to = frame_.ScanLine(y);
    // The screen copy ignores alpha; so does this frame.
    for (int x = a.Left; x < a.Right; ++x) to[x] = from[x] | 0xFF000000u;
    if (y >= readout.Top && y < readout.Bottom && readout.Left < readout.Right) {
      const TColor32* digits = static_cast<const TBitmap32&>(readout_).ScanLine(y - r.Top);
      std::memcpy(to + readout.Left, digits + (readout.Left - r.Left),
                  static_cast<std::size_t>(readout.Width()) * sizeof(TColor32));
    }
    if (!live_)
      for (int x = a.Left; x < a.Right; ++x) to[x] = BlendColors(kNotLiveVeil, to[x]) | 0xFF000000u;
  }
}

}  // namespace kelta::gfx

#include "graphics/dial/DialFrame.h"

#include "graphics/core/Blend.h"
#include "graphics/core/Draw.h"
#include "graphics/core/Resamplers.h"
#include "graphics/dial/DialReadoutPaint.h"

#include <cstring>
#include <stdexcept>
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
  ++frameVersion_;
  return frame_;
}

namespace {

// Value * Numerator / Denominator to the nearest whole number, halves up (both positive).
int ScaleRounded(int Value, int Numerator, int Denominator) {
  const long long scaled = static_cast<long long>(Value) * Numerator + Denominator / 2;
  return static_cast<int>(scaled / Denominator);
}

}  // namespace

const TBitmap32& DialFrame::ComposeScaled(int Numerator, int Denominator) {
  if (Numerator <= 0 || Denominator <= 0)
    throw std::invalid_argument("DialFrame: the scale must be positive");
  const TBitmap32& whole = Compose();
  if (Numerator == Denominator) return whole;
  if (frameVersion_ == scaledFrom_ && Numerator == scaledNumerator_ &&
      Denominator == scaledDenominator_)
    return scaled_;

  auto scale = [&](int v) { return ScaleRounded(v, Numerator, Denominator); };
  // The frame with its edge pixels repeated once around it: the resampler weighs the pixels
  // at the frame's edge with their neighbours, which outside the frame are its edge again,
  // not the transparent black beyond a bitmap.
  const int w = frame_.Width();
  const int h = frame_.Height();
  if (w == 0 || h == 0) {
    scaled_.SetSize(0, 0);
    return scaled_;
  }
  edged_.SetSize(w + 2, h + 2);
  for (int y = -1; y <= h; ++y) {
    const TColor32* from = frame_.ScanLine(y < 0 ? 0 : (y == h ? h - 1 : y));
    TColor32* to = edged_.ScanLine(y + 1);
    std::memcpy(to + 1, from, static_cast<std::size_t>(w) * sizeof(TColor32));
    to[0] = from[0];
    to[w + 1] = from[w - 1];
  }
  const TRect to{0, 0, scale(w), scale(h)};
  scaled_.SetSize(to.Width(), to.Height());
  TLinearResampler linear(edged_);
  StretchDraw(&scaled_, to, to, &edged_, {1, 1, w + 1, h + 1}, linear, dmOpaque);

  const DialReadoutRect& r = kDialReadoutRect;
  const int left = scale(r.Left);
  const int top = scale(r.Top);
  const TRect readout{left, top, scale(r.Left + r.Width), scale(r.Top + r.Height)};
  PaintDialReadoutSized(scaled_, left, top, readout.Width(), readout.Height(), reading_,
                        DialReadoutColor(live_, stale_), decimalSeparator_);
  const TRect painted = Intersect(readout, scaled_.BoundsRect());
  for (int y = painted.Top; y < painted.Bottom; ++y) {
    TColor32* row = scaled_.ScanLine(y);
    for (int x = painted.Left; x < painted.Right; ++x)
      row[x] = (live_ ? row[x] : BlendColors(kNotLiveVeil, row[x])) | 0xFF000000u;
  }
  scaledNumerator_ = Numerator;
  scaledDenominator_ = Denominator;
  scaledFrom_ = frameVersion_;
  return scaled_;
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

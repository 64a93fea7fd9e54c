// DialFrame: the whole dial view without a window system, for a native window to blit. It owns
// the three views the composition works on (the visible dial view and the two that hold the
// needle and dial pictures), the readout's value and the marks, and composes dial, needle,
// readout and marks into one frame.
//
//   DialFrame frame;                       // needle from img/arrow2.PNG in the current folder
//   frame.LoadDialImages("img/Mode0.png");  // raises EFileOpenError / EPngError as the console
//   frame.ShowAngle(12.3, "0");             // readout 12.3, needle turned by -12.3 degrees
//   const TBitmap32& f = frame.Compose();   // f.Bits(): Width x Height 32-bit pixels
//
// The frame's pixels: TColor32 0xAARRGGBB in native 32-bit words, so B, G, R, A in memory on a
// little-endian machine (a top-down 32-bit DIB's BGRA); rows Width() pixels apart without
// padding, top row first; alpha 255 everywhere (opaque, so premultiplied and straight agree).
// Size: the dial picture's after a load (404 x 404 for the pictures in img/), 404 x 404 before.
//
// Threading: one thread at a time; nothing inside starts threads. Compose's result stays valid
// until the next call of any non-const member.
#pragma once

#include "graphics/core/Bitmap32.h"
#include "graphics/dial/DialComposer.h"
#include "graphics/view/ViewCore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelta::gfx {

class DialFrame {
 public:
  // The view's size before the first load; a load sizes it to the dial picture.
  static constexpr int kInitialSize = 404;

  explicit DialFrame(std::string NeedleFileName = kNeedleFileName);
  DialFrame(const DialFrame&) = delete;
  DialFrame& operator=(const DialFrame&) = delete;

  // Loads the needle and the dial picture (DialComposer::LoadDialImages: a failure raises and
  // leaves what had not been reached) and draws the needle for the value shown.
  void LoadDialImages(const std::string& FileName);
  // The readout shows Reading as received; the needle turns by DialAngleFor(Reading, Mode)
  // (the empty mode: by Reading itself).
  void ShowAngle(double Reading, std::string_view Mode = {});
  // Not live: readout segments grey and the whole view veiled (kNotLiveVeil).
  void SetLive(bool Live);
  // Stale: readout segments dark green; not live wins.
  void SetStale(bool Stale);
  // The readout's decimal mark: "." a period, anything else a comma. Default ".".
  void SetDecimalSeparator(char Separator);

  double Reading() const { return reading_; }
  bool Live() const { return live_; }
  bool Stale() const { return stale_; }
  int Width() const { return dst_.ViewWidth(); }
  int Height() const { return dst_.ViewHeight(); }

  // The composed frame (see the top of this file). Only what changed is redone, bit for bit
  // as a whole composition would give it: the view's areas recomposed (the needle's old and
  // new places), the readout when its value or colour changed; all of it after a load, a
  // change of size or of the live mark, or when the view was composed by someone else.
  const TBitmap32& Compose();
  // The frame drawn Numerator / Denominator times its size (a window's DPI over 96), each size
  // and place rounded to the nearest pixel, halves up: the dial and needle resampled from the
  // composed frame with the bilinear resampler, the readout laid out and painted afresh at
  // its scaled place so its digits stay sharp. At a scale of 1 it is Compose() itself, pixel
  // for pixel. Valid until the next call of any non-const member. Raises
  // std::invalid_argument for a scale that is not positive.
  const TBitmap32& ComposeScaled(int Numerator, int Denominator);

  // The parts, for tests and for callers that need more than the above.
  ViewCore& DialView() { return dst_; }
  DialComposer& Composer() { return composer_; }

 private:
  // Takes note of what the view composed since last asked (it composes at once whenever the
  // needle is drawn): its areas when it composed once, the whole frame when more often.
  void FollowView();
  // The frame over Area from the view's buffer: opaque, the readout kept apart put over
  // it, veiled when not live.
  void ComposeArea(const TRect& Area);

  ViewCore dst_, src_, ivBGR_;
  DialComposer composer_;
  TBitmap32 frame_;
  // The readout alone, at its own size.
  TBitmap32 readout_;
  // The last scaled frame, the scale it was drawn at and the composition it was drawn from.
  TBitmap32 scaled_;
  // The frame with a border of its own edge pixels, for the resampler.
  TBitmap32 edged_;
  int scaledNumerator_ = 0;
  int scaledDenominator_ = 0;
  std::uint64_t scaledFrom_ = 0;
  // Counts the compositions that changed frame_.
  std::uint64_t frameVersion_ = 0;
  // Frame areas to be made again from the view's buffer; overlaps are harmless, every area
  // is made afresh.
  std::vector<TRect> areas_;
  double reading_ = 0;
  float needleAngle_ = 0;
  bool live_ = true;
  bool stale_ = false;
  char decimalSeparator_ = '.';
  // The whole frame is to be composed again; the readout is to be painted again.
  bool frameWhole_ = true;
  bool readoutChanged_ = true;
  // The view's ComposeCount when the frame last took note of it.
  std::uint64_t seenComposeCount_ = 0;
};

}  // namespace kelta::gfx

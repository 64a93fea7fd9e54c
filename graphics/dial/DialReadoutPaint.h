// The angle readout in the dial view drawn without a window system: a five-digit seven-segment
// display with one decimal, lit segments on black with the unlit ones hidden, over the dial
// picture's readout window; the colours that mark a reading as not current; the veil over a
// view whose device is lost; and the needle angle for a reading. The Qt readout widget
// (DialReadout.h) shows the same digits in the same place.
//
// Threading: none of its own; the bitmap painted belongs to the caller's thread.
#pragma once

#include "graphics/core/Bitmap32.h"
#include "sevenseg/SevenSegmentCanvas.h"

#include <string_view>

namespace kelta::gfx {

// The readout's place in the dial view, in view pixels. Dial pictures leave a window there.
struct DialReadoutRect {
  int Left;
  int Top;
  int Width;
  int Height;
};
inline constexpr DialReadoutRect kDialReadoutRect{144, 221, 113, 36};

// Segment colours: current, stale (no reading for a while) and not live (device lost; wins
// over stale).
inline constexpr sevenseg::TColor kReadoutCurrentColor = sevenseg::clLime;
inline constexpr sevenseg::TColor kReadoutStaleColor = sevenseg::clGreen;
inline constexpr sevenseg::TColor kReadoutNotLiveColor = sevenseg::clGray;
sevenseg::TColor DialReadoutColor(bool Live, bool Stale);

// The window grey that washes out a view whose device is lost: plainly marked, still readable.
inline constexpr TColor32 kNotLiveVeil = 0x96F0F0F0u;

// Paints the readout showing Value (values above 1e15 show as 1e15, as the widget stores
// them) into Frame at kDialReadoutRect: black, then the lit segments in SegmentColor. Only the
// readout's rectangle is touched. DecimalSeparator "." draws a period, anything else a comma.
void PaintDialReadout(TCustomBitmap32& Frame, double Value, sevenseg::TColor SegmentColor,
                      char DecimalSeparator = '.');
// The same readout with its top-left corner at (Left, Top) of Frame: a readout kept apart in a
// bitmap of its own size (Left = Top = 0) has the pixels of the one painted in place.
void PaintDialReadoutAt(TCustomBitmap32& Frame, int Left, int Top, double Value,
                        sevenseg::TColor SegmentColor, char DecimalSeparator = '.');
// The same readout laid out anew in Width x Height pixels at (Left, Top): the digits of a
// dial drawn larger for a denser screen, as sharp as at the view's own size.
void PaintDialReadoutSized(TCustomBitmap32& Frame, int Left, int Top, int Width, int Height,
                           double Value, sevenseg::TColor SegmentColor,
                           char DecimalSeparator = '.');

// Blends kNotLiveVeil over every pixel of Frame (the graphics core's blend rule); the result
// is opaque.
void VeilNotLive(TCustomBitmap32& Frame);

// The needle angle for a reading the readout shows as received: negated in direction modes "0"
// and "1" (exact text), unchanged for any other mode text, the empty one before the sensor
// first reported its mode included.
float DialAngleFor(double reading, std::string_view mode);

}  // namespace kelta::gfx

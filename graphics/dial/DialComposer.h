// The dial composition: a needle picture turned about its pivot under a dial picture, in the
// dial view. The owner of the three views (the console's widgets, or DialFrame's own cores)
// passes them in.
//
//   Dst    the visible dial view; its bitmap is white with the turned needle, the dial is one
//          layer above it whose picture each LoadDialImages replaces.
//   Src    holds the needle bitmap (drawn with dmBlend through its bilinear resampler).
//   ivBGR  holds the dial bitmap last loaded.
//
// Threading: the views' thread only (the GUI thread when they are widgets).
#pragma once

#include "graphics/view/ViewCore.h"

#include <cstdint>
#include <string>

namespace kelta::gfx {

struct DialViews {
  ViewCore& Dst;
  ViewCore& Src;
  ViewCore& ivBGR;
};

// Needle geometry: its pivot inside the needle picture, and the shift after turning, which
// puts the pivot at (202, 200) of the view's bitmap.
constexpr float kNeedlePivotX = 12;
constexpr float kNeedlePivotY = 134;
constexpr float kNeedleShiftX = 190;
constexpr float kNeedleShiftY = 66;
constexpr TColor32 kDialClearColor = 0xFFFFFFFFu;
// Relative to the current folder.
inline constexpr const char* kNeedleFileName = "img/arrow2.PNG";

// The view settings the composition relies on (bitmap draw mode and resampler, alignment,
// scale, background colour, AutoSize); positions and sizes stay the window's business.
void SetupDialViews(const DialViews& Views);

class DialComposer {
 public:
  // Applies SetupDialViews. The views must outlive the composer.
  explicit DialComposer(const DialViews& Views, std::string NeedleFileName = kNeedleFileName);

  // Loads the needle into Src and FileName into ivBGR, sizes Dst's bitmap to the dial, puts
  // the dial into Dst's dial layer (created above the layers there on the first load, its
  // picture and placement replaced on every later one) and draws the needle at 0. A picture
  // that fails raises (EFileOpenError, EPngError) and leaves what had not been reached: a
  // failing dial file leaves the needle reloaded, but the dial layer as it was, and redraws
  // nothing. A failure while the layer is set up removes a layer made by this call.
  void LoadDialImages(const std::string& FileName);

  // Clears Dst's bitmap to white, draws the needle turned by Angle degrees (positive:
  // counter-clockwise on screen) and repaints Dst at once. Before any load it draws nothing.
  //
  // Only what a new angle changes is redone, with the pixels of a whole redraw: while Dst's
  // bitmap holds nothing but the white and the needle this composer drew last (its change
  // count says so), only the old and the new needle's areas are cleared, and only the view
  // areas showing them are recomposed and repainted; the same angle again redraws nothing
  // while the view is valid. Anything else (a first drawing, a resized or touched bitmap)
  // clears and repaints the whole.
  void DrawDial(float Angle);

  const std::string& NeedleFileName() const { return needleFileName_; }
  // The layer that shows the dial; nullptr before the first load.
  TBitmapLayer* DialLayer() const;

 private:
  ViewCore& dst_;
  ViewCore& src_;
  ViewCore& ivBGR_;
  std::string needleFileName_;
  // Lives in Dst's layer collection, which owns it.
  TBitmapLayer* dialLayer_ = nullptr;
  // What the last DrawDial left: the area of Dst's bitmap the needle may cover, the bitmap's
  // and the needle's change counts after it, and the angle; valid only while needleDrawn_.
  bool needleDrawn_ = false;
  TRect needleArea_;
  std::uint64_t bitmapCount_ = 0;
  std::uint64_t needleCount_ = 0;
  float angle_ = 0;
};

}  // namespace kelta::gfx

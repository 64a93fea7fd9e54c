// Runs of fully clear, fully opaque and other pixels in each row of a bitmap. A picture that
// is blended at its own size over and over (a dial layer, once per reading) need not be
// re-read where it is clear, nor blended where it is opaque: by the BlendRow rule a clear
// pixel leaves the destination and an opaque one replaces it exactly.
//
// For the other pixels the index remembers the last destination value each was blended over
// and the result. The blend is a pure function of the two pixels, so when the destination
// holds the same value again (the white under a dial, reading after reading) the remembered
// result is the rule's result; only changed pixels are blended again.
//
// The index describes the pixels at the time of Build; its owner rebuilds it whenever the
// bitmap's ChangeCount() has moved since.
#pragma once

#include "graphics/core/Bitmap32.h"

#include <cstdint>
#include <vector>

namespace kelta::gfx {

class TAlphaRunIndex {
 public:
  enum TKind : std::uint8_t { rkClear, rkOpaque, rkMixed };
  struct TRun {
    int Start;
    int Length;
    TKind Kind;
    std::size_t Memo;  // first entry of a mixed run in the remembered blends
  };

  void Build(const TCustomBitmap32& Bitmap);
  void Clear();
  bool Built() const { return built_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Runs of row Y, left to right, covering the whole row.
  const TRun* RowBegin(int Y) const {
    return runs_.data() + rowStart_[static_cast<std::size_t>(Y)];
  }
  const TRun* RowEnd(int Y) const {
    return runs_.data() + rowStart_[static_cast<std::size_t>(Y) + 1];
  }

  // The same pixels as BlendRow of every row of SrcRect of Src onto Dst at (DstX, DstY),
  // both rectangles already inside their bitmaps. Src must be the bitmap the index was
  // built from, unchanged since.
  void BlendRows(TCustomBitmap32& Dst, int DstX, int DstY, const TCustomBitmap32& Src,
                 const TRect& SrcRect);

 private:
  std::vector<TRun> runs_;
  std::vector<TColor32> memoBack_;    // destination value last blended under the pixel
  std::vector<TColor32> memoResult_;  // and what the blend gave
  std::vector<std::size_t> rowStart_;
  int width_ = 0;
  int height_ = 0;
  bool built_ = false;
};

}  // namespace kelta::gfx

#include "graphics/core/AlphaRuns.h"

#include "graphics/core/Blend.h"

#include <algorithm>
#include <cstring>

namespace kelta::gfx {

namespace {

// Clear or opaque stretches shorter than this are left to BlendRow with their neighbours:
// handing over many tiny runs costs more than blending them.
constexpr int kMinPlainRun = 8;

TAlphaRunIndex::TKind KindOf(TColor32 C) {
  const std::uint32_t a = C >> 24;
  return a == 0     ? TAlphaRunIndex::rkClear
         : a == 255 ? TAlphaRunIndex::rkOpaque
                    : TAlphaRunIndex::rkMixed;
}

}  // namespace

void TAlphaRunIndex::Clear() {
  runs_.clear();
  rowStart_.clear();
  memoBack_.clear();
  memoResult_.clear();
  width_ = height_ = 0;
  built_ = false;
}

void TAlphaRunIndex::Build(const TCustomBitmap32& Bitmap) {
  Clear();
  width_ = Bitmap.Width();
  height_ = Bitmap.Height();
  rowStart_.reserve(static_cast<std::size_t>(height_) + 1);
  std::vector<TRun> raw;
  for (int y = 0; y < height_; ++y) {
    rowStart_.push_back(runs_.size());
    const TColor32* row = Bitmap.ScanLine(y);
    raw.clear();
    for (int x = 0; x < width_;) {
      const TKind k = KindOf(row[x]);
      int e = x + 1;
      while (e < width_ && KindOf(row[e]) == k) ++e;
      raw.push_back({x, e - x, k, 0});
      x = e;
    }
    // Short plain runs join the mixed stretch around them; adjacent runs of one kind merge.
    for (TRun r : raw) {
      if (r.Kind != rkMixed && r.Length < kMinPlainRun) r.Kind = rkMixed;
      if (!runs_.empty() && runs_.size() > rowStart_.back() && runs_.back().Kind == r.Kind)
        runs_.back().Length += r.Length;
      else
        runs_.push_back(r);
    }
  }
  rowStart_.push_back(runs_.size());

  // Seed the remembered blends with the results over opaque white, the clear colour of
  // the dial view's bitmap.
  const auto blendPixel = BlendFuncs().BlendPixel;
  for (int y = 0; y < height_; ++y) {
    const TColor32* row = Bitmap.ScanLine(y);
    for (std::size_t i = rowStart_[static_cast<std::size_t>(y)];
         i < rowStart_[static_cast<std::size_t>(y) + 1]; ++i) {
      TRun& r = runs_[i];
      if (r.Kind != rkMixed) continue;
      r.Memo = memoBack_.size();
      for (int x = r.Start; x < r.Start + r.Length; ++x) {
        TColor32 result = 0xFFFFFFFFu;
        blendPixel(row[x], result);
        memoBack_.push_back(0xFFFFFFFFu);
        memoResult_.push_back(result);
      }
    }
  }
  built_ = true;
}

void TAlphaRunIndex::BlendRows(TCustomBitmap32& Dst, int DstX, int DstY, const TCustomBitmap32& Src,
                               const TRect& SrcRect) {
  const auto blendPixel = BlendFuncs().BlendPixel;
  for (int y = SrcRect.Top; y < SrcRect.Bottom; ++y) {
    const TColor32* s = Src.ScanLine(y);
    TColor32* d = Dst.ScanLine(DstY + (y - SrcRect.Top)) + (DstX - SrcRect.Left);
    for (const TRun* r = RowBegin(y); r != RowEnd(y); ++r) {
      const int from = std::max(r->Start, SrcRect.Left);
      const int to = std::min(r->Start + r->Length, SrcRect.Right);
      if (from >= to) continue;
      switch (r->Kind) {
        case rkClear:
          break;
        case rkOpaque:
          std::memcpy(d + from, s + from, static_cast<std::size_t>(to - from) * sizeof(TColor32));
          break;
        case rkMixed: {
          TColor32* back = memoBack_.data() + r->Memo + (from - r->Start);
          TColor32* result = memoResult_.data() + r->Memo + (from - r->Start);
          for (int x = from, k = 0; x < to; ++x, ++k) {
            const TColor32 b = d[x];
            if (b == back[k]) {
              d[x] = result[k];
              continue;
            }
            blendPixel(s[x], d[x]);
            back[k] = b;
            result[k] = d[x];
          }
          break;
        }
      }
    }
  }
}

}  // namespace kelta::gfx

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
  const std::uint32_t A = C >> 24;
  return A == 0     ? TAlphaRunIndex::rkClear
         : A == 255 ? TAlphaRunIndex::rkOpaque
                    : TAlphaRunIndex::rkMixed;
}

}  // namespace

void TAlphaRunIndex::Clear() {
  Runs_.clear();
  RowStart_.clear();
  MemoBack_.clear();
  MemoResult_.clear();
  Width_ = Height_ = 0;
  Built_ = false;
}

void TAlphaRunIndex::Build(const TCustomBitmap32& Bitmap) {
  Clear();
  Width_ = Bitmap.Width();
  Height_ = Bitmap.Height();
  RowStart_.reserve(static_cast<std::size_t>(Height_) + 1);
  std::vector<TRun> Raw;
  for (int Y = 0; Y < Height_; ++Y) {
    RowStart_.push_back(Runs_.size());
    const TColor32* Row = Bitmap.ScanLine(Y);
    Raw.clear();
    for (int X = 0; X < Width_;) {
      const TKind K = KindOf(Row[X]);
      int E = X + 1;
      while (E < Width_ && KindOf(Row[E]) == K) ++E;
      Raw.push_back({X, E - X, K, 0});
      X = E;
    }
    // Short plain runs join the mixed stretch around them; adjacent runs of one kind merge.
    for (TRun R : Raw) {
      if (R.Kind != rkMixed && R.Length < kMinPlainRun) R.Kind = rkMixed;
      if (!Runs_.empty() && Runs_.size() > RowStart_.back() && Runs_.back().Kind == R.Kind)
        Runs_.back().Length += R.Length;
      else
        Runs_.push_back(R);
    }
  }
  RowStart_.push_back(Runs_.size());

  // Seed the remembered blends with the results over opaque white, the clear colour of
  // the dial view's bitmap.
  const auto BlendPixel = BlendFuncs().BlendPixel;
  for (int Y = 0; Y < Height_; ++Y) {
    const TColor32* Row = Bitmap.ScanLine(Y);
    for (std::size_t I = RowStart_[static_cast<std::size_t>(Y)];
         I < RowStart_[static_cast<std::size_t>(Y) + 1]; ++I) {
      TRun& R = Runs_[I];
      if (R.Kind != rkMixed) continue;
      R.Memo = MemoBack_.size();
      for (int X = R.Start; X < R.Start + R.Length; ++X) {
        TColor32 Result = 0xFFFFFFFFu;
        BlendPixel(Row[X], Result);
        MemoBack_.push_back(0xFFFFFFFFu);
        MemoResult_.push_back(Result);
      }
    }
  }
  Built_ = true;
}

void TAlphaRunIndex::BlendRows(TCustomBitmap32& Dst, int DstX, int DstY, const TCustomBitmap32& Src,
                               const TRect& SrcRect) {
  const auto BlendPixel = BlendFuncs().BlendPixel;
  for (int Y = SrcRect.Top; Y < SrcRect.Bottom; ++Y) {
    const TColor32* S = Src.ScanLine(Y);
    TColor32* D = Dst.ScanLine(DstY + (Y - SrcRect.Top)) + (DstX - SrcRect.Left);
    for (const TRun* R = RowBegin(Y); R != RowEnd(Y); ++R) {
      const int From = std::max(R->Start, SrcRect.Left);
      const int To = std::min(R->Start + R->Length, SrcRect.Right);
      if (From >= To) continue;
      switch (R->Kind) {
        case rkClear:
          break;
        case rkOpaque:
          std::memcpy(D + From, S + From, static_cast<std::size_t>(To - From) * sizeof(TColor32));
          break;
        case rkMixed: {
          TColor32* Back = MemoBack_.data() + R->Memo + (From - R->Start);
          TColor32* Result = MemoResult_.data() + R->Memo + (From - R->Start);
          for (int X = From, K = 0; X < To; ++X, ++K) {
            const TColor32 B = D[X];
            if (B == Back[K]) {
              D[X] = Result[K];
              continue;
            }
            BlendPixel(S[X], D[X]);
            Back[K] = B;
            Result[K] = D[X];
          }
          break;
        }
      }
    }
  }
}

}  // namespace kelta::gfx

#include "graphics/core/Draw.h"

#include "graphics/core/Blend.h"

#include <cstring>

namespace kelta::gfx {

namespace {

// Floor and ceiling of A / B for B > 0.
inline long long FloorDiv(long long A, long long B) { return A >= 0 ? A / B : -((-A + B - 1) / B); }

inline long long CeilDiv(long long A, long long B) { return -FloorDiv(-A, B); }

}  // namespace

void BlockDraw(TCustomBitmap32& Dst, int DstX, int DstY, const TCustomBitmap32& Src, TRect SrcRect,
               TDrawMode Mode, const TPixelCombineEvent& Combine) {
  if (Mode == dmCustom && !Combine) Mode = dmOpaque;
  // Cut the source to its bitmap and the destination to its clip, moving the other along.
  const TRect s0 = SrcRect;
  SrcRect = Intersect(SrcRect, Src.BoundsRect());
  DstX += SrcRect.Left - s0.Left;
  DstY += SrcRect.Top - s0.Top;
  TRect d{DstX, DstY, DstX + SrcRect.Width(), DstY + SrcRect.Height()};
  const TRect dc = Intersect(d, Dst.ClipRect());
  if (SrcRect.IsEmpty() || dc.IsEmpty()) return;
  const int sx = SrcRect.Left + (dc.Left - d.Left);
  const int sy = SrcRect.Top + (dc.Top - d.Top);
  const int w = dc.Width();
  const std::uint32_t master = Src.MasterAlpha();
  const TColor32 outer = Src.OuterColor();
  const TBlendFuncs& funcs = BlendFuncs();
  for (int y = 0; y < dc.Height(); ++y) {
    const TColor32* s = Src.PixelPtr(sx, sy + y);
    TColor32* t = Dst.PixelPtr(dc.Left, dc.Top + y);
    switch (Mode) {
      case dmOpaque:
        std::memmove(t, s, static_cast<std::size_t>(w) * sizeof(TColor32));
        break;
      case dmBlend:
        if (master == 255)
          funcs.BlendRow(s, t, w);
        else
          funcs.BlendRowMaster(s, t, w, master);
        break;
      case dmTransparent:
        for (int x = 0; x < w; ++x)
          if (s[x] != outer) t[x] = s[x];
        break;
      case dmCustom:
        for (int x = 0; x < w; ++x) Combine(s[x], t[x], master);
        break;
    }
  }
}

void StretchDraw(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                 TRect SrcRect, TCustomResampler& Resampler, TDrawMode Mode,
                 const TPixelCombineEvent& Combine) {
  if (!Dst) throw EBitmapError("Destination bitmap is nil");
  if (!Src) throw EBitmapError("Source bitmap is nil");

  // A source rectangle reaching outside Src is cut, and DstRect shrinks in proportion:
  // left and top edges rounded up, right and bottom down, so nothing is drawn from outside.
  const long long sw = SrcRect.Width(), sh = SrcRect.Height();
  const long long dw = DstRect.Width(), dh = DstRect.Height();
  const TRect b = Src->BoundsRect();
  if (sw > 0 && sh > 0) {
    TRect d = DstRect;
    if (SrcRect.Left < b.Left)
      d.Left = static_cast<int>(DstRect.Left +
                                CeilDiv((b.Left - static_cast<long long>(SrcRect.Left)) * dw, sw));
    if (SrcRect.Top < b.Top)
      d.Top = static_cast<int>(DstRect.Top +
                               CeilDiv((b.Top - static_cast<long long>(SrcRect.Top)) * dh, sh));
    if (SrcRect.Right > b.Right)
      d.Right = static_cast<int>(
          DstRect.Right - CeilDiv((SrcRect.Right - static_cast<long long>(b.Right)) * dw, sw));
    if (SrcRect.Bottom > b.Bottom)
      d.Bottom = static_cast<int>(
          DstRect.Bottom - CeilDiv((SrcRect.Bottom - static_cast<long long>(b.Bottom)) * dh, sh));
    DstRect = d;
    SrcRect = Intersect(SrcRect, b);
  }

  if (Src->Empty() || Dst->Empty() || (Mode == dmBlend && Src->MasterAlpha() == 0) ||
      SrcRect.IsEmpty())
    return;
  DstClip = Intersect(Intersect(DstClip, Dst->BoundsRect()), DstRect);
  if (DstClip.IsEmpty()) return;
  if (Mode == dmCustom && !Combine) Mode = dmOpaque;

  if (DstRect.Width() == SrcRect.Width() && DstRect.Height() == SrcRect.Height()) {
    const TRect part{SrcRect.Left + (DstClip.Left - DstRect.Left),
                     SrcRect.Top + (DstClip.Top - DstRect.Top),
                     SrcRect.Left + (DstClip.Right - DstRect.Left),
                     SrcRect.Top + (DstClip.Bottom - DstRect.Top)};
    BlockDraw(*Dst, DstClip.Left, DstClip.Top, *Src, part, Mode, Combine);
  } else {
    Resampler.Resample(*Dst, DstRect, DstClip, SrcRect, Mode);
  }
  Dst->AreaChanged(DstRect);
}

}  // namespace kelta::gfx

// One dial reading's rendering work: DrawDial (clear the view bitmap to white, draw the needle
// turned about its pivot with the bilinear resampler) and the composition of the view's frame
// (bitmap copied, dial layer blended over it), which is what painting does before the copy
// to the screen. The same work done by pixman runs beside it for comparison.
//
// With the pictures of img/ at hand (run from the source folder or set KELTA_SOURCE_DIR) the
// frame goes through LoadDialImages / DrawDial; otherwise through the same core calls with
// pictures of the same shape drawn here.
#include "graphics/core/Bitmap32.h"
#include "graphics/core/Blend.h"
#include "graphics/core/Transformation.h"
#include "graphics/core/Transformer.h"
#include "graphics/view/Image32.h"
#include "graphics/view/Layers.h"

#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngLoader.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace kelta::gfx;

namespace {

constexpr float PivotX = 12, PivotY = 134, ShiftX = 190, ShiftY = 66;

// A needle of 25 x 150 with soft, partly transparent edges, pointing up.
void DrawNeedle(TBitmap32& B) {
  B.Resize(25, 150);
  for (int Y = 0; Y < 150; ++Y)
    for (int X = 0; X < 25; ++X) {
      const float Half = Y < 134 ? 1.5f + 9.0f * Y / 134.0f : 10.5f;
      const float D = Half - std::fabs(X - 12.0f);
      const float A = D <= 0 ? 0 : D >= 1.5f ? 1 : D / 1.5f;
      B.SetPixel(X, Y, Color32(200, 20, 20, static_cast<std::uint32_t>(A * 255 + 0.5f)));
    }
}

// A 404 x 404 dial: opaque face with a transparent window where the needle shows, a soft rim.
void DrawDialFace(TBitmap32& B) {
  B.Resize(404, 404);
  for (int Y = 0; Y < 404; ++Y)
    for (int X = 0; X < 404; ++X) {
      const float R = std::hypot(X - 202.0f, Y - 200.0f);
      std::uint32_t A = 255;
      if (R < 150)
        A = 0;
      else if (R < 154)
        A = static_cast<std::uint32_t>((R - 150) * 63);
      else if (R > 198)
        A = 0;
      const std::uint32_t Tick = (X * 7 + Y * 3) % 23 == 0 ? 40 : 230;
      B.SetPixel(X, Y, Color32(Tick, Tick, Tick, A));
    }
}

std::filesystem::path ImgDir() {
  const char* Dir = std::getenv("KELTA_SOURCE_DIR");
  return std::filesystem::path(Dir ? Dir : ".") / "img";
}

bool HavePictures() {
  return std::filesystem::exists(ImgDir() / "arrow2.PNG") &&
         std::filesystem::exists(ImgDir() / "Mode0.png");
}

void LoadPictures(TBitmap32& Needle, TBitmap32& Dial) {
  const std::filesystem::path Img = ImgDir();
  if (HavePictures()) {
    bool AlphaUsed = false;
    LoadPngFile(Needle, (Img / "arrow2.PNG").string(), AlphaUsed);
    LoadPngFile(Dial, (Img / "Mode0.png").string(), AlphaUsed);
    return;
  }
  DrawNeedle(Needle);
  DrawDialFace(Dial);
}

// The frame through the core calls DrawDial is made of.
struct TCoreScene {
  TImage32 View;
  TBitmap32 Needle;

  TCoreScene() {
    TBitmap32 Dial;
    LoadPictures(Needle, Dial);
    Needle.SetDrawMode(dmBlend);
    Needle.SetResamplerClassName("TLinearResampler");
    ClearBorderAlpha(Needle, Needle.BoundsRect());
    View.resize(404, 404);
    View.SetAutoSize(true);
    View.Bitmap().Resize(Dial.Width(), Dial.Height());
    TBitmapLayer& Layer = View.Layers().Add<TBitmapLayer>();
    Layer.Bitmap().CopyFrom(Dial);
    Layer.Bitmap().SetDrawMode(dmBlend);
    const float W = static_cast<float>(Dial.Width()), H = static_cast<float>(Dial.Height());
    const TPoint C = View.ViewToBitmap({View.width() / 2, View.height() / 2});
    Layer.SetLayerRect({C.X - W / 2, C.Y - H / 2, C.X + W / 2, C.Y + H / 2});
    Layer.SetScaled(true);
  }

  void Frame(float Angle) {
    TAffineTransformation T;
    T.SetSrcRect({0, 0, static_cast<float>(Needle.Width()), static_cast<float>(Needle.Height())});
    T.ResetToIdentity();
    T.RotateAbout(PivotX, PivotY, Angle);
    T.Translate(ShiftX, ShiftY);
    View.BeginUpdate();
    View.Bitmap().Fill(0xFFFFFFFF);
    DrawTransformed(View.Bitmap(), Needle, T);
    View.EndUpdate();
    View.Repaint();
    View.ComposeBuffer();
  }
  const TBitmap32& Buffer() const { return View.Buffer(); }
};

// The frame through the dial composition itself. The views stay hidden, so Repaint only
// invalidates; the composition painting would do follows explicitly.
struct TComposerScene {
  TImage32 Dst, Src, IvBGR;
  TDialComposer Composer{{Dst, Src, IvBGR}, (ImgDir() / "arrow2.PNG").string()};

  TComposerScene() {
    Dst.resize(404, 404);
    Composer.LoadDialImages((ImgDir() / "Mode0.png").string());
  }
  void Frame(float Angle) {
    Composer.DrawDial(Angle);
    Dst.ComposeBuffer();
  }
  const TBitmap32& Buffer() const { return Dst.Buffer(); }
};

float AngleOf(std::int64_t I) { return static_cast<float>((I * 37) % 360) - 180.0f; }

template <class TScene>
void RunFrames(benchmark::State& State, const char* Path) {
  TScene Scene;
  std::int64_t I = 0;
  for (auto _ : State) {
    Scene.Frame(AngleOf(I++));
    benchmark::DoNotOptimize(Scene.Buffer().Bits());
  }
  State.SetLabel(std::string(BlendFuncs().Name) + ", " + Path);
}

void BM_DialFrame(benchmark::State& State) {
  if (HavePictures()) {
    RunFrames<TComposerScene>(State, "DrawDial");
    return;
  }
  RunFrames<TCoreScene>(State, "core calls");
}
BENCHMARK(BM_DialFrame);

// pixman works on premultiplied pixels; the conversion is set-up, not per frame.
pixman_image_t* Premultiplied(const TBitmap32& B, std::vector<std::uint32_t>& Store) {
  Store.resize(static_cast<std::size_t>(B.Width()) * B.Height());
  for (std::size_t I = 0; I < Store.size(); ++I) {
    const TColor32 C = B.Bits()[I];
    const std::uint32_t A = C >> 24;
    auto Pm = [&](std::uint32_t V) { return (V * A + 127) / 255; };
    Store[I] =
        A << 24 | Pm(RedComponent(C)) << 16 | Pm(GreenComponent(C)) << 8 | Pm(BlueComponent(C));
  }
  return pixman_image_create_bits(PIXMAN_a8r8g8b8, B.Width(), B.Height(), Store.data(),
                                  B.Width() * 4);
}

void BM_DialFrame_Pixman(benchmark::State& State) {
  TBitmap32 Needle, Dial;
  LoadPictures(Needle, Dial);
  ClearBorderAlpha(Needle, Needle.BoundsRect());
  std::vector<std::uint32_t> NeedleStore, DialStore,
      DstStore(static_cast<std::size_t>(Dial.Width()) * Dial.Height());
  pixman_image_t* NeedleImg = Premultiplied(Needle, NeedleStore);
  pixman_image_t* DialImg = Premultiplied(Dial, DialStore);
  pixman_image_t* Dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, Dial.Width(), Dial.Height(),
                                                 DstStore.data(), Dial.Width() * 4);
  pixman_image_set_filter(NeedleImg, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(NeedleImg, PIXMAN_REPEAT_NONE);
  const pixman_color_t White{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  const pixman_box32_t Whole{0, 0, Dial.Width(), Dial.Height()};
  std::int64_t I = 0;
  for (auto _ : State) {
    TAffineTransformation T;
    const float NW = static_cast<float>(Needle.Width()), NH = static_cast<float>(Needle.Height());
    T.SetSrcRect({0, 0, NW, NH});
    T.RotateAbout(PivotX, PivotY, AngleOf(I++));
    T.Translate(ShiftX, ShiftY);
    T.Prepare();
    const TFixedMatrix& M = T.InverseFixedMatrix();
    pixman_transform_t PT;
    pixman_transform_init_identity(&PT);
    PT.matrix[0][0] = M[0][0];
    PT.matrix[0][1] = M[1][0];
    PT.matrix[0][2] = M[2][0];
    PT.matrix[1][0] = M[0][1];
    PT.matrix[1][1] = M[1][1];
    PT.matrix[1][2] = M[2][1];
    pixman_image_set_transform(NeedleImg, &PT);
    const TFloatRect B = T.TransformedBounds({0, 0, NW, NH});
    const int L = static_cast<int>(std::floor(B.Left)), Tp = static_cast<int>(std::floor(B.Top));
    const int R = static_cast<int>(std::ceil(B.Right)), Bt = static_cast<int>(std::ceil(B.Bottom));

    pixman_image_fill_boxes(PIXMAN_OP_SRC, Dst, &White, 1, &Whole);
    pixman_image_composite32(PIXMAN_OP_OVER, NeedleImg, nullptr, Dst, L, Tp, 0, 0, L, Tp, R - L,
                             Bt - Tp);
    pixman_image_composite32(PIXMAN_OP_OVER, DialImg, nullptr, Dst, 0, 0, 0, 0, 0, 0, Dial.Width(),
                             Dial.Height());
    benchmark::DoNotOptimize(DstStore.data());
  }
  pixman_image_unref(Dst);
  pixman_image_unref(DialImg);
  pixman_image_unref(NeedleImg);
}
BENCHMARK(BM_DialFrame_Pixman);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

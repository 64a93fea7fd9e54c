// One dial reading's rendering work, what painting does before the copy to the screen, beside
// the same work done by pixman.
//
//   BM_DialFrame          the console's road: DrawDial, then the view's buffer composed. A new
//                         angle clears and redraws only the needle's old and new areas of the
//                         view bitmap and recomposes only the view areas showing them (bit for
//                         bit the whole frame; the dial tests prove it).
//   BM_DialFrame_Full     the same frame composed whole by construction: the bitmap filled
//                         white, the needle drawn, the whole view composed (bitmap copied, dial
//                         layer blended over it); what BM_DialFrame measured before the dial was
//                         drawn only where it changed.
//   BM_DialFrame_Window   the Windows window's road: DialFrame's ShowAngle and Compose, with
//                         the readout (a new value every frame) in the frame.
//   BM_DialFrame_Pixman   pixman doing the whole frame: fill white, needle composited through
//                         the inverse transform with bilinear filtering, dial composited over.
//
// The pictures of img/ are used when at hand (run from the source folder or set
// KELTA_SOURCE_DIR); otherwise pictures of the same shape drawn here (written to a temporary
// folder for the roads that load files).
#include "graphics/core/Bitmap32.h"
#include "graphics/core/Blend.h"
#include "graphics/core/Transformation.h"
#include "graphics/core/Transformer.h"
#include "graphics/qt/Image32.h"
#include "graphics/view/Layers.h"

#include "graphics/dial/DialComposer.h"
#include "graphics/dial/DialFrame.h"
#include "graphics/png/PngLoader.h"
#include "graphics/png/PngWriter.h"

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
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 25; ++x) {
      const float half = y < 134 ? 1.5f + 9.0f * y / 134.0f : 10.5f;
      const float d = half - std::fabs(x - 12.0f);
      const float a = d <= 0 ? 0 : d >= 1.5f ? 1 : d / 1.5f;
      B.SetPixel(x, y, Color32(200, 20, 20, static_cast<std::uint32_t>(a * 255 + 0.5f)));
    }
}

// A 404 x 404 dial: opaque face with a transparent window where the needle shows, a soft rim.
void DrawDialFace(TBitmap32& B) {
  B.Resize(404, 404);
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x) {
      const float r = std::hypot(x - 202.0f, y - 200.0f);
      std::uint32_t a = 255;
      if (r < 150)
        a = 0;
      else if (r < 154)
        a = static_cast<std::uint32_t>((r - 150) * 63);
      else if (r > 198)
        a = 0;
      const std::uint32_t tick = (x * 7 + y * 3) % 23 == 0 ? 40 : 230;
      B.SetPixel(x, y, Color32(tick, tick, tick, a));
    }
}

std::filesystem::path ImgDir() {
  const char* dir = std::getenv("KELTA_SOURCE_DIR");
  return std::filesystem::path(dir ? dir : ".") / "img";
}

bool HavePictures() {
  return std::filesystem::exists(ImgDir() / "arrow2.PNG") &&
         std::filesystem::exists(ImgDir() / "Mode0.png");
}

// The needle and dial files: those of img/, or the drawn ones written once to a temporary
// folder.
struct DialPictureFiles {
  std::string Needle, Dial;
};

const DialPictureFiles& PictureFiles() {
  static const DialPictureFiles files = [] {
    if (HavePictures())
      return DialPictureFiles{(ImgDir() / "arrow2.PNG").string(),
                              (ImgDir() / "Mode0.png").string()};
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelta-bench-dial";
    std::filesystem::create_directories(dir);
    TBitmap32 needle, dial;
    DrawNeedle(needle);
    DrawDialFace(dial);
    DialPictureFiles f{(dir / "arrow2.PNG").string(), (dir / "Mode0.png").string()};
    SavePngFile(needle, f.Needle);
    SavePngFile(dial, f.Dial);
    return f;
  }();
  return files;
}

const char* PicturesLabel() { return HavePictures() ? "img/" : "drawn pictures"; }

void LoadPictures(TBitmap32& Needle, TBitmap32& Dial) {
  const std::filesystem::path img = ImgDir();
  if (HavePictures()) {
    bool alphaUsed = false;
    LoadPngFile(Needle, (img / "arrow2.PNG").string(), alphaUsed);
    LoadPngFile(Dial, (img / "Mode0.png").string(), alphaUsed);
    return;
  }
  DrawNeedle(Needle);
  DrawDialFace(Dial);
}

// The whole frame through the core calls DrawDial was made of before it drew only what changed.
struct CoreScene {
  TImage32 View;
  TBitmap32 Needle;

  CoreScene() {
    TBitmap32 dial;
    LoadPictures(Needle, dial);
    Needle.SetDrawMode(dmBlend);
    Needle.SetResamplerClassName("TLinearResampler");
    ClearBorderAlpha(Needle, Needle.BoundsRect());
    View.resize(404, 404);
    View.SetAutoSize(true);
    View.Bitmap().Resize(dial.Width(), dial.Height());
    TBitmapLayer& layer = View.Layers().Add<TBitmapLayer>();
    layer.Bitmap().CopyFrom(dial);
    layer.Bitmap().SetDrawMode(dmBlend);
    const float w = static_cast<float>(dial.Width()), h = static_cast<float>(dial.Height());
    const TPoint c = View.ViewToBitmap({View.width() / 2, View.height() / 2});
    layer.SetLayerRect({c.X - w / 2, c.Y - h / 2, c.X + w / 2, c.Y + h / 2});
    layer.SetScaled(true);
  }

  void Frame(float Angle) {
    TAffineTransformation t;
    t.SetSrcRect({0, 0, static_cast<float>(Needle.Width()), static_cast<float>(Needle.Height())});
    t.ResetToIdentity();
    t.RotateAbout(PivotX, PivotY, Angle);
    t.Translate(ShiftX, ShiftY);
    View.BeginUpdate();
    View.Bitmap().Fill(0xFFFFFFFF);
    DrawTransformed(View.Bitmap(), Needle, t);
    View.EndUpdate();
    View.Repaint();
    View.ComposeBuffer();
  }
  const TBitmap32& Buffer() const { return View.Buffer(); }
};

// The frame through the dial composition itself. The views stay hidden, so a repaint only
// invalidates; the composition painting would do follows explicitly.
struct ComposerScene {
  TImage32 Dst, Src, IvBGR;
  DialComposer Composer{{Dst, Src, IvBGR}, PictureFiles().Needle};

  ComposerScene() {
    Dst.resize(404, 404);
    Composer.LoadDialImages(PictureFiles().Dial);
  }
  void Frame(float Angle) {
    Composer.DrawDial(Angle);
    Dst.ComposeBuffer();
  }
  const TBitmap32& Buffer() const { return Dst.Buffer(); }
};

// The frame a native window blits: dial view and readout.
struct WindowScene {
  DialFrame Dial{PictureFiles().Needle};
  const TBitmap32* Last = nullptr;

  WindowScene() {
    Dial.LoadDialImages(PictureFiles().Dial);
    Last = &Dial.Compose();
  }
  void Frame(float Angle) {
    Dial.ShowAngle(Angle);
    Last = &Dial.Compose();
  }
  const TBitmap32& Buffer() const { return *Last; }
};

float AngleOf(std::int64_t I) { return static_cast<float>((I * 37) % 360) - 180.0f; }

template <class Scene>
void RunFrames(benchmark::State& State, const char* Path) {
  Scene scene;
  std::int64_t i = 0;
  for (auto _ : State) {
    scene.Frame(AngleOf(i++));
    benchmark::DoNotOptimize(scene.Buffer().Bits());
  }
  State.SetLabel(std::string(BlendFuncs().Name) + ", " + Path + ", " + PicturesLabel());
}

void BM_DialFrame(benchmark::State& State) { RunFrames<ComposerScene>(State, "DrawDial"); }
BENCHMARK(BM_DialFrame);

void BM_DialFrame_Full(benchmark::State& State) {
  RunFrames<CoreScene>(State, "whole frame, core calls");
}
BENCHMARK(BM_DialFrame_Full);

void BM_DialFrame_Window(benchmark::State& State) { RunFrames<WindowScene>(State, "DialFrame"); }
BENCHMARK(BM_DialFrame_Window);

// pixman works on premultiplied pixels; the conversion is set-up, not per frame.
pixman_image_t* Premultiplied(const TBitmap32& B, std::vector<std::uint32_t>& Store) {
  Store.resize(static_cast<std::size_t>(B.Width()) * B.Height());
  for (std::size_t i = 0; i < Store.size(); ++i) {
    const TColor32 c = B.Bits()[i];
    const std::uint32_t a = c >> 24;
    auto pm = [&](std::uint32_t V) { return (V * a + 127) / 255; };
    Store[i] =
        a << 24 | pm(RedComponent(c)) << 16 | pm(GreenComponent(c)) << 8 | pm(BlueComponent(c));
  }
  return pixman_image_create_bits(PIXMAN_a8r8g8b8, B.Width(), B.Height(), Store.data(),
                                  B.Width() * 4);
}

void BM_DialFrame_Pixman(benchmark::State& State) {
  TBitmap32 needle, dial;
  LoadPictures(needle, dial);
  ClearBorderAlpha(needle, needle.BoundsRect());
  std::vector<std::uint32_t> needleStore, dialStore,
      dstStore(static_cast<std::size_t>(dial.Width()) * dial.Height());
  pixman_image_t* needleImg = Premultiplied(needle, needleStore);
  pixman_image_t* dialImg = Premultiplied(dial, dialStore);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, dial.Width(), dial.Height(),
                                                 dstStore.data(), dial.Width() * 4);
  pixman_image_set_filter(needleImg, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(needleImg, PIXMAN_REPEAT_NONE);
  const pixman_color_t white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  const pixman_box32_t whole{0, 0, dial.Width(), dial.Height()};
  std::int64_t i = 0;
  for (auto _ : State) {
    TAffineTransformation t;
    const float nw = static_cast<float>(needle.Width()), nh = static_cast<float>(needle.Height());
    t.SetSrcRect({0, 0, nw, nh});
    t.RotateAbout(PivotX, PivotY, AngleOf(i++));
    t.Translate(ShiftX, ShiftY);
    t.Prepare();
    const TFixedMatrix& m = t.InverseFixedMatrix();
    pixman_transform_t pt;
    pixman_transform_init_identity(&pt);
    pt.matrix[0][0] = m[0][0];
    pt.matrix[0][1] = m[1][0];
    pt.matrix[0][2] = m[2][0];
    pt.matrix[1][0] = m[0][1];
    pt.matrix[1][1] = m[1][1];
    pt.matrix[1][2] = m[2][1];
    pixman_image_set_transform(needleImg, &pt);
    const TFloatRect b = t.TransformedBounds({0, 0, nw, nh});
    const int l = static_cast<int>(std::floor(b.Left)), tp = static_cast<int>(std::floor(b.Top));
    const int r = static_cast<int>(std::ceil(b.Right)), bt = static_cast<int>(std::ceil(b.Bottom));

    pixman_image_fill_boxes(PIXMAN_OP_SRC, dst, &white, 1, &whole);
    pixman_image_composite32(PIXMAN_OP_OVER, needleImg, nullptr, dst, l, tp, 0, 0, l, tp, r - l,
                             bt - tp);
    pixman_image_composite32(PIXMAN_OP_OVER, dialImg, nullptr, dst, 0, 0, 0, 0, 0, 0, dial.Width(),
                             dial.Height());
    benchmark::DoNotOptimize(dstStore.data());
  }
  pixman_image_unref(dst);
  pixman_image_unref(dialImg);
  pixman_image_unref(needleImg);
}
BENCHMARK(BM_DialFrame_Pixman);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

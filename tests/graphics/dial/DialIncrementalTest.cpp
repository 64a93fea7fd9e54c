// The dial drawn only where it changed is the dial drawn whole: seeded random sequences of
// readings (small and big steps, the same angle again, dial pictures reloaded, the live and
// stale marks coming and going) through DialFrame, every frame compared bit for bit with a
// whole recomposition of the same state by the plain steps (bitmap filled white, needle drawn,
// whole view composed, readout and veil over all of it). Small pictures keep the count high:
// the needle turns about (202, 200), so it leaves these dials at their edges, which the clipped
// areas must survive too. Runs on Linux and, under Wine, on Windows.
#include "graphics/core/Transformation.h"
#include "graphics/core/Transformer.h"
#include "graphics/dial/DialFrame.h"
#include "graphics/dial/DialReadoutPaint.h"
#include "graphics/png/PngWriter.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kelta::gfx {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define KELTA_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELTA_TEST_SANITIZED 1
#endif
#endif

// The proof's size; the sanitizers run each frame many times slower, so they check fewer.
constexpr int kSequences = 10000;
constexpr int kSequencesUnderSanitizer = 1000;
#ifdef KELTA_TEST_SANITIZED
constexpr int kSequencesRun = kSequencesUnderSanitizer;
#else
constexpr int kSequencesRun = kSequences;
#endif
constexpr int kFramesPerSequence = 3;

// A 25 x 150 needle with soft edges and a colour that changes along it, pointing up from
// (12, 134); a pixel of alpha 0 here and there, as bilinear sampling meets in real pictures.
void SaveNeedle(const std::string& File) {
  TBitmap32 b(25, 150);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 25; ++x) {
      const float half = y < 134 ? 1.5f + 9.0f * y / 134.0f : 10.5f;
      const float d = half - std::fabs(x - 12.0f);
      const float a = d <= 0 ? 0 : d >= 1.5f ? 1 : d / 1.5f;
      b.SetPixel(x, y,
                 Color32(200, static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(x * 9),
                         static_cast<std::uint32_t>(a * 255 + 0.5f)));
    }
  SavePngFile(b, File);
}

// A dial of W x H: clear, opaque and partly transparent pixels in a pattern, so that the
// needle shows through some, is hidden by some and is blended under the rest.
void SaveDial(const std::string& File, int W, int H, int Seed) {
  TBitmap32 b(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int kind = (x / 7 + y / 5 + Seed) % 6;
      const std::uint32_t a = kind < 3   ? 0
                              : kind < 5 ? 255
                                         : static_cast<std::uint32_t>(x + y) % 254 + 1;
      b.SetPixel(x, y,
                 Color32(static_cast<std::uint32_t>(x * 3 + Seed),
                         static_cast<std::uint32_t>(y * 5), 90, a));
    }
  SavePngFile(b, File);
}

// The frame for a state, by the plain whole steps, on views of its own that hold the same
// pictures.
class WholeFrame {
 public:
  explicit WholeFrame(const std::string& NeedleFile) : composer_({dst_, src_, ivBGR_}, NeedleFile) {
    dst_.SetViewSize(DialFrame::kInitialSize, DialFrame::kInitialSize);
    src_.SetViewSize(313, 305);
    ivBGR_.SetViewSize(513, 521);
  }
  void Load(const std::string& DialFile) { composer_.LoadDialImages(DialFile); }

  const TBitmap32& Frame(float Angle, double Reading, bool Live, bool Stale) {
    TBitmap32& needle = src_.Bitmap();
    TAffineTransformation t;
    t.SetSrcRect({0, 0, static_cast<float>(needle.Width()), static_cast<float>(needle.Height())});
    t.ResetToIdentity();
    t.RotateAbout(kNeedlePivotX, kNeedlePivotY, Angle);
    t.Translate(kNeedleShiftX, kNeedleShiftY);
    dst_.Bitmap().Fill(kDialClearColor);
    DrawTransformed(dst_.Bitmap(), needle, t);
    dst_.Invalidate();
    dst_.ComposeBuffer();
    frame_.CopyFrom(dst_.Buffer());
    frame_.ResetAlpha();
    PaintDialReadout(frame_, Reading, DialReadoutColor(Live, Stale));
    if (!Live) VeilNotLive(frame_);
    return frame_;
  }

 private:
  ViewCore dst_, src_, ivBGR_;
  DialComposer composer_;
  TBitmap32 frame_;
};

// Empty when equal; otherwise where they first differ.
std::string Difference(const TBitmap32& Got, const TBitmap32& Want) {
  if (Got.Width() != Want.Width() || Got.Height() != Want.Height())
    return "size " + std::to_string(Got.Width()) + "x" + std::to_string(Got.Height()) + " for " +
           std::to_string(Want.Width()) + "x" + std::to_string(Want.Height());
  const std::size_t row = static_cast<std::size_t>(Want.Width()) * sizeof(TColor32);
  for (int y = 0; y < Want.Height(); ++y) {
    if (std::memcmp(Got.ScanLine(y), Want.ScanLine(y), row) == 0) continue;
    for (int x = 0; x < Want.Width(); ++x)
      if (Got.Pixel(x, y) != Want.Pixel(x, y))
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
               std::to_string(Got.Pixel(x, y)) + " for " + std::to_string(Want.Pixel(x, y));
  }
  return {};
}

TEST(DialIncremental, EveryFrameOfRandomSequencesEqualsTheWholeRecomposition) {
  kelta::test::TempDir dir;
  const std::string needleFile = dir.File("needle.png");
  SaveNeedle(needleFile);
  // 216 x 216: the needle leaves at the right and bottom, the readout is cut; 180 x 240 cuts
  // the readout's right part off; 260 x 262 shows all of it.
  const std::vector<std::string> dials = {dir.File("a.png"), dir.File("b.png"), dir.File("c.png")};
  SaveDial(dials[0], 216, 216, 0);
  SaveDial(dials[1], 180, 240, 1);
  SaveDial(dials[2], 260, 262, 2);
  const char* const modes[] = {"", "0", "1", "3"};

  DialFrame frame(needleFile);
  WholeFrame whole(needleFile);
  std::size_t dialShown = 0;
  frame.LoadDialImages(dials[dialShown]);
  whole.Load(dials[dialShown]);
  double reading = 0;
  const char* mode = "";
  int reloads = 0, sameAngles = 0, marks = 0;
  for (int sequence = 0; sequence < kSequencesRun; ++sequence) {
    std::mt19937 random(static_cast<std::uint32_t>(sequence));
    std::uniform_int_distribution<int> action(0, 99);
    std::uniform_real_distribution<double> small(-2.0, 2.0), big(-400.0, 400.0);
    for (int step = 0; step < kFramesPerSequence; ++step) {
      const int a = action(random);
      frame.SetLive(true);
      if (a < 40) {
        reading += small(random);
      } else if (a < 75) {
        reading = big(random);
      } else if (a < 85) {
        ++sameAngles;  // the same reading again
      } else if (a < 88) {
        dialShown = static_cast<std::size_t>(random()) % dials.size();
        frame.LoadDialImages(dials[dialShown]);
        whole.Load(dials[dialShown]);
        ++reloads;
      } else if (a < 92) {
        frame.SetLive(false);  // for this frame: the veil is dear to compose whole
        ++marks;
      } else if (a < 96) {
        frame.SetStale(!frame.Stale());
        ++marks;
      } else {
        mode = modes[static_cast<std::size_t>(random()) % 4];
        reading = std::round(reading * 10) / 10;  // and a reading as the sensor sends it
      }
      frame.ShowAngle(reading, mode);
      const TBitmap32& got = frame.Compose();
      const TBitmap32& want =
          whole.Frame(DialAngleFor(reading, mode), reading, frame.Live(), frame.Stale());
      const std::string diff = Difference(got, want);
      ASSERT_TRUE(diff.empty()) << "sequence " << sequence << ", frame " << step << ": " << diff;
    }
  }
  // The mix happened.
  EXPECT_GT(reloads, kSequencesRun / 20);
  EXPECT_GT(sameAngles, kSequencesRun / 4);
  EXPECT_GT(marks, kSequencesRun / 5);
}

// The view composes at once whenever the needle is drawn; needles drawn past the frame (by the
// composer itself) leave areas the frame never heard of, and it must make all of it again.
TEST(DialIncremental, NeedlesDrawnPastTheFrameLeaveNoTrace) {
  kelta::test::TempDir dir;
  const std::string needleFile = dir.File("needle.png"), dialFile = dir.File("dial.png");
  SaveNeedle(needleFile);
  SaveDial(dialFile, 240, 240, 0);
  DialFrame frame(needleFile);
  WholeFrame whole(needleFile);
  frame.LoadDialImages(dialFile);
  whole.Load(dialFile);
  frame.ShowAngle(30);
  frame.Compose();
  frame.Composer().DrawDial(-60);
  frame.Composer().DrawDial(10);
  frame.DialView().ComposeBuffer();  // nothing left to compose
  frame.ShowAngle(100);
  EXPECT_EQ(Difference(frame.Compose(), whole.Frame(100, 100, true, false)), "");
  EXPECT_EQ(Difference(frame.Compose(), whole.Frame(100, 100, true, false)), "");
}

}  // namespace
}  // namespace kelta::gfx

// The angle display: which dial picture a range and mode choose, which way the needle turns,
// the readout, Clear, and a dial picture that cannot be loaded.

#include "tests/console/qt/SensorRig.h"
#include "tests/support/Fifo.h"

#include "console/qt/AngleDisplay.h"
#include "console/qt/WaitWithMessages.h"
#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngLoader.h"
#include "graphics/qt/DialReadout.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

namespace kelta::test {
namespace {

TEST(AngleDisplayTables, DialPictureByExactRangeAndModeText) {
  struct Case {
    const char* range;
    const char* mode;
    std::optional<std::string> file;
  };
  const Case cases[] = {
      {"3600", "0", "img/Mode0.png"},
      {"3600", "1", "img/Mode0.png"},
      {"3600", "2", "img/Mode2.png"},
      {"3600", "3", "img/Mode2.png"},
      {"1800", "0", "img/Mode1.png"},
      {"1800", "1", "img/Mode1.png"},
      {"1800", "2", "img/Mode3.png"},
      {"1800", "3", "img/Mode3.png"},
      // Only the exact text is a full turn.
      {" 3600", "1", "img/Mode1.png"},
      {"03600", "2", "img/Mode3.png"},
      {"", "0", "img/Mode1.png"},
      // Any other mode keeps the picture.
      {"3600", "5", std::nullopt},
      {"3600", "", std::nullopt},
      {"1800", "01", std::nullopt},
      {"1800", " 1", std::nullopt},
      {"1800", "a", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DialPictureFor(c.range, c.mode), c.file)
        << '"' << c.range << "\" \"" << c.mode << '"';
  }
}

TEST(AngleDisplayTables, NeedleIsNegatedInModesZeroAndOneOnly) {
  struct Case {
    const char* mode;
    double value;
    float angle;
  };
  const Case cases[] = {
      {"1", 12.3, -12.3f}, {"0", 12.3, -12.3f}, {"0", -200.5, 200.5f},
      {"2", 12.3, 12.3f},  {"3", -7.0, -7.0f},  {"", 45.0, 45.0f},
      {"01", 12.3, 12.3f}, {" 1", 12.3, 12.3f}, {"x", 1.0, 1.0f},
  };
  for (const Case& c : cases) EXPECT_EQ(gfx::DialAngleFor(c.value, c.mode), c.angle) << c.mode;
}

// A bitmap's pixels, comparable and copyable.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<gfx::TColor32> colors;
  bool operator==(const Pixels&) const = default;
};

Pixels Snapshot(const gfx::TBitmap32& b) {
  Pixels p{b.Width(), b.Height(), {}};
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) p.colors.push_back(b.Pixel(x, y));
  }
  return p;
}

// The dial as a fresh composer draws it: what the console's view must hold in its bitmap
// or, with `frame`, show once composed.
Pixels ReferenceDial(const std::string& dialFile, float angle, bool frame = false) {
  gfx::TImage32 dst, src, bgr;
  dst.resize(404, 404);
  src.resize(313, 305);
  bgr.resize(513, 521);
  gfx::DialComposer composer({dst, src, bgr});
  composer.LoadDialImages(dialFile);
  composer.DrawDial(angle);
  if (!frame) return Snapshot(dst.Bitmap());
  dst.ComposeBuffer();
  return Snapshot(dst.Buffer());
}

Pixels Frame(gfx::TImage32& view) {
  view.ComposeBuffer();
  return Snapshot(view.Buffer());
}

bool SamePixels(const gfx::TBitmap32& shown, const Pixels& expected) {
  return Snapshot(shown) == expected;
}

bool SamePicture(const gfx::TBitmap32& shown, const std::string& file) {
  gfx::TBitmap32 expected;
  bool alpha = false;
  gfx::LoadPngFile(expected, file, alpha);
  return SamePixels(shown, Snapshot(expected));
}

sim::SensorConfig Sensor(const char* mode, int positiveRange, double angle) {
  sim::SensorConfig c;
  c.settings.mode = mode;
  c.settings.positiveRange = positiveRange;
  c.fixedAngle = angle;
  return c;
}

TEST(AngleDisplay, InformationPicksTheDialAndEveryValueTurnsTheNeedle) {
  SensorRig rig(Sensor("1", 3600, 12.3));
  TFVANTORIS& w = rig.w();
  // Before any information: the readout shows the value, nothing is drawn.
  w.Form().AngleReceived.Raise(45.0);
  EXPECT_DOUBLE_EQ(w.ssaValue->Value(), 45.0);
  EXPECT_TRUE(w.Dst->Bitmap().Empty());

  ASSERT_TRUE(rig.Connect());
  EXPECT_TRUE(SamePicture(w.ivBGR->Bitmap(), "img/Mode0.png"));
  EXPECT_EQ(w.Dst->Layers().Count(), 1);
  EXPECT_TRUE(SamePixels(w.Dst->Bitmap(), ReferenceDial("img/Mode0.png", 0)));

  // Mode 1: the readout as received, the needle the other way.
  Type(w, "eCount", QStringLiteral("1"));
  Click(w, "btDATA");
  EXPECT_DOUBLE_EQ(w.ssaValue->Value(), 12.3);
  const Pixels clockwise = ReferenceDial("img/Mode0.png", -12.3f);
  ASSERT_NE(clockwise, ReferenceDial("img/Mode0.png", 12.3f));
  EXPECT_TRUE(SamePixels(w.Dst->Bitmap(), clockwise));

  // Mode 2 with a half range: another dial in place of the first, the needle as received.
  // The frame is what a fresh view shows: nothing of the full-turn scale under the partial.
  rig.sensor.Update([](sim::SensorConfig& c) {
    c.settings.mode = "2";
    c.settings.positiveRange = 1800;
  });
  Click(w, "btn10");
  EXPECT_TRUE(SamePicture(w.ivBGR->Bitmap(), "img/Mode3.png"));
  EXPECT_EQ(w.Dst->Layers().Count(), 1);
  Click(w, "btDATA");
  EXPECT_TRUE(SamePixels(w.Dst->Bitmap(), ReferenceDial("img/Mode3.png", 12.3f)));
  EXPECT_TRUE(Frame(*w.Dst) == ReferenceDial("img/Mode3.png", 12.3f, true));

  // A mode the table does not know keeps the picture.
  w.Form().ChooseDialPicture("3600", "5");
  EXPECT_EQ(w.Dst->Layers().Count(), 1);
  EXPECT_TRUE(SamePicture(w.ivBGR->Bitmap(), "img/Mode3.png"));

  // Clear: list, needle, readout and counter back to the start; nothing is sent.
  rig.sensor.ClearReceived();
  w.lCount->setText(QStringLiteral("4"));
  ASSERT_FALSE(MemoLines(w).isEmpty());
  Click(w, "btClear");
  EXPECT_TRUE(MemoLines(w).isEmpty());
  EXPECT_DOUBLE_EQ(w.ssaValue->Value(), 0.0);
  EXPECT_EQ(Text(w, "lCount"), QStringLiteral("1"));
  EXPECT_TRUE(SamePixels(w.Dst->Bitmap(), ReferenceDial("img/Mode3.png", 0)));
  WaitWithMessages(100);
  EXPECT_EQ(rig.Received(), "");
}

TEST(AngleDisplay, MissingDialPictureEndsConnectThroughTheExceptionHandler) {
  SensorRig rig(Sensor("2", 1800, 1.0));
  TFVANTORIS& w = rig.w();
  TempDir elsewhere;  // no img/ here
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.Path());
  const bool shown = rig.Connect();
  std::filesystem::current_path(home);

  EXPECT_FALSE(shown);
  EXPECT_TRUE(w.Panel2->isVisible());
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty());  // no "Can not connect"
  EXPECT_TRUE(w.StatusText(0).contains(QStringLiteral("arrow2.PNG")))
      << w.StatusText(0).toStdString();
  EXPECT_EQ(ReadLines(rig.dir.File("LogFile.Log")).size(), 1u);
  // Items up to the positive range are in, the later ones are not.
  EXPECT_EQ(Text(w, "lbePRange"), QStringLiteral("1800"));
  EXPECT_EQ(Text(w, "lbeMVGain"), QString());
}

// A folder with the needle and, as img/Mode3.png (what mode "2" with a half range picks),
// whatever Make puts there; made current while it lives.
class PictureFolder {
 public:
  template <class Make>
  explicit PictureFolder(Make make) : home_(std::filesystem::current_path()) {
    std::filesystem::create_directory(dir_.File("img"));
    std::filesystem::copy_file(SourceDir() + "img/arrow2.PNG", dir_.File("img/arrow2.PNG"));
    make(dir_.File("img/Mode3.png"));
    std::filesystem::current_path(dir_.Path());
  }
  ~PictureFolder() { std::filesystem::current_path(home_); }

 private:
  TempDir dir_;
  std::filesystem::path home_;
};

// A broken dial names its file in the status bar and the log; a bare "Read Error" after
// Connect reads like a fault of the serial line.
TEST(AngleDisplay, BrokenDialPictureIsNamedInTheError) {
  SensorRig rig(Sensor("2", 1800, 1.0));
  TFVANTORIS& w = rig.w();
  bool shown = true;
  {
    PictureFolder folder([](const std::string& path) { WriteFile(path, "\x89PNG\r\n"); });
    shown = rig.Connect();
  }
  EXPECT_FALSE(shown);
  const QString expected = QStringLiteral("Cannot load picture \"img/Mode3.png\". Read Error");
  EXPECT_TRUE(IsStampedLine(w.StatusText(0), expected)) << w.StatusText(0).toStdString();
  const std::vector<std::string> log = ReadLines(rig.dir.File("LogFile.Log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(IsStampedLine(QString::fromStdString(log[0]), expected)) << log[0];
}

// A FIFO in the dial's place is refused at once; it used to block Connect for good.
TEST(AngleDisplay, FifoInPlaceOfTheDialIsRefusedWithoutBlocking) {
  SensorRig rig(Sensor("2", 1800, 1.0));
  TFVANTORIS& w = rig.w();
  bool shown = true;
  bool blocked = false;
  {
    std::string fifo;
    PictureFolder folder([&](const std::string& path) {
      MakeFifo(path);
      fifo = path;
    });
    FifoGuard guard(fifo);
    shown = rig.Connect();
    blocked = guard.Finish();
  }
  EXPECT_FALSE(blocked);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(
      IsStampedLine(w.StatusText(0),
                    QStringLiteral("Cannot open file \"img/Mode3.png\". Not a regular file: FIFO")))
      << w.StatusText(0).toStdString();
}

}  // namespace
}  // namespace kelta::test

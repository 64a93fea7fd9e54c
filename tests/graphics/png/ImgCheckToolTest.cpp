// kelta-imgcheck: its one line per picture, the raw pixel dump, and failures.
#include "tests/graphics/png/PngTestWriter.h"
#include "tests/support/Fifo.h"
#include "tests/support/Files.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

#include "graphics/png/PngLoader.h"

#include <gtest/gtest.h>

namespace kelta::gfx {
namespace {

using kelta::test::RunTool;
using kelta::test::ShellQuote;

std::string Suite(const std::string& Name) { return std::string(KELTA_PNGSUITE_DIR) + "/" + Name; }

std::string ImgCheck(const std::string& Args) { return ShellQuote(KELTA_IMGCHECK) + " " + Args; }

// The counts are of the loaded pixels: a key-colour picture shows its clear pixels whatever
// its key (tbbn3p08: a palette entry of alpha 0 with a black key), a palette picture with
// several translucent entries loads opaque.
TEST(ImgCheckTool, PrintsSizeModeAlphaFlagAndTransparentPixels) {
  struct TCase {
    const char* File;
    const char* Line;
  };
  const TCase cases[] = {
      {"basn6a08.png", "32x32 mode=partial alpha_used=1 clear=32 translucent=960\n"},
      {"basn2c08.png", "32x32 mode=none alpha_used=0 clear=0 translucent=0\n"},
      {"tbwn0g16.png", "32x32 mode=key alpha_used=1 clear=453 translucent=0\n"},
      {"tbbn3p08.png", "32x32 mode=key alpha_used=1 clear=454 translucent=0\n"},
      {"tbrn2c08.png", "32x32 mode=key alpha_used=1 clear=453 translucent=0\n"},
      {"tm3n3p02.png", "32x32 mode=partial alpha_used=0 clear=0 translucent=0\n"},
      {"cdfn2c08.png", "8x32 mode=none alpha_used=0 clear=0 translucent=0\n"},
  };
  for (const TCase& c : cases) {
    const auto r = RunTool(ImgCheck(ShellQuote(Suite(c.File))));
    EXPECT_EQ(r.exitCode, 0) << c.File;
    EXPECT_EQ(r.out, c.Line) << c.File;
  }
}

// A dial saved with 256 colours: its transparent entry is red, and a second, opaque entry is
// red as well. The tool reports, and dumps, the one clear pixel the loader makes.
TEST(ImgCheckTool, ReportsTheClearPixelsOfAPaletteKey) {
  const kelta::test::TempDir dir;
  test::TestPng p;
  p.ColorType = 3;
  p.Width = 3;
  p.Palette = {{{255, 0, 0}}, {{0, 0, 255}}, {{255, 0, 0}}};
  p.PaletteAlpha = {0};
  p.Rows = {{0, 1, 2}};
  kelta::test::WriteFile(dir.File("dial.png"), test::EncodeTestPng(p));
  const auto r = RunTool(
      ImgCheck(ShellQuote(dir.File("dial.png")) + " --raw " + ShellQuote(dir.File("out.raw"))));
  EXPECT_EQ(r.out, "3x1 mode=key alpha_used=1 clear=1 translucent=0\n");
  EXPECT_EQ(kelta::test::ReadFile(dir.File("out.raw")),
            std::string("\xFF\xFF\xFF\x00\xFF\x00\x00\xFF\x00\x00\xFF\xFF", 12));
}

TEST(ImgCheckTool, RawDumpHoldsTheLoadedPixelsAsBgra) {
  const kelta::test::TempDir dir;
  const std::string raw = dir.File("out.raw");
  for (const char* file : {"basn6a08.png", "tbwn3p08.png", "s07n3p02.png"}) {
    const auto r = RunTool(ImgCheck(ShellQuote(Suite(file)) + " --raw " + ShellQuote(raw)));
    ASSERT_EQ(r.exitCode, 0) << file;
    const std::string bytes = kelta::test::ReadFile(raw);
    TBitmap32 b;
    bool alphaUsed = false;
    LoadPngFile(b, Suite(file), alphaUsed);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(b.Width()) * b.Height() * 4) << file;
    for (int i = 0; i < b.Width() * b.Height(); ++i) {
      const TColor32 p = b.Bits()[i];
      const auto* q = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * i;
      ASSERT_EQ(Color32(q[2], q[1], q[0], q[3]), p) << file << " pixel " << i;
    }
  }
}

TEST(ImgCheckTool, FailuresPrintTheErrorAndExit) {
  // A FIFO used to block the tool for good; the time limit turns that into exit code 124.
  const kelta::test::TempDir dir;
  const std::string fifo = dir.File("Mode3.png");
  kelta::test::MakeFifo(fifo);
  struct TCase {
    std::string Args;
    int Exit;
    std::string Err;
  };
  const TCase cases[] = {
      {ShellQuote(Suite("xs1n0g01.png")), 1,
       "Cannot load picture \"" + Suite("xs1n0g01.png") + "\". Not a PNG file\n"},
      {ShellQuote(Suite("xcsn0g01.png")), 1,
       "Cannot load picture \"" + Suite("xcsn0g01.png") + "\". IDAT: CRC error\n"},
      {"/nonexistent-kelta.png", 1,
       "Cannot open file \"/nonexistent-kelta.png\". No such file or directory\n"},
      {ShellQuote(fifo), 1, "Cannot open file \"" + fifo + "\". Not a regular file: FIFO\n"},
      {ShellQuote(Suite("basn0g08.png")) + " --raw /nonexistent-kelta/out.raw", 1,
       "Cannot create file \"/nonexistent-kelta/out.raw\". No such file or directory\n"},
      {"", 2, "usage: kelta-imgcheck FILE [--raw OUT]\n"},
      {"a.png b.png", 2, "usage: kelta-imgcheck FILE [--raw OUT]\n"},
  };
  for (const TCase& c : cases) {
    const auto r = RunTool("timeout 10 " + ImgCheck(c.Args));
    EXPECT_EQ(r.exitCode, c.Exit) << c.Args;
    EXPECT_EQ(r.err, c.Err) << c.Args;
  }
}

}  // namespace
}  // namespace kelta::gfx

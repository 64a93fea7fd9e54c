// kelta-imgcheck: its one line per picture, the raw pixel dump, and failures.
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

#include "graphics/png/PngLoader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace kelta::gfx {
namespace {

using kelta::test::RunTool;
using kelta::test::ShellQuote;

std::string Suite(const std::string& Name) { return std::string(KELTA_PNGSUITE_DIR) + "/" + Name; }

std::string ImgCheck(const std::string& Args) { return ShellQuote(KELTA_IMGCHECK) + " " + Args; }

TEST(ImgCheckTool, PrintsSizeModeAndAlphaFlag) {
  struct TCase {
    const char* File;
    const char* Line;
  };
  const TCase Cases[] = {
      {"basn6a08.png", "32x32 mode=partial alpha_used=1\n"},
      {"basn2c08.png", "32x32 mode=none alpha_used=0\n"},
      {"tbwn0g16.png", "32x32 mode=key alpha_used=1\n"},
      {"tm3n3p02.png", "32x32 mode=partial alpha_used=0\n"},
      {"cdfn2c08.png", "8x32 mode=none alpha_used=0\n"},
  };
  for (const TCase& C : Cases) {
    const auto R = RunTool(ImgCheck(ShellQuote(Suite(C.File))));
    EXPECT_EQ(R.exitCode, 0) << C.File;
    EXPECT_EQ(R.out, C.Line) << C.File;
  }
}

TEST(ImgCheckTool, RawDumpHoldsTheLoadedPixelsAsBgra) {
  const kelta::test::TempDir Dir;
  const std::string Raw = Dir.File("out.raw");
  for (const char* File : {"basn6a08.png", "tbwn3p08.png", "s07n3p02.png"}) {
    const auto R = RunTool(ImgCheck(ShellQuote(Suite(File)) + " --raw " + ShellQuote(Raw)));
    ASSERT_EQ(R.exitCode, 0) << File;
    std::ifstream F(Raw, std::ios::binary);
    const std::string Bytes((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
    TBitmap32 B;
    bool AlphaUsed = false;
    LoadPngFile(B, Suite(File), AlphaUsed);
    ASSERT_EQ(Bytes.size(), static_cast<size_t>(B.Width()) * B.Height() * 4) << File;
    for (int I = 0; I < B.Width() * B.Height(); ++I) {
      const TColor32 P = B.Bits()[I];
      const auto* Q = reinterpret_cast<const unsigned char*>(Bytes.data()) + 4 * I;
      ASSERT_EQ(Color32(Q[2], Q[1], Q[0], Q[3]), P) << File << " pixel " << I;
    }
  }
}

TEST(ImgCheckTool, FailuresPrintTheErrorAndExit) {
  struct TCase {
    std::string Args;
    int Exit;
    std::string Err;
  };
  const TCase Cases[] = {
      {ShellQuote(Suite("xs1n0g01.png")), 1, "Not a PNG file\n"},
      {ShellQuote(Suite("xcsn0g01.png")), 1, "IDAT: CRC error\n"},
      {"/nonexistent-kelta.png", 1,
       "Cannot open file \"/nonexistent-kelta.png\". No such file or directory\n"},
      {ShellQuote(Suite("basn0g08.png")) + " --raw /nonexistent-kelta/out.raw", 1,
       "Cannot create file \"/nonexistent-kelta/out.raw\". No such file or directory\n"},
      {"", 2, "usage: kelta-imgcheck FILE [--raw OUT]\n"},
      {"a.png b.png", 2, "usage: kelta-imgcheck FILE [--raw OUT]\n"},
  };
  for (const TCase& C : Cases) {
    const auto R = RunTool(ImgCheck(C.Args));
    EXPECT_EQ(R.exitCode, C.Exit) << C.Args;
    EXPECT_EQ(R.err, C.Err) << C.Args;
  }
}

}  // namespace
}  // namespace kelta::gfx

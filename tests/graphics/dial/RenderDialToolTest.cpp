// kelta-render-dial: the written picture is the composed view, opaque; failures exit non-zero.
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngLoader.h"

#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace kelta::gfx {
namespace {

namespace fs = std::filesystem;
using kelta::test::RunTool;
using kelta::test::ShellQuote;

class RenderDialToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* S = std::getenv("KELTA_SOURCE_DIR");
    ASSERT_NE(S, nullptr);
    Source_ = S;
  }

  fs::path Source_;
  kelta::test::TempDir Dir_;
  const std::string Out_ = Dir_.File("dial.png");
};

TEST_F(RenderDialToolTest, WritesTheComposedViewOpaque) {
  struct TCase {
    const char* Dial;
    float Angle;
    const char* AngleText;
  };
  for (const TCase& C : {TCase{"Mode0.png", 30, "30"}, TCase{"Mode3.png", -72.5f, "-72.5"}}) {
    SCOPED_TRACE(C.Dial);
    // Run from the source folder, so the needle comes from img/ there.
    const auto R =
        RunTool("cd " + ShellQuote(Source_.string()) + " && " + ShellQuote(KELTA_RENDER_DIAL) +
                " --dial img/" + C.Dial + " --angle " + C.AngleText + " --out " + ShellQuote(Out_));
    ASSERT_EQ(R.exitCode, 0) << R.err;

    TBitmap32 Written;
    bool AlphaUsed = false;
    LoadPngFile(Written, Out_, AlphaUsed);

    TImage32 Dst, Src, ivBGR;
    TDialComposer Composer({Dst, Src, ivBGR}, (Source_ / "img" / "arrow2.PNG").string());
    Composer.LoadDialImages((Source_ / "img" / C.Dial).string());
    Composer.DrawDial(C.Angle);
    Dst.ComposeBuffer();
    ASSERT_EQ(Written.Width(), Dst.Buffer().Width());
    ASSERT_EQ(Written.Height(), Dst.Buffer().Height());
    for (int I = 0; I < Written.Width() * Written.Height(); ++I)
      ASSERT_EQ(Written.Bits()[I], Dst.Buffer().Bits()[I] | 0xFF000000u) << I;
  }
}

TEST_F(RenderDialToolTest, FailuresExitNonZero) {
  struct TCase {
    std::string Args;
    int Exit;
    std::string ErrPart;
  };
  const std::string Needle = " --needle " + ShellQuote((Source_ / "img" / "arrow2.PNG").string());
  const TCase Cases[] = {
      {"--dial /nonexistent-kelta.png --angle 0 --out " + ShellQuote(Out_) + Needle, 1,
       "Cannot open file \"/nonexistent-kelta.png\". No such file or directory"},
      {"--dial " + ShellQuote((Source_ / "img" / "Mode0.png").string()) + " --angle 0 --out " +
           ShellQuote(Out_) + " --needle /nonexistent-kelta-needle.png",
       1, "Cannot open file \"/nonexistent-kelta-needle.png\""},
      {"--dial x.png --angle ten --out " + ShellQuote(Out_), 2, "usage:"},
      {"--dial x.png --out " + ShellQuote(Out_), 2, "usage:"},
      {"--dial x.png --angle 1 --out", 2, "usage:"},
  };
  for (const TCase& C : Cases) {
    const auto R = RunTool(ShellQuote(KELTA_RENDER_DIAL) + " " + C.Args);
    EXPECT_EQ(R.exitCode, C.Exit) << C.Args;
    EXPECT_NE(R.err.find(C.ErrPart), std::string::npos) << R.err;
    EXPECT_FALSE(fs::exists(Out_));
  }
}

}  // namespace
}  // namespace kelta::gfx

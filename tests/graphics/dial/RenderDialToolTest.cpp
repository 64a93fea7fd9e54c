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
    const char* s = std::getenv("KELTA_SOURCE_DIR");
    ASSERT_NE(s, nullptr);
    Source_ = s;
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
  for (const TCase& c : {TCase{"Mode0.png", 30, "30"}, TCase{"Mode3.png", -72.5f, "-72.5"}}) {
    SCOPED_TRACE(c.Dial);
    // Run from the source folder, so the needle comes from img/ there.
    const auto r =
        RunTool("cd " + ShellQuote(Source_.string()) + " && " + ShellQuote(KELTA_RENDER_DIAL) +
                " --dial img/" + c.Dial + " --angle " + c.AngleText + " --out " + ShellQuote(Out_));
    ASSERT_EQ(r.exitCode, 0) << r.err;

    TBitmap32 written;
    bool alphaUsed = false;
    LoadPngFile(written, Out_, alphaUsed);

    TImage32 dst, src, ivBGR;
    TDialComposer composer({dst, src, ivBGR}, (Source_ / "img" / "arrow2.PNG").string());
    composer.LoadDialImages((Source_ / "img" / c.Dial).string());
    composer.DrawDial(c.Angle);
    dst.ComposeBuffer();
    ASSERT_EQ(written.Width(), dst.Buffer().Width());
    ASSERT_EQ(written.Height(), dst.Buffer().Height());
    for (int i = 0; i < written.Width() * written.Height(); ++i)
      ASSERT_EQ(written.Bits()[i], dst.Buffer().Bits()[i] | 0xFF000000u) << i;
  }
}

TEST_F(RenderDialToolTest, FailuresExitNonZero) {
  struct TCase {
    std::string Args;
    int Exit;
    std::string ErrPart;
  };
  const std::string needle = " --needle " + ShellQuote((Source_ / "img" / "arrow2.PNG").string());
  const TCase cases[] = {
      {"--dial /nonexistent-kelta.png --angle 0 --out " + ShellQuote(Out_) + needle, 1,
       "Cannot open file \"/nonexistent-kelta.png\". No such file or directory"},
      {"--dial " + ShellQuote((Source_ / "img" / "Mode0.png").string()) + " --angle 0 --out " +
           ShellQuote(Out_) + " --needle /nonexistent-kelta-needle.png",
       1, "Cannot open file \"/nonexistent-kelta-needle.png\""},
      {"--dial x.png --angle ten --out " + ShellQuote(Out_), 2, "usage:"},
      {"--dial x.png --out " + ShellQuote(Out_), 2, "usage:"},
      {"--dial x.png --angle 1 --out", 2, "usage:"},
  };
  for (const TCase& c : cases) {
    const auto r = RunTool(ShellQuote(KELTA_RENDER_DIAL) + " " + c.Args);
    EXPECT_EQ(r.exitCode, c.Exit) << c.Args;
    EXPECT_NE(r.err.find(c.ErrPart), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Out_));
  }
}

}  // namespace
}  // namespace kelta::gfx

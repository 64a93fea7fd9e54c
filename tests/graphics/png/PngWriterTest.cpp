// Writing bitmaps as PNG: what the loader reads back, and failures to create the file.
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"
#include "graphics/png/PngWriter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kelta::gfx {
namespace {

TEST(PngWriter, LoaderReadsBackOpaquePixelsExactlyAndAlphaPixelsOverWhite) {
  TBitmap32 b(3, 2);
  const TColor32 pixels[6] = {0xFF000000u, 0xFF123456u, 0xFFFFFFFFu,
                              0x00123456u, 0x80000000u, 0x01FF0000u};
  for (int i = 0; i < 6; ++i) b.Bits()[i] = pixels[i];
  const kelta::test::TempDir dir;
  const std::string path = dir.File("written.png");
  SavePngFile(b, path);
  TBitmap32 l;
  bool alphaUsed = false;
  LoadPngFile(l, path, alphaUsed);
  ASSERT_EQ(l.Width(), 3);
  ASSERT_EQ(l.Height(), 2);
  EXPECT_TRUE(alphaUsed);
  const TColor32 want[6] = {0xFF000000u, 0xFF123456u, 0xFFFFFFFFu,
                            0x00FFFFFFu, 0x807F7F7Fu, 0x01FFFEFEu};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(l.Bits()[i], want[i]) << i;
}

TEST(PngWriter, UncreatableFileAndEmptyBitmapRaise) {
  TBitmap32 b(1, 1);
  try {
    SavePngFile(b, "/nonexistent-kelta/out.png");
    FAIL() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot create file \"/nonexistent-kelta/out.png\". No such file or directory");
  }
  TBitmap32 empty;
  EXPECT_THROW(SavePngFile(empty, "/tmp/kelta-never-written.png"), EPngError);
  EXPECT_FALSE(std::filesystem::exists("/tmp/kelta-never-written.png"));
}

}  // namespace
}  // namespace kelta::gfx

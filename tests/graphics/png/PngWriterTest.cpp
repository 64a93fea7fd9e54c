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
  TBitmap32 B(3, 2);
  const TColor32 Pixels[6] = {0xFF000000u, 0xFF123456u, 0xFFFFFFFFu,
                              0x00123456u, 0x80000000u, 0x01FF0000u};
  for (int I = 0; I < 6; ++I) B.Bits()[I] = Pixels[I];
  const kelta::test::TempDir Dir;
  const std::string Path = Dir.File("written.png");
  SavePngFile(B, Path);
  TBitmap32 L;
  bool AlphaUsed = false;
  LoadPngFile(L, Path, AlphaUsed);
  ASSERT_EQ(L.Width(), 3);
  ASSERT_EQ(L.Height(), 2);
  EXPECT_TRUE(AlphaUsed);
  const TColor32 Want[6] = {0xFF000000u, 0xFF123456u, 0xFFFFFFFFu,
                            0x00FFFFFFu, 0x807F7F7Fu, 0x01FFFEFEu};
  for (int I = 0; I < 6; ++I) EXPECT_EQ(L.Bits()[I], Want[I]) << I;
}

TEST(PngWriter, UncreatableFileAndEmptyBitmapRaise) {
  TBitmap32 B(1, 1);
  try {
    SavePngFile(B, "/nonexistent-kelta/out.png");
    FAIL() << "no error";
  } catch (const EFileOpenError& E) {
    EXPECT_STREQ(E.what(),
                 "Cannot create file \"/nonexistent-kelta/out.png\". No such file or directory");
  }
  TBitmap32 Empty;
  EXPECT_THROW(SavePngFile(Empty, "/tmp/kelta-never-written.png"), EPngError);
  EXPECT_FALSE(std::filesystem::exists("/tmp/kelta-never-written.png"));
}

}  // namespace
}  // namespace kelta::gfx

// How decoded pictures become bitmap pixels: the three transparency modes, the composite over
// white, the key-colour and alpha restoration, and what failures leave behind.
#include "tests/graphics/png/PngTestWriter.h"

#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kelta::gfx {
namespace {

using test::EncodeTestPng;
using test::TTestPng;

struct TLoaded {
  TBitmap32 Bitmap;
  bool AlphaUsed = false;
};

void Load(TLoaded& L, const TTestPng& P) {
  std::istringstream S(EncodeTestPng(P));
  L.AlphaUsed = !L.AlphaUsed;  // must be overwritten
  LoadPngStream(L.Bitmap, S, L.AlphaUsed);
}

TTestPng Rgb(std::vector<std::vector<std::uint16_t>> Rows, int Depth = 8) {
  TTestPng P;
  P.ColorType = 2;
  P.BitDepth = Depth;
  P.Height = static_cast<int>(Rows.size());
  P.Width = static_cast<int>(Rows[0].size() / 3);
  P.Rows = std::move(Rows);
  return P;
}

TEST(PngTransparency, RgbWithoutTransparencyIsOpaque) {
  TLoaded L;
  Load(L, Rgb({{255, 0, 0, 1, 2, 3}, {0, 0, 0, 255, 255, 255}}));
  ASSERT_EQ(L.Bitmap.Width(), 2);
  ASSERT_EQ(L.Bitmap.Height(), 2);
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(L.Bitmap.Pixel(1, 0), 0xFF010203u);
  EXPECT_EQ(L.Bitmap.Pixel(0, 1), 0xFF000000u);
  EXPECT_EQ(L.Bitmap.Pixel(1, 1), 0xFFFFFFFFu);
  EXPECT_FALSE(L.AlphaUsed);
}

TEST(PngTransparency, AlphaPicturesAreCompositedOverWhiteThenGetTheirAlphaBack) {
  struct TCase {
    std::uint16_t R, G, B, A;
    TColor32 Expected;
  };
  const TCase Cases[] = {
      {255, 0, 0, 0, 0x00FFFFFFu},      // colour lost under alpha 0
      {0, 0, 0, 128, 0x807F7F7Fu},      // (0*128 + 127*255 + 255) >> 8 = 127
      {10, 200, 77, 255, 0xFF0AC84Du},  // opaque keeps its colour exactly
      {255, 255, 255, 1, 0x01FFFFFFu}, {0, 0, 0, 1, 0x01FEFEFEu},  // (254*255 + 255) >> 8 = 254
      {100, 0, 0, 200, 0xC8853737u},  // (100*200 + 55*255 + 255) >> 8 = 133
  };
  for (const TCase& C : Cases) {
    TTestPng P;
    P.ColorType = 6;
    P.Rows = {{C.R, C.G, C.B, C.A}};
    TLoaded L;
    Load(L, P);
    EXPECT_EQ(L.Bitmap.Pixel(0, 0), C.Expected) << C.R << "," << C.G << "," << C.B << "," << C.A;
    EXPECT_TRUE(L.AlphaUsed);
  }
}

TEST(PngTransparency, GreyAlphaTakesItsOwnAlphaSamples) {
  TTestPng P;
  P.ColorType = 4;
  P.Width = 3;
  P.Rows = {{0, 128, 255, 0, 200, 255}};
  TLoaded L;
  Load(L, P);
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), 0x807F7F7Fu);
  EXPECT_EQ(L.Bitmap.Pixel(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(L.Bitmap.Pixel(2, 0), 0xFFC8C8C8u);
  EXPECT_TRUE(L.AlphaUsed);
}

TEST(PngTransparency, WhiteKeyMakesEveryWhitePixelTransparentUpToTheLastRowAndColumn) {
  // 16-bit, so that white pixels that are not the key exist: 0xFFFE reads as 255 too.
  TTestPng P = Rgb({{0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0xFFFE, 0xFFFF, 0xFFFF},
                    {0x1234, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
                   16);
  P.KeyColor = std::array<std::uint16_t, 3>{0xFFFF, 0xFFFF, 0xFFFF};
  TLoaded L;
  Load(L, P);
  EXPECT_TRUE(L.AlphaUsed);
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(L.Bitmap.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(L.Bitmap.Pixel(2, 0), 0x00FFFFFFu) << "white but not the key: transparent as well";
  EXPECT_EQ(L.Bitmap.Pixel(0, 1), 0xFF120000u);
  EXPECT_EQ(L.Bitmap.Pixel(1, 1), 0x00FFFFFFu);
  EXPECT_EQ(L.Bitmap.Pixel(2, 1), 0x00FFFFFFu) << "last row and last column";
}

TEST(PngTransparency, NonWhiteKeyLeavesKeyedPixelsOpaqueWhite) {
  TTestPng P = Rgb({{0, 255, 0, 0, 254, 0, 255, 255, 255}});
  P.KeyColor = std::array<std::uint16_t, 3>{0, 255, 0};
  TLoaded L;
  Load(L, P);
  EXPECT_TRUE(L.AlphaUsed);
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(L.Bitmap.Pixel(1, 0), 0xFF00FE00u);
  EXPECT_EQ(L.Bitmap.Pixel(2, 0), 0xFFFFFFFFu);
}

TEST(PngTransparency, GreyKeyIsComparedAtTheFilesDepth) {
  // 2-bit grey, key 3 (white): keyed pixels and nothing else end up transparent white.
  TTestPng P;
  P.ColorType = 0;
  P.BitDepth = 2;
  P.Width = 4;
  P.Rows = {{0, 1, 2, 3}};
  P.KeyColor = std::array<std::uint16_t, 3>{3, 0, 0};
  TLoaded L;
  Load(L, P);
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(L.Bitmap.Pixel(1, 0), 0xFF555555u);
  EXPECT_EQ(L.Bitmap.Pixel(2, 0), 0xFFAAAAAAu);
  EXPECT_EQ(L.Bitmap.Pixel(3, 0), 0x00FFFFFFu);
  EXPECT_TRUE(L.AlphaUsed);
}

TTestPng Palette(std::vector<std::uint8_t> Alpha) {
  TTestPng P;
  P.ColorType = 3;
  P.Width = 4;
  P.Palette = {{{200, 0, 0}}, {{0, 0, 0}}, {{0, 0, 200}}, {{255, 255, 255}}};
  P.PaletteAlpha = std::move(Alpha);
  P.Rows = {{0, 1, 2, 3}};
  return P;
}

TEST(PngTransparency, PaletteWithTwoTranslucentEntriesIsOpaqueComposite) {
  TLoaded L;
  Load(L, Palette({128, 255, 64}));
  for (int X = 0; X < 4; ++X) EXPECT_EQ(AlphaComponent(L.Bitmap.Pixel(X, 0)), 255u) << X;
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), Color32((200 * 128 + 127 * 255 + 255) >> 8, 127, 127));
  EXPECT_EQ(L.Bitmap.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(L.Bitmap.Pixel(2, 0), Color32(191, 191, (200 * 64 + 191 * 255 + 255) >> 8));
  EXPECT_EQ(L.Bitmap.Pixel(3, 0), 0xFFFFFFFFu);
  EXPECT_FALSE(L.AlphaUsed);
}

TEST(PngTransparency, PaletteKeyColourIsTheFirstFullyTransparentEntryOrBlack) {
  struct TCase {
    std::vector<std::uint8_t> Alpha;
    TPngTransparencyMode Mode;
    TColor32 Key;
  };
  const TCase Cases[] = {
      {{}, TPngTransparencyMode::None, 0},
      {{255, 255, 255, 0}, TPngTransparencyMode::KeyColor, 0xFFFFFFFFu},
      {{255, 255, 0}, TPngTransparencyMode::KeyColor, 0xFF0000C8u},
      {{90}, TPngTransparencyMode::KeyColor, 0xFF000000u},  // one translucent entry, no 0
      {{255, 255, 255, 255}, TPngTransparencyMode::Partial, 0},
      {{0, 255, 0}, TPngTransparencyMode::Partial, 0},
  };
  for (const TCase& C : Cases) {
    std::istringstream S(EncodeTestPng(Palette(C.Alpha)));
    const TPngPicture Pic = ReadPngStream(S);
    EXPECT_EQ(Pic.Mode, C.Mode) << C.Alpha.size();
    if (C.Mode == TPngTransparencyMode::KeyColor) {
      EXPECT_EQ(Pic.KeyColor, C.Key);
    }
  }
}

TEST(PngTransparency, PaletteKeyMasksByColour) {
  TLoaded L;
  Load(L, Palette({255, 255, 255, 0}));  // key white: entry 3
  EXPECT_EQ(L.Bitmap.Pixel(0, 0), 0xFFC80000u);
  EXPECT_EQ(L.Bitmap.Pixel(3, 0), 0x00FFFFFFu);
  EXPECT_TRUE(L.AlphaUsed);

  TLoaded Black;
  Load(Black, Palette({90}));  // key black: the black entry is not drawn, stays white
  EXPECT_EQ(Black.Bitmap.Pixel(0, 0), 0xFFC80000u) << "the translucent entry is drawn opaque";
  EXPECT_EQ(Black.Bitmap.Pixel(1, 0), 0xFFFFFFFFu);
  EXPECT_TRUE(Black.AlphaUsed);
}

void Fill3x2(TBitmap32& B) {
  B.SetSize(3, 2);
  for (int I = 0; I < 6; ++I) B.Bits()[I] = 0x11223300u + static_cast<TColor32>(I);
  B.SetDrawMode(dmBlend);
  B.SetMasterAlpha(77);
  B.SetOuterColor(0x12345678u);
}

void ExpectUntouched(const TBitmap32& B) {
  ASSERT_EQ(B.Width(), 3);
  ASSERT_EQ(B.Height(), 2);
  for (int I = 0; I < 6; ++I) EXPECT_EQ(B.Bits()[I], 0x11223300u + static_cast<TColor32>(I));
}

TEST(PngLoading, SuccessReplacesPixelsButKeepsDrawingSettings) {
  TBitmap32 B;
  Fill3x2(B);
  B.SetResamplerClassName("TLinearResampler");
  std::istringstream S(EncodeTestPng(Rgb({{1, 2, 3}})));
  bool AlphaUsed = true;
  LoadPngStream(B, S, AlphaUsed);
  EXPECT_EQ(B.Width(), 1);
  EXPECT_EQ(B.Pixel(0, 0), 0xFF010203u);
  EXPECT_EQ(B.DrawMode(), dmBlend);
  EXPECT_EQ(B.MasterAlpha(), 77u);
  EXPECT_EQ(B.OuterColor(), 0x12345678u);
  EXPECT_EQ(B.ResamplerClassName(), "TLinearResampler");
  EXPECT_FALSE(AlphaUsed);
}

TEST(PngLoading, MissingFileNamesFileAndReasonAndTouchesNothing) {
  TBitmap32 B;
  Fill3x2(B);
  bool AlphaUsed = true;
  try {
    LoadPngFile(B, "/nonexistent-kelta/needle.png", AlphaUsed);
    FAIL() << "no error";
  } catch (const EFileOpenError& E) {
    EXPECT_STREQ(E.what(),
                 "Cannot open file \"/nonexistent-kelta/needle.png\". No such file or directory");
  }
  EXPECT_THROW(LoadPngFile(B, "/tmp", AlphaUsed), EFileOpenError);
  ExpectUntouched(B);
  EXPECT_TRUE(AlphaUsed);
}

TEST(PngLoading, InvalidDataRaisesTheDecodersErrorAndTouchesNothing) {
  const std::string Good = EncodeTestPng(Rgb({{1, 2, 3, 4, 5, 6}}));
  struct TCase {
    std::string Data;
    const char* Message;  // nullptr: any decoder message
  };
  std::string BadCrc = Good;
  BadCrc[29] ^= 1;  // inside the IHDR CRC
  const TCase Cases[] = {
      {"", "Read Error"},
      {"GIF89a", nullptr},
      {Good.substr(0, Good.size() / 2), "Read Error"},
      {Good.substr(0, Good.size() - 12), "Read Error"},  // IEND missing
      {BadCrc, "IHDR: CRC error"},
      {test::HeaderOnlyPng(kPngMaxDimension + 1, 1, 8, 2), nullptr},
      {test::HeaderOnlyPng(1, 0x7FFFFFFF, 8, 0), nullptr},
      {test::HeaderOnlyPng(kPngMaxDimension, kPngMaxDimension, 8, 6),
       "Image is too large (8192x8192)"},
  };
  for (const TCase& C : Cases) {
    TBitmap32 B;
    Fill3x2(B);
    bool AlphaUsed = true;
    std::istringstream S(C.Data);
    try {
      LoadPngStream(B, S, AlphaUsed);
      ADD_FAILURE() << "no error for case of " << C.Data.size() << " bytes";
    } catch (const EPngError& E) {
      if (C.Message) {
        EXPECT_STREQ(E.what(), C.Message);
      }
      EXPECT_STRNE(E.what(), "");
    }
    ExpectUntouched(B);
    EXPECT_TRUE(AlphaUsed);
  }
}

}  // namespace
}  // namespace kelta::gfx

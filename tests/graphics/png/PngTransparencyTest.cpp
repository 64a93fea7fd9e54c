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
using test::TestPng;

struct Loaded {
  TBitmap32 Bitmap;
  bool AlphaUsed = false;
};

void Load(Loaded& L, const TestPng& P) {
  std::istringstream s(EncodeTestPng(P));
  L.AlphaUsed = !L.AlphaUsed;  // must be overwritten
  LoadPngStream(L.Bitmap, s, L.AlphaUsed);
}

TestPng Rgb(std::vector<std::vector<std::uint16_t>> Rows, int Depth = 8) {
  TestPng p;
  p.ColorType = 2;
  p.BitDepth = Depth;
  p.Height = static_cast<int>(Rows.size());
  p.Width = static_cast<int>(Rows[0].size() / 3);
  p.Rows = std::move(Rows);
  return p;
}

TEST(PngTransparency, RgbWithoutTransparencyIsOpaque) {
  Loaded l;
  Load(l, Rgb({{255, 0, 0, 1, 2, 3}, {0, 0, 0, 255, 255, 255}}));
  ASSERT_EQ(l.Bitmap.Width(), 2);
  ASSERT_EQ(l.Bitmap.Height(), 2);
  EXPECT_EQ(l.Bitmap.Pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(l.Bitmap.Pixel(1, 0), 0xFF010203u);
  EXPECT_EQ(l.Bitmap.Pixel(0, 1), 0xFF000000u);
  EXPECT_EQ(l.Bitmap.Pixel(1, 1), 0xFFFFFFFFu);
  EXPECT_FALSE(l.AlphaUsed);
}

TEST(PngTransparency, AlphaPicturesAreCompositedOverWhiteThenGetTheirAlphaBack) {
  struct TCase {
    std::uint16_t R, G, B, A;
    TColor32 Expected;
  };
  const TCase cases[] = {
      {255, 0, 0, 0, 0x00FFFFFFu},      // colour lost under alpha 0
      {0, 0, 0, 128, 0x807F7F7Fu},      // (0*128 + 127*255 + 255) >> 8 = 127
      {10, 200, 77, 255, 0xFF0AC84Du},  // opaque keeps its colour exactly
      {255, 255, 255, 1, 0x01FFFFFFu}, {0, 0, 0, 1, 0x01FEFEFEu},  // (254*255 + 255) >> 8 = 254
      {100, 0, 0, 200, 0xC8853737u},  // (100*200 + 55*255 + 255) >> 8 = 133
  };
  for (const TCase& c : cases) {
    TestPng p;
    p.ColorType = 6;
    p.Rows = {{c.R, c.G, c.B, c.A}};
    Loaded l;
    Load(l, p);
    EXPECT_EQ(l.Bitmap.Pixel(0, 0), c.Expected) << c.R << "," << c.G << "," << c.B << "," << c.A;
    EXPECT_TRUE(l.AlphaUsed);
  }
}

TEST(PngTransparency, GreyAlphaTakesItsOwnAlphaSamples) {
  TestPng p;
  p.ColorType = 4;
  p.Width = 3;
  p.Rows = {{0, 128, 255, 0, 200, 255}};
  Loaded l;
  Load(l, p);
  EXPECT_EQ(l.Bitmap.Pixel(0, 0), 0x807F7F7Fu);
  EXPECT_EQ(l.Bitmap.Pixel(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(l.Bitmap.Pixel(2, 0), 0xFFC8C8C8u);
  EXPECT_TRUE(l.AlphaUsed);
}

TEST(PngTransparency, WhiteKeyClearsTheKeyedPixelsOnlyUpToTheLastRowAndColumn) {
  // 16-bit, so that white pixels that are not the key exist: 0xFFFE reads as 255 too.
  TestPng p = Rgb({{0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0xFFFE, 0xFFFF, 0xFFFF},
                   {0x1234, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
                  16);
  p.KeyColor = std::array<std::uint16_t, 3>{0xFFFF, 0xFFFF, 0xFFFF};
  Loaded l;
  Load(l, p);
  EXPECT_TRUE(l.AlphaUsed);
  EXPECT_EQ(l.Bitmap.Pixel(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(l.Bitmap.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(l.Bitmap.Pixel(2, 0), 0xFFFFFFFFu) << "white but not the key: opaque";
  EXPECT_EQ(l.Bitmap.Pixel(0, 1), 0xFF120000u);
  EXPECT_EQ(l.Bitmap.Pixel(1, 1), 0x00FFFFFFu);
  EXPECT_EQ(l.Bitmap.Pixel(2, 1), 0x00FFFFFFu) << "last row and last column";
}

// Any key colour, not only white: the keyed pixels become clear (white colour bytes, as an
// alpha picture's clear pixels), the others keep their colour, opaque.
TEST(PngTransparency, NonWhiteKeyClearsTheKeyedPixels) {
  TestPng p = Rgb({{0, 255, 0, 0, 254, 0, 255, 255, 255}});
  p.KeyColor = std::array<std::uint16_t, 3>{0, 255, 0};
  Loaded l;
  Load(l, p);
  EXPECT_TRUE(l.AlphaUsed);
  EXPECT_EQ(l.Bitmap.Pixel(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(l.Bitmap.Pixel(1, 0), 0xFF00FE00u);
  EXPECT_EQ(l.Bitmap.Pixel(2, 0), 0xFFFFFFFFu);
}

TEST(PngTransparency, GreyKeyIsComparedAtTheFilesDepth) {
  // 2-bit grey, key 3 (white): keyed pixels and nothing else end up transparent white.
  TestPng p;
  p.ColorType = 0;
  p.BitDepth = 2;
  p.Width = 4;
  p.Rows = {{0, 1, 2, 3}};
  p.KeyColor = std::array<std::uint16_t, 3>{3, 0, 0};
  Loaded l;
  Load(l, p);
  EXPECT_EQ(l.Bitmap.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(l.Bitmap.Pixel(1, 0), 0xFF555555u);
  EXPECT_EQ(l.Bitmap.Pixel(2, 0), 0xFFAAAAAAu);
  EXPECT_EQ(l.Bitmap.Pixel(3, 0), 0x00FFFFFFu);
  EXPECT_TRUE(l.AlphaUsed);
}

TestPng Palette(std::vector<std::uint8_t> Alpha) {
  TestPng p;
  p.ColorType = 3;
  p.Width = 4;
  p.Palette = {{{200, 0, 0}}, {{0, 0, 0}}, {{0, 0, 200}}, {{255, 255, 255}}};
  p.PaletteAlpha = std::move(Alpha);
  p.Rows = {{0, 1, 2, 3}};
  return p;
}

TEST(PngTransparency, PaletteWithTwoTranslucentEntriesIsOpaqueComposite) {
  Loaded l;
  Load(l, Palette({128, 255, 64}));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(AlphaComponent(l.Bitmap.Pixel(x, 0)), 255u) << x;
  EXPECT_EQ(l.Bitmap.Pixel(0, 0), Color32((200 * 128 + 127 * 255 + 255) >> 8, 127, 127));
  EXPECT_EQ(l.Bitmap.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(l.Bitmap.Pixel(2, 0), Color32(191, 191, (200 * 64 + 191 * 255 + 255) >> 8));
  EXPECT_EQ(l.Bitmap.Pixel(3, 0), 0xFFFFFFFFu);
  EXPECT_FALSE(l.AlphaUsed);
}

TEST(PngTransparency, PaletteKeyColourIsTheFirstFullyTransparentEntryOrBlack) {
  struct TCase {
    std::vector<std::uint8_t> Alpha;
    PngTransparencyMode Mode;
    TColor32 Key;
  };
  const TCase cases[] = {
      {{}, PngTransparencyMode::None, 0},
      {{255, 255, 255, 0}, PngTransparencyMode::KeyColor, 0xFFFFFFFFu},
      {{255, 255, 0}, PngTransparencyMode::KeyColor, 0xFF0000C8u},
      {{90}, PngTransparencyMode::KeyColor, 0xFF000000u},  // one translucent entry, no 0
      {{255, 255, 255, 255}, PngTransparencyMode::Partial, 0},
      {{0, 255, 0}, PngTransparencyMode::Partial, 0},
  };
  for (const TCase& c : cases) {
    std::istringstream s(EncodeTestPng(Palette(c.Alpha)));
    const PngPicture pic = ReadPngStream(s);
    EXPECT_EQ(pic.Mode, c.Mode) << c.Alpha.size();
    if (c.Mode == PngTransparencyMode::KeyColor) {
      EXPECT_EQ(pic.KeyColor, c.Key);
    }
  }
}

// A 256-colour picture with one transparent entry (the usual way to save a dial with a
// palette): the pixels of that entry, and only they, become clear, whatever its colour; an
// opaque entry of the same colour stays opaque.
TEST(PngTransparency, PaletteKeyClearsThePixelsOfTheTransparentEntry) {
  struct TCase {
    std::vector<std::uint8_t> Alpha;
    std::array<TColor32, 4> Expected;
  };
  const TCase cases[] = {
      {{255, 255, 255, 0}, {0xFFC80000u, 0xFF000000u, 0xFF0000C8u, 0x00FFFFFFu}},
      {{255, 255, 0}, {0xFFC80000u, 0xFF000000u, 0x00FFFFFFu, 0xFFFFFFFFu}},
      {{0}, {0x00FFFFFFu, 0xFF000000u, 0xFF0000C8u, 0xFFFFFFFFu}},
      // One translucent entry and none clear: nothing is marked transparent.
      {{90}, {0xFFC80000u, 0xFF000000u, 0xFF0000C8u, 0xFFFFFFFFu}},
  };
  for (const TCase& c : cases) {
    Loaded l;
    Load(l, Palette(c.Alpha));
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(l.Bitmap.Pixel(x, 0), c.Expected[static_cast<std::size_t>(x)])
          << "tRNS of " << c.Alpha.size() << " entries, pixel " << x;
    EXPECT_TRUE(l.AlphaUsed);
  }

  // Entries 1 and 3 share the colour (0, 0, 200); only entry 1 is transparent.
  TestPng p = Palette({255, 0});
  p.Palette[1] = {{0, 0, 200}};
  p.Palette.push_back({{0, 0, 200}});
  p.Width = 5;
  p.Rows = {{0, 1, 2, 3, 4}};
  Loaded same;
  Load(same, p);
  EXPECT_EQ(same.Bitmap.Pixel(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(same.Bitmap.Pixel(4, 0), 0xFF0000C8u) << "opaque entry of the key's colour";
}

void Fill3x2(TBitmap32& B) {
  B.SetSize(3, 2);
  for (int i = 0; i < 6; ++i) B.Bits()[i] = 0x11223300u + static_cast<TColor32>(i);
  B.SetDrawMode(dmBlend);
  B.SetMasterAlpha(77);
  B.SetOuterColor(0x12345678u);
}

void ExpectUntouched(const TBitmap32& B) {
  ASSERT_EQ(B.Width(), 3);
  ASSERT_EQ(B.Height(), 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(B.Bits()[i], 0x11223300u + static_cast<TColor32>(i));
}

TEST(PngLoading, SuccessReplacesPixelsButKeepsDrawingSettings) {
  TBitmap32 b;
  Fill3x2(b);
  b.SetResamplerClassName("TLinearResampler");
  std::istringstream s(EncodeTestPng(Rgb({{1, 2, 3}})));
  bool alphaUsed = true;
  LoadPngStream(b, s, alphaUsed);
  EXPECT_EQ(b.Width(), 1);
  EXPECT_EQ(b.Pixel(0, 0), 0xFF010203u);
  EXPECT_EQ(b.DrawMode(), dmBlend);
  EXPECT_EQ(b.MasterAlpha(), 77u);
  EXPECT_EQ(b.OuterColor(), 0x12345678u);
  EXPECT_EQ(b.ResamplerClassName(), "TLinearResampler");
  EXPECT_FALSE(alphaUsed);
}

TEST(PngLoading, MissingFileNamesFileAndReasonAndTouchesNothing) {
  TBitmap32 b;
  Fill3x2(b);
  bool alphaUsed = true;
  try {
    LoadPngFile(b, "/nonexistent-kelta/needle.png", alphaUsed);
    FAIL() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot open file \"/nonexistent-kelta/needle.png\". No such file or directory");
  }
  EXPECT_THROW(LoadPngFile(b, "/tmp", alphaUsed), EFileOpenError);
  ExpectUntouched(b);
  EXPECT_TRUE(alphaUsed);
}

TEST(PngLoading, InvalidDataRaisesTheDecodersErrorAndTouchesNothing) {
  const std::string good = EncodeTestPng(Rgb({{1, 2, 3, 4, 5, 6}}));
  struct TCase {
    std::string Data;
    const char* Message;  // nullptr: any decoder message
  };
  std::string badCrc = good;
  badCrc[29] ^= 1;  // inside the IHDR CRC
  const TCase cases[] = {
      {"", "Read Error"},
      {"GIF89a", nullptr},
      {good.substr(0, good.size() / 2), "Read Error"},
      {good.substr(0, good.size() - 12), "Read Error"},  // IEND missing
      {badCrc, "IHDR: CRC error"},
      {test::HeaderOnlyPng(kPngMaxDimension + 1, 1, 8, 2), nullptr},
      {test::HeaderOnlyPng(1, 0x7FFFFFFF, 8, 0), nullptr},
      {test::HeaderOnlyPng(kPngMaxDimension, kPngMaxDimension, 8, 6),
       "Image is too large (8192x8192)"},
  };
  for (const TCase& c : cases) {
    TBitmap32 b;
    Fill3x2(b);
    bool alphaUsed = true;
    std::istringstream s(c.Data);
    try {
      LoadPngStream(b, s, alphaUsed);
      ADD_FAILURE() << "no error for case of " << c.Data.size() << " bytes";
    } catch (const EPngError& e) {
      if (c.Message) {
        EXPECT_STREQ(e.what(), c.Message);
      }
      EXPECT_STRNE(e.what(), "");
    }
    ExpectUntouched(b);
    EXPECT_TRUE(alphaUsed);
  }
}

}  // namespace
}  // namespace kelta::gfx

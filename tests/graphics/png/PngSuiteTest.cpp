// Every picture of the PNG conformance suite. Valid ones must load by the conversion rules,
// checked against a second decoding of the same file through libpng's own expansion
// (palette, sub-byte grey, 16-bit and tRNS handled by libpng instead of by us). Corrupt ones
// (names starting with "x") must raise and leave the bitmap as it was.
#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kelta::gfx {
namespace {

namespace fs = std::filesystem;

struct TReference {
  int Width = 0;
  int Height = 0;
  int ColorType = 0;
  int BitDepth = 0;
  bool HasTrans = false;
  std::vector<TColor32> Palette;  // opaque colours
  std::vector<std::uint8_t> TransAlpha;
  png_color_16 TransColor{};
  std::vector<TColor32> Rgba;  // libpng's expansion: 8-bit RGBA, tRNS turned into alpha
};

bool DecodeReference(std::FILE* F, TReference& R, std::vector<std::uint8_t>& Data,
                     std::vector<png_bytep>& Rows) {
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr,
                                           [](png_structp, png_const_charp) {});
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    return false;
  }
  png_init_io(Png, F);
  png_read_info(Png, Info);
  R.Width = static_cast<int>(png_get_image_width(Png, Info));
  R.Height = static_cast<int>(png_get_image_height(Png, Info));
  R.ColorType = png_get_color_type(Png, Info);
  R.BitDepth = png_get_bit_depth(Png, Info);
  png_colorp Pal;
  int NPal;
  if (png_get_PLTE(Png, Info, &Pal, &NPal))
    for (int I = 0; I < NPal; ++I)
      R.Palette.push_back(Color32(Pal[I].red, Pal[I].green, Pal[I].blue));
  png_bytep TA;
  int NT;
  png_color_16p TC;
  if (png_get_tRNS(Png, Info, &TA, &NT, &TC)) {
    R.HasTrans = true;
    if (R.ColorType == PNG_COLOR_TYPE_PALETTE)
      R.TransAlpha.assign(TA, TA + NT);
    else
      R.TransColor = *TC;
  }
  png_set_expand(Png);
  png_set_strip_16(Png);
  png_set_gray_to_rgb(Png);
  png_set_add_alpha(Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  Data.resize(RowBytes * static_cast<size_t>(R.Height));
  for (int Y = 0; Y < R.Height; ++Y)
    Rows.push_back(Data.data() + RowBytes * static_cast<size_t>(Y));
  png_read_image(Png, Rows.data());
  png_destroy_read_struct(&Png, &Info, nullptr);
  for (size_t I = 0; I + 3 < Data.size(); I += 4)
    R.Rgba.push_back(Color32(Data[I], Data[I + 1], Data[I + 2], Data[I + 3]));
  return true;
}

bool Reference(const fs::path& Path, TReference& R) {
  std::FILE* F = std::fopen(Path.c_str(), "rb");
  if (!F) return false;
  std::vector<std::uint8_t> Data;
  std::vector<png_bytep> Rows;
  const bool Ok = DecodeReference(F, R, Data, Rows);
  std::fclose(F);
  return Ok;
}

std::uint32_t Scale8(std::uint32_t V, int Depth) {
  return Depth == 16 ? V >> 8 : Depth == 8 ? V : V * 255 / ((1u << Depth) - 1);
}

// The conversion rules applied to the reference decoding.
std::vector<TColor32> Expected(const TReference& R, const char*& ModeName) {
  enum { None, Key, Partial } Mode = None;
  TColor32 K = 0xFF000000u;
  if (R.ColorType & PNG_COLOR_MASK_ALPHA) {
    Mode = Partial;
  } else if (R.HasTrans && R.ColorType == PNG_COLOR_TYPE_PALETTE) {
    int Translucent = 0;
    for (std::uint8_t A : R.TransAlpha) Translucent += A != 255;
    Mode = Translucent == 1 ? Key : Partial;
    for (size_t I = 0; I < R.TransAlpha.size(); ++I)
      if (R.TransAlpha[I] == 0) {
        K = R.Palette[I];
        break;
      }
  } else if (R.HasTrans) {
    Mode = Key;
    const auto& T = R.TransColor;
    K = R.ColorType == PNG_COLOR_TYPE_GRAY
            ? Color32(Scale8(T.gray, R.BitDepth), Scale8(T.gray, R.BitDepth),
                      Scale8(T.gray, R.BitDepth))
            : Color32(Scale8(T.red, R.BitDepth), Scale8(T.green, R.BitDepth),
                      Scale8(T.blue, R.BitDepth));
  }
  ModeName = Mode == None ? "none" : Mode == Key ? "key" : "partial";

  std::vector<TColor32> Out;
  for (TColor32 P : R.Rgba) {
    const std::uint32_t A = AlphaComponent(P);
    TColor32 C = 0xFFFFFFFFu;
    if (Mode == None) {
      C = P | 0xFF000000u;
    } else if (Mode == Key) {
      const bool Keyed =
          R.ColorType == PNG_COLOR_TYPE_PALETTE ? (P & 0xFFFFFFu) == (K & 0xFFFFFFu) : A == 0;
      if (!Keyed) C = P | 0xFF000000u;
      if (C == K) C &= 0x00FFFFFFu;
    } else {
      auto Over = [A](std::uint32_t S) { return (S * A + (255 - A) * 255 + 255) >> 8; };
      C = Color32(Over(RedComponent(P)), Over(GreenComponent(P)), Over(BlueComponent(P)),
                  R.ColorType == PNG_COLOR_TYPE_PALETTE ? 255 : A);
    }
    Out.push_back(C);
  }
  return Out;
}

// Sizes the suite's naming promises.
std::pair<int, int> SizeFromName(const std::string& Name) {
  if (Name[0] == 's' && std::isdigit(static_cast<unsigned char>(Name[1]))) {
    const int N = std::stoi(Name.substr(1, 2));
    return {N, N};
  }
  const std::map<std::string, std::pair<int, int>> Odd = {
      {"cdfn2c08", {8, 32}}, {"cdhn2c08", {32, 8}}, {"cdsn2c08", {8, 8}}};
  const auto It = Odd.find(Name.substr(0, 8));
  return It != Odd.end() ? It->second : std::pair<int, int>{32, 32};
}

// Modes the suite's naming promises: colour types 4 and 6 are partial; the "t" files with a
// tRNS chunk are key colour, except the one with several levels of palette transparency.
const char* ModeFromName(const std::string& Name) {
  const char Type = Name[4];
  if (Type == '4' || Type == '6') return "partial";
  if (Name.rfind("tm3", 0) == 0) return "partial";
  if (Name[0] == 't' && Name.rfind("tp0", 0) != 0) return "key";
  return "none";
}

fs::path SuiteDir() { return fs::path(KELTA_PNGSUITE_DIR); }

TEST(PngSuite, ValidPicturesLoadByTheRules) {
  int Checked = 0;
  for (const auto& E : fs::directory_iterator(SuiteDir())) {
    const std::string Name = E.path().filename().string();
    if (E.path().extension() != ".png" || Name[0] == 'x') continue;
    SCOPED_TRACE(Name);
    TReference R;
    ASSERT_TRUE(Reference(E.path(), R));
    const char* ExpectedMode = nullptr;
    const std::vector<TColor32> Want = Expected(R, ExpectedMode);

    const TPngPicture Pic = ReadPngFile(E.path().string());
    const char* Modes[] = {"none", "key", "partial"};
    EXPECT_STREQ(Modes[static_cast<int>(Pic.Mode)], ExpectedMode);
    EXPECT_STREQ(Modes[static_cast<int>(Pic.Mode)], ModeFromName(Name));

    TBitmap32 B;
    bool AlphaUsed = false;
    LoadPngFile(B, E.path().string(), AlphaUsed);
    EXPECT_EQ(std::make_pair(B.Width(), B.Height()), SizeFromName(Name));
    ASSERT_EQ(static_cast<size_t>(B.Width()) * B.Height(), Want.size());
    EXPECT_EQ(AlphaUsed, Pic.Mode == TPngTransparencyMode::KeyColor ||
                             (Pic.Mode == TPngTransparencyMode::Partial && R.ColorType != 3));
    int Wrong = 0;
    for (size_t I = 0; I < Want.size() && Wrong < 3; ++I)
      if (B.Bits()[I] != Want[I]) {
        ++Wrong;
        ADD_FAILURE() << "pixel (" << I % B.Width() << "," << I / B.Width() << ") " << std::hex
                      << B.Bits()[I] << " expected " << Want[I];
      }
    ++Checked;
  }
  EXPECT_GE(Checked, 150);
}

TEST(PngSuite, InterlacedPicturesMatchTheirPlainTwins) {
  int Pairs = 0;
  for (const auto& E : fs::directory_iterator(SuiteDir())) {
    const std::string Name = E.path().filename().string();
    if (Name.size() < 4 || Name[3] != 'i' || Name[0] == 'x') continue;
    std::string Plain = Name;
    Plain[3] = 'n';
    if (!fs::exists(SuiteDir() / Plain)) continue;
    SCOPED_TRACE(Name);
    const TPngPicture A = ReadPngFile(E.path().string());
    const TPngPicture B = ReadPngFile((SuiteDir() / Plain).string());
    EXPECT_EQ(A.Width, B.Width);
    EXPECT_TRUE(A.Pixels == B.Pixels);
    ++Pairs;
  }
  EXPECT_GE(Pairs, 20);
}

TEST(PngSuite, CorruptPicturesRaiseAndTouchNothing) {
  int Checked = 0;
  for (const auto& E : fs::directory_iterator(SuiteDir())) {
    const std::string Name = E.path().filename().string();
    if (E.path().extension() != ".png" || Name[0] != 'x') continue;
    SCOPED_TRACE(Name);
    TBitmap32 B(2, 1);
    B.SetPixel(0, 0, 0x01020304u);
    B.SetPixel(1, 0, 0xA0B0C0D0u);
    bool AlphaUsed = true;
    EXPECT_THROW(LoadPngFile(B, E.path().string(), AlphaUsed), EPngError);
    EXPECT_EQ(B.Width(), 2);
    EXPECT_EQ(B.Height(), 1);
    EXPECT_EQ(B.Pixel(0, 0), 0x01020304u);
    EXPECT_EQ(B.Pixel(1, 0), 0xA0B0C0D0u);
    EXPECT_TRUE(AlphaUsed);
    ++Checked;
  }
  EXPECT_EQ(Checked, 14);
}

}  // namespace
}  // namespace kelta::gfx

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
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr,
                                           [](png_structp, png_const_charp) {});
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, F);
  png_read_info(png, info);
  R.Width = static_cast<int>(png_get_image_width(png, info));
  R.Height = static_cast<int>(png_get_image_height(png, info));
  R.ColorType = png_get_color_type(png, info);
  R.BitDepth = png_get_bit_depth(png, info);
  png_colorp pal;
  int nPal;
  if (png_get_PLTE(png, info, &pal, &nPal))
    for (int i = 0; i < nPal; ++i)
      R.Palette.push_back(Color32(pal[i].red, pal[i].green, pal[i].blue));
  png_bytep ta;
  int nt;
  png_color_16p tc;
  if (png_get_tRNS(png, info, &ta, &nt, &tc)) {
    R.HasTrans = true;
    if (R.ColorType == PNG_COLOR_TYPE_PALETTE)
      R.TransAlpha.assign(ta, ta + nt);
    else
      R.TransColor = *tc;
  }
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  Data.resize(rowBytes * static_cast<size_t>(R.Height));
  for (int y = 0; y < R.Height; ++y)
    Rows.push_back(Data.data() + rowBytes * static_cast<size_t>(y));
  png_read_image(png, Rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  for (size_t i = 0; i + 3 < Data.size(); i += 4)
    R.Rgba.push_back(Color32(Data[i], Data[i + 1], Data[i + 2], Data[i + 3]));
  return true;
}

bool Reference(const fs::path& Path, TReference& R) {
  std::FILE* f = std::fopen(Path.string().c_str(), "rb");
  if (!f) return false;
  std::vector<std::uint8_t> data;
  std::vector<png_bytep> rows;
  const bool ok = DecodeReference(f, R, data, rows);
  std::fclose(f);
  return ok;
}

// The conversion rules applied to the reference decoding.
std::vector<TColor32> Expected(const TReference& R, const char*& ModeName) {
  enum { None, Key, Partial } mode = None;
  if (R.ColorType & PNG_COLOR_MASK_ALPHA) {
    mode = Partial;
  } else if (R.HasTrans && R.ColorType == PNG_COLOR_TYPE_PALETTE) {
    int translucent = 0;
    for (std::uint8_t a : R.TransAlpha) translucent += a != 255;
    mode = translucent == 1 ? Key : Partial;
  } else if (R.HasTrans) {
    mode = Key;
  }
  ModeName = mode == None ? "none" : mode == Key ? "key" : "partial";

  std::vector<TColor32> out;
  for (TColor32 p : R.Rgba) {
    const std::uint32_t a = AlphaComponent(p);
    TColor32 c = 0xFFFFFFFFu;
    if (mode == None) {
      c = p | 0xFF000000u;
    } else if (mode == Key) {
      // Clear exactly where the file says so (libpng's expansion gives those alpha 0).
      c = a == 0 ? 0x00FFFFFFu : p | 0xFF000000u;
    } else {
      auto over = [a](std::uint32_t S) { return (S * a + (255 - a) * 255 + 255) >> 8; };
      c = Color32(over(RedComponent(p)), over(GreenComponent(p)), over(BlueComponent(p)),
                  R.ColorType == PNG_COLOR_TYPE_PALETTE ? 255 : a);
    }
    out.push_back(c);
  }
  return out;
}

// Sizes the suite's naming promises.
std::pair<int, int> SizeFromName(const std::string& Name) {
  if (Name[0] == 's' && std::isdigit(static_cast<unsigned char>(Name[1]))) {
    const int n = std::stoi(Name.substr(1, 2));
    return {n, n};
  }
  const std::map<std::string, std::pair<int, int>> odd = {
      {"cdfn2c08", {8, 32}}, {"cdhn2c08", {32, 8}}, {"cdsn2c08", {8, 8}}};
  const auto it = odd.find(Name.substr(0, 8));
  return it != odd.end() ? it->second : std::pair<int, int>{32, 32};
}

// Modes the suite's naming promises: colour types 4 and 6 are partial; the "t" files with a
// tRNS chunk are key colour, except the one with several levels of palette transparency.
const char* ModeFromName(const std::string& Name) {
  const char type = Name[4];
  if (type == '4' || type == '6') return "partial";
  if (Name.rfind("tm3", 0) == 0) return "partial";
  if (Name[0] == 't' && Name.rfind("tp0", 0) != 0) return "key";
  return "none";
}

fs::path SuiteDir() { return fs::path(KELTA_PNGSUITE_DIR); }

TEST(PngSuite, ValidPicturesLoadByTheRules) {
  int checked = 0;
  for (const auto& e : fs::directory_iterator(SuiteDir())) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".png" || name[0] == 'x') continue;
    SCOPED_TRACE(name);
    TReference r;
    ASSERT_TRUE(Reference(e.path(), r));
    const char* expectedMode = nullptr;
    const std::vector<TColor32> want = Expected(r, expectedMode);

    const PngPicture pic = ReadPngFile(e.path().string());
    const char* modes[] = {"none", "key", "partial"};
    EXPECT_STREQ(modes[static_cast<int>(pic.Mode)], expectedMode);
    EXPECT_STREQ(modes[static_cast<int>(pic.Mode)], ModeFromName(name));

    TBitmap32 b;
    bool alphaUsed = false;
    LoadPngFile(b, e.path().string(), alphaUsed);
    EXPECT_EQ(std::make_pair(b.Width(), b.Height()), SizeFromName(name));
    ASSERT_EQ(static_cast<size_t>(b.Width()) * b.Height(), want.size());
    EXPECT_EQ(alphaUsed, pic.Mode == PngTransparencyMode::KeyColor ||
                             (pic.Mode == PngTransparencyMode::Partial && r.ColorType != 3));
    int wrong = 0;
    for (size_t i = 0; i < want.size() && wrong < 3; ++i)
      if (b.Bits()[i] != want[i]) {
        ++wrong;
        ADD_FAILURE() << "pixel (" << i % b.Width() << "," << i / b.Width() << ") " << std::hex
                      << b.Bits()[i] << " expected " << want[i];
      }
    ++checked;
  }
  EXPECT_GE(checked, 150);
}

TEST(PngSuite, InterlacedPicturesMatchTheirPlainTwins) {
  int pairs = 0;
  for (const auto& e : fs::directory_iterator(SuiteDir())) {
    const std::string name = e.path().filename().string();
    if (name.size() < 4 || name[3] != 'i' || name[0] == 'x') continue;
    std::string plain = name;
    plain[3] = 'n';
    if (!fs::exists(SuiteDir() / plain)) continue;
    SCOPED_TRACE(name);
    const PngPicture a = ReadPngFile(e.path().string());
    const PngPicture b = ReadPngFile((SuiteDir() / plain).string());
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_TRUE(a.Pixels == b.Pixels);
    ++pairs;
  }
  EXPECT_GE(pairs, 20);
}

TEST(PngSuite, CorruptPicturesRaiseAndTouchNothing) {
  int checked = 0;
  for (const auto& e : fs::directory_iterator(SuiteDir())) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".png" || name[0] != 'x') continue;
    SCOPED_TRACE(name);
    TBitmap32 b(2, 1);
    b.SetPixel(0, 0, 0x01020304u);
    b.SetPixel(1, 0, 0xA0B0C0D0u);
    bool alphaUsed = true;
    EXPECT_THROW(LoadPngFile(b, e.path().string(), alphaUsed), EPngError);
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Height(), 1);
    EXPECT_EQ(b.Pixel(0, 0), 0x01020304u);
    EXPECT_EQ(b.Pixel(1, 0), 0xA0B0C0D0u);
    EXPECT_TRUE(alphaUsed);
    ++checked;
  }
  EXPECT_EQ(checked, 14);
}

}  // namespace
}  // namespace kelta::gfx

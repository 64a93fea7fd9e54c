// kelta-imgcheck FILE [--raw OUT]
// Prints "WIDTHxHEIGHT mode=none|key|partial alpha_used=0|1 clear=N translucent=N" for what
// the loader makes of the picture: its transparency mode, the flag, and how many loaded pixels
// are fully transparent (alpha 0) and partly (1 to 254). With --raw it writes the loaded
// pixels as bytes B, G, R, A, rows from the top.
// Exit codes: 0 loaded, 1 the picture (or the raw file) failed, 2 wrong usage.
#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngLoader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

using namespace kelta::gfx;

namespace {

const char* ModeName(PngTransparencyMode Mode) {
  switch (Mode) {
    case PngTransparencyMode::None:
      return "none";
    case PngTransparencyMode::KeyColor:
      return "key";
    case PngTransparencyMode::Partial:
      return "partial";
  }
  return "?";
}

// Pixels of alpha 0, and of alpha 1 to 254.
std::pair<long long, long long> CountTransparent(const TBitmap32& Bitmap) {
  long long clear = 0, translucent = 0;
  for (int y = 0; y < Bitmap.Height(); ++y) {
    const TColor32* p = Bitmap.ScanLine(y);
    for (int x = 0; x < Bitmap.Width(); ++x) {
      const std::uint32_t a = AlphaComponent(p[x]);
      clear += a == 0 ? 1 : 0;
      translucent += a != 0 && a != 255 ? 1 : 0;
    }
  }
  return {clear, translucent};
}

bool WriteRaw(const TBitmap32& Bitmap, const std::string& Path) {
  std::FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) {
    const int err = errno;
    std::fprintf(stderr, "Cannot create file \"%s\". %s\n", Path.c_str(), std::strerror(err));
    return false;
  }
  std::vector<unsigned char> row(static_cast<std::size_t>(Bitmap.Width()) * 4);
  bool ok = true;
  for (int y = 0; y < Bitmap.Height() && ok; ++y) {
    const TColor32* p = Bitmap.ScanLine(y);
    for (int x = 0; x < Bitmap.Width(); ++x) {
      unsigned char* b = &row[static_cast<std::size_t>(x) * 4];
      b[0] = static_cast<unsigned char>(BlueComponent(p[x]));
      b[1] = static_cast<unsigned char>(GreenComponent(p[x]));
      b[2] = static_cast<unsigned char>(RedComponent(p[x]));
      b[3] = static_cast<unsigned char>(AlphaComponent(p[x]));
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  const int writeErr = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
  }
  if (!ok)
    std::fprintf(stderr, "Cannot write file \"%s\". %s\n", Path.c_str(), std::strerror(writeErr));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file, raw;
  bool haveRaw = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--raw" && i + 1 < argc) {
      raw = argv[++i];
      haveRaw = true;
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: kelta-imgcheck FILE [--raw OUT]\n");
    return 2;
  }
  try {
    const PngPicture picture = ReadPngFile(file);
    TBitmap32 bitmap;
    const bool alphaUsed = AssignPngPicture(bitmap, picture);
    const auto [clear, translucent] = CountTransparent(bitmap);
    std::printf("%dx%d mode=%s alpha_used=%d clear=%lld translucent=%lld\n", bitmap.Width(),
                bitmap.Height(), ModeName(picture.Mode), alphaUsed ? 1 : 0, clear, translucent);
    if (haveRaw && !WriteRaw(bitmap, raw)) return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

// kelta-imgcheck FILE [--raw OUT]
// Prints "WIDTHxHEIGHT mode=none|key|partial alpha_used=0|1" for what the loader makes of the
// picture; with --raw writes the loaded pixels as bytes B, G, R, A, rows from the top.
// Exit codes: 0 loaded, 1 the picture (or the raw file) failed, 2 wrong usage.
#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngLoader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

using namespace kelta::gfx;

namespace {

const char* ModeName(TPngTransparencyMode Mode) {
  switch (Mode) {
    case TPngTransparencyMode::None:
      return "none";
    case TPngTransparencyMode::KeyColor:
      return "key";
    case TPngTransparencyMode::Partial:
      return "partial";
  }
  return "?";
}

bool WriteRaw(const TBitmap32& Bitmap, const std::string& Path) {
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  if (!F) {
    const int Err = errno;
    std::fprintf(stderr, "Cannot create file \"%s\". %s\n", Path.c_str(), std::strerror(Err));
    return false;
  }
  std::vector<unsigned char> Row(static_cast<std::size_t>(Bitmap.Width()) * 4);
  bool Ok = true;
  for (int Y = 0; Y < Bitmap.Height() && Ok; ++Y) {
    const TColor32* P = Bitmap.ScanLine(Y);
    for (int X = 0; X < Bitmap.Width(); ++X) {
      unsigned char* B = &Row[static_cast<std::size_t>(X) * 4];
      B[0] = static_cast<unsigned char>(BlueComponent(P[X]));
      B[1] = static_cast<unsigned char>(GreenComponent(P[X]));
      B[2] = static_cast<unsigned char>(RedComponent(P[X]));
      B[3] = static_cast<unsigned char>(AlphaComponent(P[X]));
    }
    Ok = std::fwrite(Row.data(), 1, Row.size(), F) == Row.size();
  }
  const int WriteErr = errno;
  if (std::fclose(F) != 0 && Ok) {
    Ok = false;
  }
  if (!Ok)
    std::fprintf(stderr, "Cannot write file \"%s\". %s\n", Path.c_str(), std::strerror(WriteErr));
  return Ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string File, Raw;
  bool HaveRaw = false;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    if (A == "--raw" && I + 1 < argc) {
      Raw = argv[++I];
      HaveRaw = true;
    } else if (File.empty() && !A.empty() && A[0] != '-') {
      File = A;
    } else {
      File.clear();
      break;
    }
  }
  if (File.empty()) {
    std::fprintf(stderr, "usage: kelta-imgcheck FILE [--raw OUT]\n");
    return 2;
  }
  try {
    const TPngPicture Picture = ReadPngFile(File);
    TBitmap32 Bitmap;
    const bool AlphaUsed = AssignPngPicture(Bitmap, Picture);
    std::printf("%dx%d mode=%s alpha_used=%d\n", Bitmap.Width(), Bitmap.Height(),
                ModeName(Picture.Mode), AlphaUsed ? 1 : 0);
    if (HaveRaw && !WriteRaw(Bitmap, Raw)) return 1;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}

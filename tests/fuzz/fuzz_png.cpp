// Any byte string handed to the PNG loader either loads or raises one of the loader's own
// errors; a failure must leave the target bitmap exactly as it was.
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

using namespace kelta::gfx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBitmap32 bitmap;
  bitmap.SetSize(3, 2);
  bitmap.Fill(0x12345678u);
  bool alphaUsed = false;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    LoadPngStream(bitmap, in, alphaUsed);
  } catch (const EPngError&) {
    if (bitmap.Width() != 3 || bitmap.Height() != 2 || alphaUsed) std::abort();
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        if (bitmap.Pixel(x, y) != 0x12345678u) std::abort();
  }
  return 0;
}

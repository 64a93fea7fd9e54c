// Writing a 32-bit bitmap as an 8-bit RGBA PNG (straight alpha), for tools that render dials.
#pragma once

#include "graphics/core/Bitmap32.h"

#include <string>

namespace kelta::gfx {

// Throws EFileOpenError ("Cannot create file "<path>". <reason>") when the file cannot be
// created, EPngError when writing fails (the partial file is removed) or the bitmap is empty.
void SavePngFile(const TCustomBitmap32& Bitmap, const std::string& FileName);

}  // namespace kelta::gfx

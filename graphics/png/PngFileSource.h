#pragma once
// A PNG file opened for the decoder, read in binary through base's regular-file opener; file
// names are UTF-8.

#include <memory>
#include <string>

#include "graphics/png/PngDecoder.h"

namespace kelta::gfx {

// Throws EFileOpenError ("Cannot open file \"<name>\". <system text>") when the file cannot be
// opened or names a folder.
std::unique_ptr<PngSource> OpenPngFile(const std::string& FileName);

}  // namespace kelta::gfx

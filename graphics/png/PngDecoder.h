// Decoding a PNG file or stream into a TPngPicture (libpng underneath). Either the whole
// picture is returned or an exception is thrown; nothing else is changed.
#pragma once

#include "graphics/png/PngPicture.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

namespace kelta::gfx {

// Where the decoder takes its bytes from. Read fills exactly Size bytes or reports failure;
// it must not throw, because it is called from inside libpng.
class TPngSource {
 public:
  virtual ~TPngSource() = default;
  virtual bool Read(std::uint8_t* Data, std::size_t Size) noexcept = 0;
};

// Throws EPngError with the decoder's message for anything that is not a picture we accept
// (including one beyond the limits of PngPicture.h).
TPngPicture ReadPngSource(TPngSource& Source);
TPngPicture ReadPngStream(std::istream& Stream);
// Also throws EFileOpenError when the file cannot be opened.
TPngPicture ReadPngFile(const std::string& FileName);

}  // namespace kelta::gfx

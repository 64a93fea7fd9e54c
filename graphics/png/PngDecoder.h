// Decoding a PNG file or stream into a PngPicture (libpng underneath). Either the whole
// picture is returned or an exception is thrown; nothing else is changed.
#pragma once

#include "graphics/png/PngPicture.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>

namespace kelta::gfx {

// Where the decoder takes its bytes from. Read fills exactly Size bytes or reports failure;
// it must not throw, because it is called from inside libpng.
class PngSource {
 public:
  virtual ~PngSource() = default;
  virtual bool Read(std::uint8_t* Data, std::size_t Size) noexcept = 0;
  // The bytes the source holds from where decoding starts, when it knows: a chunk claiming
  // more than that fails at its header ("Read Error") instead of being sized by its claim.
  virtual std::optional<std::uint64_t> Size() const noexcept { return std::nullopt; }
};

// Throws EPngError with the decoder's message for anything that is not a picture we accept
// (including one beyond the limits of PngPicture.h). Ancillary chunks other than tRNS are
// skipped unread, whatever they claim to hold, so no hostile file makes the decoder hold more
// than a small multiple of the largest picture the limits allow.
PngPicture ReadPngSource(PngSource& Source);
PngPicture ReadPngStream(std::istream& Stream);
// Throws EFileOpenError when the file cannot be opened or is not a regular file, and
// EPngError with the file named before the decoder's message ("Cannot load picture
// "<name>". <message>"), so that it cannot be taken for another failure.
PngPicture ReadPngFile(const std::string& FileName);

}  // namespace kelta::gfx

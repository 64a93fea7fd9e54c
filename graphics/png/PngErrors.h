// Failures of PNG loading. Both carry their final message text.
#pragma once

#include <stdexcept>

namespace kelta::gfx {

// The picture file could not be opened: "Cannot open file "<path>". <system reason>".
class EFileOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The data is not a PNG the decoder accepts; the message is the decoder's own text.
class EPngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kelta::gfx

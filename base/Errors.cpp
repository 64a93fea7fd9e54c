#include "base/Errors.h"

#include <cstring>

namespace kelta {

EInOutError FileError(const char* action, const std::string& path, int err) {
  return EInOutError(std::string(action) + " \"" + path + "\" (" + std::to_string(err) + "), " +
                         std::strerror(err),
                     err);
}

}  // namespace kelta

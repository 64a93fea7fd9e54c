#include "base/RegularFile.h"

namespace kelta {

EInOutError OpenFailure(const char* action, const std::string& path, const RegularFile& file) {
  if (file.kind.empty()) return FileError(action, path, file.err);
  return EInOutError(
      std::string(action) + " \"" + path + "\" (not a regular file: " + file.kind + ")", 0);
}

}  // namespace kelta

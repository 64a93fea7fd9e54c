#include "records/RecordSettings.h"

#include <cstdlib>

namespace kelta {

std::string DocumentsFolder() {
  if (const char* xdg = std::getenv("XDG_DOCUMENTS_DIR"); xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/Documents";
}

std::string DefaultRecordFolder() { return DocumentsFolder() + "/KELTA"; }

}  // namespace kelta

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>

#include "records/RecordSettings.h"

namespace kelta {

std::string DocumentsFolder() {
  PWSTR wide = nullptr;
  std::string folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &wide))) {
    const std::u8string text = std::filesystem::path(wide).u8string();
    folder.assign(text.begin(), text.end());
  }
  ::CoTaskMemFree(wide);
  return folder.empty() ? std::string(".") : folder;
}

std::string DefaultRecordFolder() { return DocumentsFolder() + "\\KELTA"; }

}  // namespace kelta

#include "tests/support/TempDir.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace kelta::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kelta-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
  }
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ExeDir::ExeDir() { std::filesystem::create_directory(File("ports")); }

void ExeDir::Link(int n, const std::string& target) const {
  const std::string link = File("ports/com" + std::to_string(n));
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "symlink " + link);
  }
}

}  // namespace kelta::test

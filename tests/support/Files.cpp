#include "tests/support/Files.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace kelta::test {

std::filesystem::path NativePath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(NativePath(path), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace kelta::test

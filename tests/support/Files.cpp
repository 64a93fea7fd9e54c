#include "tests/support/Files.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace kelta::test {

namespace {

// Paths are UTF-8; through a filesystem path Windows gets them in UTF-16 (a narrow name would be
// read in the ANSI code page).
std::filesystem::path Native(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(Native(path), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace kelta::test

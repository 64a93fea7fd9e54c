#include "tests/support/TempDir.h"

#include <windows.h>

#include <filesystem>
#include <random>
#include <system_error>

#include "tests/support/Files.h"

namespace kelta::test {

namespace {

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

TempDir::TempDir() {
  // Test programs run side by side: a random name, made only if nobody has it yet.
  std::random_device seed;
  std::mt19937_64 random(seed() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32));
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / ("kelta-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) {
      path_ = Utf8(folder) + '\\';
      return;
    }
    if (error) throw std::system_error(error, "create_directory " + Utf8(folder));
  }
  throw std::system_error(std::make_error_code(std::errc::file_exists), "TempDir");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(NativePath(path_), ignored);
}

ExeDir::ExeDir() { std::filesystem::create_directory(NativePath(Path()) / "ports"); }

void ExeDir::Link(int n, const std::string& target) const {
  const std::filesystem::path link = NativePath(Path()) / "ports" / ("com" + std::to_string(n));
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(NativePath(target), link);
}

}  // namespace kelta::test

#pragma once
// A fresh folder per test (tests run in parallel), removed with everything in it.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelta-core-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  // With a trailing '/', as the folders the core takes.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

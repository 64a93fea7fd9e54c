#pragma once
// Folders for tests and benchmarks: a fresh one per use (test programs run in parallel), removed
// with everything in it. Not thread-safe; each owner uses its own.

#include <string>

namespace kelta::test {

// A fresh folder under the system's temporary folder.
class TempDir {
 public:
  // Throws std::system_error when the folder cannot be made.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // With a trailing separator ('/'; '\\' on Windows), as the folders the console and the
  // serial port take. UTF-8.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// A temporary folder standing in for the executable's folder: a ports/ sub-folder, where
// ports/com<N> links make a device appear as COM<N>.
class ExeDir : public TempDir {
 public:
  ExeDir();
  // ports/com<n> -> target (which need not exist), replacing an earlier link of that number.
  // Throws std::system_error when the link cannot be made.
  void Link(int n, const std::string& target) const;
};

}  // namespace kelta::test

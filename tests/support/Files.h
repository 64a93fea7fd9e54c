#pragma once
// Whole files as bytes, for tests that check what the code under test wrote or hand it a file
// to read. Safe on any thread (for different files).

#include <filesystem>
#include <string>

namespace kelta::test {

// Paths are UTF-8; through a filesystem path Windows gets them in UTF-16 (a narrow name would be
// read in the ANSI code page).
std::filesystem::path NativePath(const std::string& utf8);
// Every byte of the file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file with exactly these bytes.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace kelta::test

#pragma once
// Whole files as bytes, for tests that check what the code under test wrote or hand it a file
// to read. Safe on any thread (for different files).

#include <string>

namespace kelta::test {

// Every byte of the file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file with exactly these bytes.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace kelta::test

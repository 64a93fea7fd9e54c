#pragma once
// The broker's password, read from a file (--password-file): never from the command line, where
// every user of the machine can read it. SecretFile_linux.cpp and SecretFile_win32.cpp hold
// what each system says about who else may read the file.

#include <cstddef>
#include <string>

namespace kelta::record {

// The first line of the file at path, without its line end. Throws std::invalid_argument
// beginning with the path when the file cannot be read, is no regular file, is open to other
// users (on Linux: any of the mode's bits for others), or its first line is empty or longer
// than MQTT carries.
std::string ReadSecretFile(const std::string& path);

// What ReadSecretFile takes from the start of the file's text (at most kSecretReadBytes of it).
std::string SecretFromText(const std::string& path, const std::string& text);

// Why the open file fd is no place for a secret, or "" when it is.
std::string SecretFileExposure(int fd);

// MQTT's length field has 16 bits; the line end may follow.
inline constexpr size_t kSecretBytes = 65535;
inline constexpr size_t kSecretReadBytes = kSecretBytes + 2;

}  // namespace kelta::record

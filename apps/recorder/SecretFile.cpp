#include "apps/recorder/SecretFile.h"

#include <fcntl.h>

#include <cstring>
#include <stdexcept>

#include "base/FdIo.h"
#include "base/RegularFile.h"

namespace kelta::record {

std::string ReadSecretFile(const std::string& path) {
  const RegularFile file = OpenRegularFile(path, O_RDONLY);
  if (file.fd < 0) {
    throw std::invalid_argument(path + ": " +
                                (file.err != 0 ? std::string(std::strerror(file.err))
                                               : "not a regular file (" + file.kind + ")"));
  }
  std::string fault = SecretFileExposure(file.fd);
  std::string text(kSecretReadBytes, '\0');
  if (fault.empty()) {
    const FdIoResult read = ReadAll(file.fd, text.data(), text.size());
    if (read.err != 0) fault = std::strerror(read.err);
    text.resize(read.done);
  }
  CloseFd(file.fd);
  if (!fault.empty()) throw std::invalid_argument(path + ": " + fault);
  return SecretFromText(path, text);
}

std::string SecretFromText(const std::string& path, const std::string& text) {
  const size_t end = text.find('\n');
  std::string secret = text.substr(0, end);
  // Written on Windows, the line may end in "\r\n".
  if (end != std::string::npos && !secret.empty() && secret.back() == '\r') secret.pop_back();
  if (secret.empty()) throw std::invalid_argument(path + ": its first line is empty");
  if (secret.size() > kSecretBytes) {
    throw std::invalid_argument(path + ": its first line is longer than " +
                                std::to_string(kSecretBytes) + " bytes");
  }
  return secret;
}

}  // namespace kelta::record

#pragma once
// Exceptions of the console core. Their what() texts reach the status bar and the error log.

#include <stdexcept>
#include <string>

namespace kelta {

// Text that is not a number where a number is required.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file step (create, open, read, write, close) that failed. errorCode is the errno of the
// failing call, 0 when the failure has none (a file shorter than its record).
class EInOutError : public std::runtime_error {
 public:
  EInOutError(const std::string& message, int errorCode)
      : std::runtime_error(message), errorCode(errorCode) {}
  int errorCode;
};

// The silent abort: ends the running handler and every handler it runs inside, and is
// never reported. The console raises it from its waits once the window has closed.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// Builds the message for a failed call and the errno it left: `<action> "<path>" (<errno>),
// <text>`.
EInOutError FileError(const char* action, const std::string& path, int err);

}  // namespace kelta

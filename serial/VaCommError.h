#pragma once
// EVaCommError: every failure of the serial port object. Messages are fixed texts; where a text
// carries "(%d), %s" or "(Error %d, %s)" the system's error code of the failing call (errno,
// GetLastError) and its system text are filled in at the place of the failure (never read
// later, never on another thread).

#include <stdexcept>
#include <string>

namespace kelta {

class EVaCommError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Message texts of the port's failures.
namespace comm_msg {
inline constexpr const char* kPortOpen = "Can't perform this operation while port is open";
inline constexpr const char* kNotFound = "Specified device not found (%s).";
inline constexpr const char* kCantOpen = "Can't open specified device %s";
inline constexpr const char* kErrorSuffix = " (Error %d, %s)";
inline constexpr const char* kWriteDcb = "Error writing dcb (%d), %s";
inline constexpr const char* kInitBuffers = "Error initializing buffers (%d), %s";
inline constexpr const char* kTimeouts = "Error setting timeouts (%d), %s";
inline constexpr const char* kEventMask = " Error setting EventMask (%d), %s";
inline constexpr const char* kCommFunction = "Error calling comm function (%d), %s";
inline constexpr const char* kDtrHandshake =
    "DTR line updates not allowed when flowcontrol is set to Handshake.";
inline constexpr const char* kRtsHandshake =
    "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.";
inline constexpr const char* kReadError = "Read error (%d), %s";
inline constexpr const char* kStatistics = "Error retrieving statistics (%d), %s";
inline constexpr const char* kOutputFull = "Output buffer is full. Please check comm status.";
}  // namespace comm_msg

// The system text of an error code with trailing blanks, control characters and full stops removed.
std::string SystemErrorText(int err);

// Fills the first "%d" of format with err and the first "%s" after it with SystemErrorText(err).
// Only these two placeholders are interpreted, so text taken from a device name can never be
// read as a format directive.
std::string FormatCommError(const std::string& format, int err);

// Throws EVaCommError(FormatCommError(format, err)).
[[noreturn]] void RaiseCommError(const std::string& format, int err);

}  // namespace kelta

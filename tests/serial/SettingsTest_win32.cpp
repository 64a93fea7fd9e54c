// The port's open path and message texts on Windows: "\\.\COMn", GetLastError codes with the
// system's FormatMessage texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "serial/VaComm.h"
#include "serial/VaCommError.h"

namespace kelta {
namespace {

TEST(VaCommNames, OpenPathIsTheSystemsComName) {
  TVaComm port;
  port.SetPortNum(1);
  EXPECT_EQ(port.FormatOpenPath(), "\\\\.\\COM1");
  port.SetPortNum(12);
  EXPECT_EQ(port.FormatOpenPath(), "\\\\.\\COM12");
  EXPECT_EQ(port.FormatOpenPath(), port.FormatDeviceName());
  port.SetPortNum(0);
  EXPECT_EQ(port.FormatOpenPath(), "");
}

// The system's own text, as FormatMessage gives it, without its closing full stop and line end.
std::string SystemText(DWORD code) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '.' || text[n - 1] == ' ' || text[n - 1] == '\r' || text[n - 1] == '\n')) {
    --n;
  }
  return std::string(text, n);
}

TEST(VaCommError, MessagesCarryTheCodeAndTheSystemsText) {
  ASSERT_FALSE(SystemText(ERROR_ACCESS_DENIED).empty());
  EXPECT_EQ(FormatCommError("Error writing dcb (%d), %s", ERROR_ACCESS_DENIED),
            "Error writing dcb (5), " + SystemText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FormatCommError("x (Error %d, %s)", ERROR_FILE_NOT_FOUND),
            "x (Error 2, " + SystemText(ERROR_FILE_NOT_FOUND) + ")");
  for (const DWORD code : {ERROR_INVALID_FUNCTION, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                           ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_BAD_COMMAND,
                           ERROR_GEN_FAILURE, ERROR_INVALID_PARAMETER, ERROR_OPERATION_ABORTED}) {
    const std::string text = SystemErrorText(static_cast<int>(code));
    ASSERT_FALSE(text.empty()) << code;
    const char last = text.back();
    EXPECT_TRUE(last != '.' && last != ' ' && last != '\n' && last != '\r') << code << ": " << text;
  }
}

}  // namespace
}  // namespace kelta

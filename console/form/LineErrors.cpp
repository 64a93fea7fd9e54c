#include "console/form/LineErrors.h"

#include "console/form/ConsoleForm.h"

namespace kelta {

const std::vector<LineErrorText>& LineErrorTable() {
  static const std::vector<LineErrorText> table = {
      {0x0010, "The hardware detected a break condition."},
      {0x0800, "Windows 95 only: A parallel device is not selected."},
      {0x0008, "The hardware detected a framing error."},
      {0x0400, "An I/O error occurred during communications with the device."},
      {0x8000, "The requested mode is not supported."},
      {0x1000, "Windows 95 only: A parallel device signaled that it is out of paper."},
      {0x0002, "A character-buffer overrun has occurred. The next character is lost."},
      {0x0200, "Windows 95 only: A time-out occurred on a parallel device."},
      {0x0001, "An input buffer overflow has occurred."},
      {0x0004, "The hardware detected a parity error."},
      {0x0100, "Transmit buffer overflow."},
  };
  return table;
}

void ConsoleForm::VaComm1Error(uint32_t errors) {
  // The serial object reports a vanished device with this bit, then closes the port itself.
  if (errors & 0x0400) deviceLost_ = true;
  for (const LineErrorText& e : LineErrorTable()) {
    if (errors & e.bit) SetStatus(0, e.text);
  }
}

}  // namespace kelta

// Connect, the sensor information exchange and the configuration commands (ID, ranges).

#include "console/form/ConsoleForm.h"

#include "console/form/PortAccess.h"
#include "protocol/SensorCommands.h"
#include "protocol/SensorInfo.h"
#include "protocol/StrToInt.h"
#include "serial/VaComm.h"
#include "serial/VaCommError.h"

namespace kelta {

namespace {

bool Contains(const std::string& text, const char* marker) {
  return text.find(marker) != std::string::npos;
}

// The UTF-8 text after its first `count` characters; empty when it is shorter.
std::string Tail(const std::string& text, size_t count) {
  size_t at = 0;
  for (size_t skipped = 0; skipped < count && at < text.size(); ++skipped) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return text.substr(at);
}

}  // namespace

void ConsoleForm::Button3Click() {
  // The operator connects by hand: a lost port is no longer waited for.
  StopWaitingForPort();
  if (Connected == 0) {
    ClearReceived();
    reading_ = false;
    // The first three characters, normally "COM", are skipped unchecked.
    const int32_t port = StrToInt(Tail(window_.Text(FormControl::ePortNo), 3));
    VaComm1().SetPortNum(port);
    try {
      VaComm1().Open();
    } catch (const EVaCommError& e) {
      // The port's own message still reaches the status bar and the log (rethrown); a
      // device the user has no permission for also gets the way out, in a box.
      const std::string hint = PortAccessHint(VaComm1().FormatOpenPath());
      if (!hint.empty()) window_.ShowMessage(std::string(e.what()) + "\n\n" + hint);
      throw;
    }
    RecordingPortOpened();
    VaComm1().SetRtsLine(true);
    VaComm1().SetDtrLine(true);
    StopRequested = true;
    RestartHealth();
  }
  btn10Click();
  if (Contains(LastLine, kMarkerInfo)) {
    window_.SetVisible(FormControl::Panel1, true);
    window_.SetVisible(FormControl::Panel2, false);
    window_.AngleView().SetLive(true);
  } else {
    window_.ShowMessage("Can not connect to Sensor. Check the sensor or your PC!! ");
  }
}

void ConsoleForm::btn10Click() {
  if (!Preamble(false)) return;
  SendAndAwait([] { return std::string(kCmdInfo); }, kMarkerInfo);
  if (!Contains(LastLine, kMarkerInfo)) return;
  FillInformation(LastLine);
}

void ConsoleForm::FillInformation(const std::string& reply) {
  const SensorInfo info = ParseSensorInfo(reply);
  // What came before the reply is shown as it was read (its direction mode is changing).
  pacer_.ShowNow();
  const auto put = [this, &info](FormControl field, size_t i) {
    window_.SetText(field, WireText(info.items.at(i)));
  };

  put(FormControl::lbeVersion, 0);
  put(FormControl::lbeID, 1);
  RecordingSensorIs(window_.Text(FormControl::lbeID));
  put(FormControl::lbeMode, 2);
  put(FormControl::lbeCalDone, 3);
  put(FormControl::lbeOffset, 4);
  put(FormControl::lbeNRange, 5);
  put(FormControl::lbePRange, 6);
  // The sensor reports a full turn as "0".
  if (window_.Text(FormControl::lbePRange) == "0") window_.SetText(FormControl::lbePRange, "3600");
  // Raised before items 8 to 21 are stored: a dial picture that fails to load ends the
  // action here, and those fields keep their previous texts.
  DialSettingsRead.Raise(window_.Text(FormControl::lbePRange), window_.Text(FormControl::lbeMode));
  put(FormControl::lbeMVGain, 7);
  put(FormControl::lbeMVOffset, 8);
  for (int i = 0; i < 12; ++i) put(CalField(i), 9 + static_cast<size_t>(i));
}

void ConsoleForm::btIDchangeClick() {
  const std::string typed = window_.Text(FormControl::eID);
  const int32_t id = StrToInt(typed);
  if (Connected == 0) {
    window_.ShowMessage("Open Comport");
    return;
  }
  if (id > 77) {
    window_.ShowMessage("\"MAX ID = 77!!!. Please Insert again.\"");
    return;
  }
  if (!window_.AskYesNo("Do you want ID Change(" + typed + ")?")) return;
  // No preamble: a LastLine that already holds "OK" ends the exchange after one send.
  const std::string command = IdChangeCommand(typed);
  SendAndAwait([&command] { return command; }, kMarkerOk);
  if (Contains(LastLine, kMarkerOk)) btn10Click();
}

void ConsoleForm::Button25Click() {
  if (!Preamble(false)) return;
  SendAndAwait([this] { return NegativeRangeCommand(window_.Text(FormControl::leRangeN)); },
               kMarkerOk);
  if (Contains(LastLine, kMarkerOk)) btn10Click();
}

void ConsoleForm::Button26Click() {
  if (!Preamble(false)) return;
  SendAndAwait([this] { return PositiveRangeCommand(window_.Text(FormControl::leRangeP)); },
               kMarkerOk);
  if (Contains(LastLine, kMarkerOk)) btn10Click();
}

}  // namespace kelta

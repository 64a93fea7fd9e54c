// A port whose device went away (adapter pulled, the other end closed): the loss is shown
// where the operator looks, nothing more is sent, and the form waits for the same "COMn" to
// come back; it takes the port back only when the same sensor answers.

#include "console/form/ConsoleForm.h"

#include "console/core/ConsoleErrors.h"
#include "console/core/LocalTime.h"
#include "console/core/SensorCommands.h"
#include "console/core/SensorInfo.h"
#include "console/form/PortAccess.h"
#include "serial/VaComm.h"
#include "serial/VaCommError.h"

#include <cstdio>
#include <ctime>

namespace kelta {

namespace {

// How often a lost port is looked for.
constexpr int kReconnectMs = 500;

std::string ClockText() {
  const std::tm t = LocalTime(std::time(nullptr));
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

}  // namespace

std::string TConsoleForm::LostPortName() const {
  return lost_ ? "COM" + std::to_string(lost_->portNum) : std::string();
}

void TConsoleForm::EndIfLost(uint64_t losses) const {
  if (losses_ != losses) throw EAbort();
}

void TConsoleForm::PortLost() {
  ++losses_;
  // Pass loops end at their next check; exchanges end after their wait (EndIfLost).
  StopRequested = true;
  // The connect panel comes back over the console (whose list stays readable), so the
  // operator may also connect by hand meanwhile.
  window_.SetVisible(FormControl::Panel2, true);
  window_.AngleView().SetLive(false);
  // What came before the loss is in the file, whatever happens next; recording goes on
  // when the sensor comes back.
  FlushRecording();
  if (!lost_) {
    LostPort port;
    port.portNum = VaComm1().PortNum();
    port.sensorId = window_.Text(FormControl::lbeID);
    port.reading = reading_;
    port.timer = window_.StartTimer(kReconnectMs, [this] { Guarded([this] { ReconnectTick(); }); });
    lost_ = port;
  }
  SetStatus(0, LostPortName() + " lost at " + ClockText() + ", waiting for it to come back");
}

void TConsoleForm::StopWaitingForPort() {
  if (!lost_) return;
  window_.StopTimer(lost_->timer);
  lost_.reset();
}

void TConsoleForm::ReconnectTick() {
  if (!lost_ || reconnecting_ || closing_ || Connected == 1) return;
  // Only a device that is there is tried: a missing one would raise twice a second.
  const std::string path = VaComm1().FormatOpenPath();
  if (path.empty() || !PortDevicePresent(path)) return;

  reconnecting_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reconnecting_};
  try {
    VaComm1().Open();
  } catch (const EVaCommError&) {
    return;  // there but not to be opened yet (still being set up, busy): the next tick
  }
  const LostPort port = *lost_;
  const std::string name = LostPortName();
  VaComm1().SetRtsLine(true);
  VaComm1().SetDtrLine(true);
  ClearReceived();
  StopRequested = true;
  reading_ = false;
  SendAndAwait([] { return std::string(kCmdInfo); }, kMarkerInfo);
  // The operator connected by hand inside the exchange's waits: theirs now.
  if (!lost_) return;
  if (LastLine.find(kMarkerInfo) == std::string::npos) {
    // A device without an answering sensor (yet): let it go and keep waiting.
    VaComm1().Close();
    SetStatus(0, name + " is back but no sensor answers, waiting for it");
    return;
  }
  const std::string id = WireText(ParseSensorInfo(LastLine).items[kInfoId]);
  StopWaitingForPort();
  if (id != port.sensorId) {
    // Not the sensor the fields describe: the operator decides whether to use it.
    VaComm1().Close();
    const std::string refusal = name + " came back with another sensor (ID " + id + " instead of " +
                                port.sensorId + "); press Connect to use it.";
    SetStatus(0, refusal);
    window_.ShowMessage(refusal);
    return;
  }
  FillInformation(LastLine);
  window_.SetVisible(FormControl::Panel1, true);
  window_.SetVisible(FormControl::Panel2, false);
  window_.AngleView().SetLive(true);
  SetStatus(0, name + " back at " + ClockText());
  if (port.reading) btREADClick();
}

}  // namespace kelta

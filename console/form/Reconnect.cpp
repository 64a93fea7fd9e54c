// A port whose device went away (adapter pulled, the other end closed): the loss is shown
// where the operator looks, nothing more is sent, and the form waits for the device it lost
// to come back, through the same path (the same ports/comN link, or the same device); it
// takes the port back only when the same sensor answers, and nothing the returning device
// sends counts as a reading before that.

#include "console/form/ConsoleForm.h"

#include "base/Errors.h"
#include "base/LocalTime.h"
#include "console/form/PortAccess.h"
#include "protocol/RxDecoder.h"
#include "protocol/SensorCommands.h"
#include "protocol/SensorInfo.h"
#include "serial/VaComm.h"
#include "serial/VaCommError.h"

#include <cstdio>
#include <ctime>
#include <optional>

namespace kelta {

namespace {

// How often a lost port is looked for.
constexpr int kReconnectMs = 500;
// After "#STOP": long enough for a streaming sensor to fall quiet.
constexpr int kStopQuietMs = 200;
// "#INFO" is asked this often per look, each answer awaited this long.
constexpr int kInfoTries = 6;
constexpr int kInfoWaitMs = 500;

}  // namespace

// A returning device is heard through a decoder of its own, so that neither its frames nor
// their block-check failures reach the console's list, readings, trend, recording or health
// line; only an information reply naming a real sensor address is kept, for the ID check.
struct ConsoleForm::ReturnCheck {
  RxDecoder decoder;
  std::optional<std::string> reply;
};

bool ConsoleForm::HeardWhileReturning(const std::string& chunk) {
  if (!returnCheck_) return false;
  ReturnCheck& check = *returnCheck_;
  RxSink sink;
  sink.deliverLine = [&check](const std::string& line) {
    // A garbled line is no answer at all (not another sensor): the wait goes on.
    if (line.find(kMarkerInfo) != std::string::npos && ParseSensorInfo(line).idValid)
      check.reply = line;
  };
  check.decoder.Feed(chunk, sink);
  return true;
}

std::string ConsoleForm::LostPortName() const {
  return lost_ ? "COM" + std::to_string(lost_->portNum) : std::string();
}

void ConsoleForm::EndIfLost(uint64_t losses) const {
  if (losses_ != losses) throw EAbort();
}

void ConsoleForm::PortLost() {
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
    port.path = VaComm1().OpenedPath();
    port.sensorId = window_.Text(FormControl::lbeID);
    port.reading = reading_;
    port.timer = window_.StartTimer(kReconnectMs, [this] { Guarded([this] { ReconnectTick(); }); });
    lost_ = port;
  }
  SetStatus(0, LostPortName() + " lost at " + ClockText() + ", waiting for it to come back");
}

void ConsoleForm::StopWaitingForPort() {
  if (!lost_) return;
  window_.StopTimer(lost_->timer);
  lost_.reset();
  // The operator took the port by hand inside a check's wait: what comes is theirs.
  returnCheck_ = nullptr;
}

void ConsoleForm::ReconnectTick() {
  if (!lost_ || reconnecting_ || closing_ || Connected == 1) return;
  // Only the device that was lost, through the path it was opened by: the same ports/comN
  // link once it leads to a device again, or the same device. With the link gone, COMn's
  // fallback (/dev/ttyS0 for COM1) is another device, never to be opened, written to or
  // taken for this port. A missing device is not opened either (it would raise twice a
  // second).
  const std::string path = lost_->path;
  if (path.empty() || !PortDevicePresent(path)) return;

  reconnecting_ = true;
  ReturnCheck check;
  returnCheck_ = &check;
  struct Done {
    ConsoleForm& form;
    ~Done() {
      form.reconnecting_ = false;
      form.returnCheck_ = nullptr;
    }
  } done{*this};
  try {
    VaComm1().OpenPath(path);
  } catch (const EVaCommError&) {
    return;  // there but not to be opened yet (still being set up, busy): the next tick
  }
  const LostPort port = *lost_;
  const std::string name = LostPortName();
  const uint64_t losses = losses_;
  // False once the device went again or the operator connected by hand meanwhile: then
  // the port is no longer this check's to close.
  const auto stillChecking = [this, losses] { return lost_ && losses_ == losses; };
  VaComm1().SetRtsLine(true);
  VaComm1().SetDtrLine(true);
  ClearReceived();
  StopRequested = true;
  reading_ = false;
  // A sensor still streaming from before is stopped first, so that its frames neither hide
  // its reply nor run on unchecked; what it sent meanwhile is dropped.
  VaComm1().SendText(kCmdStop);
  SetStatus(1, kCmdStop);
  WaitWithMessages(kStopQuietMs);
  if (!stillChecking()) return;
  check.decoder.ClearRxBuffer();
  for (int attempt = 0; attempt < kInfoTries && !check.reply; ++attempt) {
    VaComm1().SendText(kCmdInfo);
    SetStatus(1, kCmdInfo);
    WaitWithMessages(kInfoWaitMs);
    if (!stillChecking()) return;
  }
  if (!check.reply) {
    // A device without an answering sensor (yet), or only garbled replies: let it go and
    // keep waiting.
    VaComm1().Close();
    SetStatus(0, name + " is back but no sensor answers, waiting for it");
    return;
  }
  const SensorInfo info = ParseSensorInfo(*check.reply);
  const std::string id = WireText(info.items[kInfoId]);
  if (id != port.sensorId) {
    // Not the sensor the fields describe: the operator decides whether to use it.
    StopWaitingForPort();
    const std::string refusal = name + " came back with another sensor (ID " + id + " instead of " +
                                port.sensorId + "); press Connect to use it.";
    VaComm1().Close();
    SetStatus(0, refusal);
    window_.ShowMessage(refusal);
    return;
  }
  // The same sensor: from here on it is heard as the console's own.
  const std::string reply = *check.reply;
  StopWaitingForPort();
  DeliverLine(reply);
  FillInformation(reply);
  window_.SetVisible(FormControl::Panel1, true);
  window_.SetVisible(FormControl::Panel2, false);
  window_.AngleView().SetLive(true);
  SetStatus(0, name + " back at " + ClockText());
  if (port.reading) btREADClick();
}

}  // namespace kelta

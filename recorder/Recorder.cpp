#include "recorder/Recorder.h"

#include <cstdio>
#include <ctime>

#include "console/core/ConsoleFolders.h"
#include "console/core/SensorCommands.h"
#include "console/core/SensorInfo.h"
#include "console/core/StrToInt.h"
#include "recorder/RecordSystem.h"
#include "serial/LoopDispatcher.h"
#include "serial/SensorLine.h"
#include "serial/VaComm.h"
#include "serial/VaCommError.h"
#include "serial/portmap/PortMap.h"

namespace kelta::record {

namespace {

using namespace std::chrono_literals;

// How often a lost device is looked for.
constexpr auto kReopenEvery = 500ms;
// The console's exchange: up to six tries, half a second each.
constexpr int kTries = 6;
constexpr int kWaitMs = 500;

// "COM5" (any case) gives 5; anything else is a device path (nullopt).
std::optional<int> ComNumber(const std::string& port) {
  if (port.size() < 4 || (port[0] != 'C' && port[0] != 'c') || (port[1] != 'O' && port[1] != 'o') ||
      (port[2] != 'M' && port[2] != 'm')) {
    return std::nullopt;
  }
  long long n = 0;
  for (size_t i = 3; i < port.size(); ++i) {
    if (port[i] < '0' || port[i] > '9' || n > 100'000'000) return std::nullopt;
    n = n * 10 + (port[i] - '0');
  }
  return n >= 1 ? std::optional<int>(static_cast<int>(n)) : std::nullopt;
}

std::string ClockText() {
  const std::tm t = LocalTime(std::time(nullptr));
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

}  // namespace

Recorder::Recorder(RecorderConfig config, std::function<void(const SensorReading&)> reading,
                   std::function<void(const std::string&)> report)
    : config_(std::move(config)),
      reading_(std::move(reading)),
      report_(std::move(report)),
      dispatcher_(std::make_shared<TVaLoopDispatcher>()) {
  sink_.deliverLine = [this](const std::string& line) { lastLine_ = line; };
  sink_.angleReceived = [this](double value) {
    if (config_.ids.empty()) {
      if (streaming_ && sensorId_) Deliver(*sensorId_, value);
    } else if (awaiting_ && !answered_) {
      answered_ = true;
      Deliver(*awaiting_, value);
    }
    // A frame nobody asked for (a late answer) is not given to the next ID polled.
  };
}

Recorder::~Recorder() {
  closing_ = true;
  if (comm_) comm_->Close();
  if (!linkFolder_.empty()) RemoveDeviceLink(linkFolder_);
}

void Recorder::CreatePort() {
  comm_ = std::make_unique<TVaComm>();
  TVaComm& port = *comm_;
  port.SetDeviceName(config_.port);
  SetSensorLine(port);
  if (const auto n = ComNumber(config_.port)) {
    port.SetPortNum(*n);
    port.SetExeDir(config_.exeDir.empty() ? ConsoleFoldersFor(ExecutableDir()).files
                                          : config_.exeDir);
  } else {
    // A device path: the port object opens "COMn" by number, so the path gets a private
    // ports/com1 link of its own.
    linkFolder_ = LinkDevicePath(config_.port);
    port.SetPortNum(1);
    port.SetExeDir(linkFolder_);
  }
  port.SetDispatcher(dispatcher_);
  port.OnRxChar = [this](TVaCustomComm*, int) { Received(); };
  port.OnClose = [this](TVaCustomComm*) {
    if (!closing_) Lost();
  };
  port.OnException = [this](const std::exception& e) { report_(e.what()); };
}

void Recorder::Open() {
  if (!comm_) CreatePort();
  comm_->Open();
  comm_->SetRtsLine(true);
  comm_->SetDtrLine(true);
}

void Recorder::Received() {
  if (!comm_->IsOpen()) return;
  decoder_.Feed(comm_->ReceiveText(), sink_);
  CountDroppedFrames();
}

void Recorder::CountDroppedFrames() {
  const uint64_t dropped = decoder_.DroppedFrames();
  if (dropped == counters_.droppedFrames) return;
  counters_.droppedFrames = dropped;
  // Noise on the line drops every frame: said once a minute, not once a frame.
  const Clock::time_point now = Clock::now();
  if (now < nextDropReport_) return;
  nextDropReport_ = now + 60s;
  report_(config_.port + ": frames dropped, not recorded (block check failed or text not a " +
          "number); " + std::to_string(dropped) + " so far, counted as dropped_frames");
}

void Recorder::Deliver(int id, double angle) {
  SensorReading r;
  r.time = std::chrono::system_clock::now();
  r.sequence = ++sequence_[id];
  r.port = config_.port;
  r.id = id;
  r.angle = angle;
  r.line = lastLine_;
  if (config_.ids.empty()) {
    r.mode = mode_;
    r.negativeRange = negativeRange_;
    r.positiveRange = positiveRange_;
  }
  ++counters_.readings;
  reading_(r);
}

void Recorder::Lost() {
  ++counters_.lost;
  lost_ = true;
  streaming_ = false;
  awaiting_.reset();
  decoder_.ClearRxBuffer();
  nextTry_ = Clock::now() + kReopenEvery;
  report_(config_.port + " lost at " + ClockText() + ", waiting for it to come back");
}

void Recorder::TryReopen() {
  nextTry_ = Clock::now() + kReopenEvery;
  if (!DevicePresent(comm_->FormatOpenPath())) return;
  try {
    Open();
  } catch (const EVaCommError&) {
    return;  // there but not to be opened yet: the next try
  }
  decoder_.ClearRxBuffer();
  if (config_.ids.empty() && !StartContinuous()) return;
  lost_ = false;
  report_(config_.port + " back at " + ClockText() + ", recording again");
}

bool Recorder::Exchange(const std::string& command, const char* marker, int tries, int waitMs) {
  for (int i = 0; i < tries && comm_->IsOpen(); ++i) {
    lastLine_.clear();
    comm_->SendText(command);
    if (dispatcher_->RunUntil(
            [&] { return lastLine_.find(marker) != std::string::npos || !comm_->IsOpen(); },
            std::chrono::milliseconds(waitMs)) &&
        comm_->IsOpen()) {
      return true;
    }
  }
  return false;
}

bool Recorder::StartContinuous() {
  // A sensor still streaming from before is stopped first, so its frames do not hide the
  // information line.
  comm_->SendText(kCmdStop);
  Pump(200ms);
  decoder_.ClearRxBuffer();
  if (!Exchange(kCmdInfo, kMarkerInfo, kTries, kWaitMs)) {
    if (comm_->IsOpen()) {
      closing_ = true;
      comm_->Close();
      closing_ = false;
      lost_ = true;
      nextTry_ = Clock::now() + kReopenEvery;
      report_(config_.port + ": no sensor answers \"#INFO\", waiting for it");
    }
    return false;
  }
  const SensorInfo info = ParseSensorInfo(lastLine_);
  if (sensorId_ && *sensorId_ != info.id) {
    ++counters_.refused;
    closing_ = true;
    comm_->Close();
    closing_ = false;
    lost_ = true;
    nextTry_ = Clock::now() + kReopenEvery;
    report_(config_.port + " came back with another sensor (ID " + std::to_string(info.id) +
            " instead of " + std::to_string(*sensorId_) + "), waiting for the right one");
    return false;
  }
  sensorId_ = info.id;
  mode_ = info.items[kInfoMode];
  negativeRange_ = info.items[kInfoNegativeRange];
  positiveRange_ = info.items[kInfoPositiveRange];
  streaming_ = true;
  comm_->SendText(kCmdRead);
  return true;
}

void Recorder::Pump(std::chrono::milliseconds time) { dispatcher_->RunFor(time); }

void Recorder::PollRound(const std::function<bool()>& stop) {
  const Clock::time_point roundEnd = Clock::now() + std::chrono::milliseconds(config_.intervalMs);
  for (const int id : config_.ids) {
    if (stop() || !comm_->IsOpen()) return;
    awaiting_ = id;
    answered_ = false;
    const std::string frame{static_cast<char>(PollAddress(id)), '\x05'};
    comm_->SendText(frame);
    dispatcher_->RunUntil([&] { return answered_ || !comm_->IsOpen(); },
                          std::chrono::milliseconds(config_.replyMs));
    awaiting_.reset();
    MaybeTick();
    if (!comm_->IsOpen()) return;
    uint64_t& streak = silentStreak_[id];
    if (answered_) {
      if (streak > 0) report_("ID " + std::to_string(id) + " answers again");
      streak = 0;
    } else {
      ++counters_.silent[id];
      if (++streak == 1) {
        report_("ID " + std::to_string(id) + ": no answer on " + config_.port +
                " (counted; the other IDs go on)");
      }
      // Half a frame left by the silent one must not lead the next ID's answer.
      decoder_.ClearRxBuffer();
    }
  }
  while (!stop() && comm_->IsOpen() && Clock::now() < roundEnd) {
    MaybeTick();
    dispatcher_->RunUntil(
        [&] { return stop() || !comm_->IsOpen(); },
        std::min<std::chrono::milliseconds>(
            100ms,
            std::chrono::duration_cast<std::chrono::milliseconds>(roundEnd - Clock::now()) + 1ms));
  }
}

void Recorder::MaybeTick() {
  if (Clock::now() < nextTick_) return;
  nextTick_ = Clock::now() + 100ms;
  if (tick_) tick_();
}

void Recorder::Run(const std::function<bool()>& stop, const std::function<void()>& tick) {
  tick_ = tick;
  if (!comm_->IsOpen()) {
    lost_ = true;
  } else if (config_.ids.empty() && !StartContinuous()) {
    // Reported; waited for like a lost device.
  }
  while (!stop()) {
    MaybeTick();
    if (!comm_->IsOpen()) {
      if (Clock::now() >= nextTry_) TryReopen();
      Pump(100ms);
      continue;
    }
    if (config_.ids.empty()) {
      Pump(100ms);
    } else {
      PollRound(stop);
    }
  }
  if (comm_->IsOpen()) {
    if (config_.ids.empty()) comm_->SendText(kCmdStop);
    // The last frames already on their way are still taken.
    Pump(100ms);
    closing_ = true;
    comm_->Close();
    closing_ = false;
  }
  if (tick_) tick_();
}

}  // namespace kelta::record

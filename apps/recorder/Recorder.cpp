#include "apps/recorder/Recorder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "apps/recorder/RecordSystem.h"
#include "base/ConsoleFolders.h"
#include "base/LocalTime.h"
#include "protocol/SensorCommands.h"
#include "protocol/SensorInfo.h"
#include "protocol/SensorLine.h"
#include "protocol/StrToInt.h"
#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "serial/VaCommError.h"
#include "serial/portmap/PortMap.h"

namespace kelta::record {

namespace {

using namespace std::chrono_literals;

// How often a lost device is looked for.
constexpr auto kReopenEvery = 500ms;
// Bus: a data frame is at most about 12 bytes (STX, "-179.9", ETB, two check characters, "$"),
// 10 bits a byte on the line. After three frame times without a byte nobody is sending, so
// a frame that comes later cannot be the tail of an answer to the poll before.
constexpr auto kGuard = std::chrono::microseconds(3 * 12 * 10 * 1'000'000LL / kSensorLineBaud);
// Unsolicited frames of one kind (by ID) that come less than this apart are one burst,
// reported once.
constexpr auto kBurstGap = 60s;
// The console's exchange: up to six tries, half a second each.
constexpr int kTries = 6;
constexpr int kWaitMs = 500;
// A stream is silent after three of its recent intervals without a reading, never sooner than
// a second; before two readings tell the interval, after this long.
constexpr auto kShortestSilence = std::chrono::seconds(1);
constexpr auto kFirstReadingWait = std::chrono::seconds(5);
// A silent sensor is asked again after the silence limit, then after twice as long each time,
// up to this (or the limit, when that is longer).
constexpr auto kLongestAskWait = std::chrono::seconds(10);

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

}  // namespace

Recorder::Recorder(RecorderConfig config, std::function<void(const SensorReading&)> reading,
                   std::function<void(const std::string&)> report)
    : config_(std::move(config)),
      reading_(std::move(reading)),
      report_(std::move(report)),
      dispatcher_(std::make_shared<LoopDispatcher>()) {
  sink_.deliverLine = [this](const std::string& line) {
    lastLine_ = line;
    if (awaited_ && !answerLine_ && awaited_(line)) answerLine_ = line;
    if (infoAsked_ && line.find(kMarkerInfo) != std::string::npos &&
        ParseSensorInfo(line).idValid) {
      infoAsked_ = false;
      infoReply_ = line;
    }
  };
  sink_.angleReceived = [this](double value) {
    if (config_.ids.empty()) {
      if (streaming_ && sensorId_) Deliver(*sensorId_, value);
    } else {
      BusFrame(value);
    }
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
    port.SetDevDir(config_.devDir);
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

std::string Recorder::DevicePath() const { return comm_ ? comm_->FormatOpenPath() : std::string(); }

void Recorder::Open() {
  if (!comm_) CreatePort();
  comm_->Open();
  comm_->SetRtsLine(true);
  comm_->SetDtrLine(true);
}

void Recorder::Received() {
  if (!comm_->IsOpen()) return;
  const std::string text = comm_->ReceiveText();
  if (!text.empty()) lastRx_ = Clock::now();
  decoder_.Feed(text, sink_);
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
  // The stream's pace: the gap from the reading before, unless silence or a loss lies between.
  const Clock::time_point now = Clock::now();
  if (silentSince_) {
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(now - *silentSince_);
    report_(config_.port + ": the sensor streams again at " + ClockText() + ", after " +
            std::to_string(silent.count()) + " ms of silence");
    silentSince_.reset();
  } else if (lastReading_) {
    const Clock::duration gap = now - *lastReading_;
    interval_ = interval_ ? (*interval_ * 7 + gap) / 8 : gap;
  }
  lastReading_ = now;
  File(id, angle, lastLine_, std::chrono::system_clock::now());
}

Recorder::Clock::duration Recorder::SilenceLimit() const {
  if (!interval_) return kFirstReadingWait;
  return std::max<Clock::duration>(kShortestSilence, *interval_ * 3);
}

void Recorder::WatchStream() {
  if (!streaming_ || !sensorId_) return;
  const Clock::time_point now = Clock::now();
  if (infoReply_) {
    const SensorInfo info = ParseSensorInfo(*infoReply_);
    infoReply_.reset();
    if (info.id != *sensorId_) {
      RefuseOther(info.id);
      return;
    }
    // Ours, perhaps just powered up: it streams once asked.
    version_ = info.items[kInfoVersion];
    mode_ = info.items[kInfoMode];
    negativeRange_ = info.items[kInfoNegativeRange];
    positiveRange_ = info.items[kInfoPositiveRange];
    comm_->SendText(kCmdRead);
    return;
  }
  if (silentSince_) {
    if (now >= nextAsk_) AskAgain(now);
    return;
  }
  const Clock::time_point since = lastReading_ ? *lastReading_ : streamAsked_;
  const Clock::duration limit = SilenceLimit();
  if (now - since < limit) return;
  silentSince_ = since;
  ++counters_.fellSilent;
  const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(now - since);
  report_(config_.port + ": the sensor fell silent at " + ClockText() + " (no reading for " +
          std::to_string(quiet.count()) + " ms" + (lastRx_ > since ? ", though bytes came" : "") +
          ", its device still open), counted as fell_silent; asking it again");
  askWait_ = limit;
  AskAgain(now);
}

void Recorder::AskAgain(Clock::time_point now) {
  // Its ID first: a sensor put in its place must not be recorded under its ID.
  infoAsked_ = true;
  comm_->SendText(kCmdInfo);
  nextAsk_ = now + askWait_;
  askWait_ = std::min<Clock::duration>(askWait_ * 2,
                                       std::max<Clock::duration>(kLongestAskWait, SilenceLimit()));
}

RecorderState Recorder::State() const {
  RecorderState state;
  state.deviceLost = deviceLost_;
  const auto of = [&](bool delivering) {
    return deviceLost_  ? SensorState::kDeviceLost
           : delivering ? SensorState::kStreaming
                        : SensorState::kSilent;
  };
  if (config_.ids.empty()) {
    if (sensorId_) {
      state.sensors[*sensorId_] = of(streaming_ && !silentSince_ && comm_ && comm_->IsOpen());
    }
  } else {
    for (const auto& [id, streak] : silentStreak_) state.sensors[id] = of(streak == 0);
  }
  return state;
}

const char* SensorStateName(SensorState state) {
  switch (state) {
    case SensorState::kStreaming:
      return "streaming";
    case SensorState::kSilent:
      return "silent";
    case SensorState::kDeviceLost:
      return "device lost";
  }
  return "";
}

void Recorder::File(int id, double angle, const std::string& line,
                    std::chrono::system_clock::time_point time) {
  SensorReading r;
  r.time = time;
  r.sequence = config_.nextSequence ? config_.nextSequence(id) : ++sequence_[id];
  r.recorder = config_.recorderId;
  r.port = config_.port;
  r.id = id;
  r.angle = angle;
  r.line = line;
  if (config_.ids.empty()) {
    r.version = version_;
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
  deviceLost_ = true;
  streaming_ = false;
  awaiting_.reset();
  answer_.reset();
  afterSilent_.reset();
  decoder_.ClearRxBuffer();
  nextTry_ = Clock::now() + kReopenEvery;
  report_(config_.port + " lost at " + ClockText() + ", waiting for it to come back");
}

void Recorder::TryReopen() {
  nextTry_ = Clock::now() + kReopenEvery;
  // Only the device that was lost, through the path it was opened by: the same ports/comN
  // link once it leads to a device again, the same default device (COM1 opened as
  // /dev/ttyS0), or the device path as given (through its private link). With the link
  // gone, what the COM number falls back to is another device, never to be opened.
  const std::string path = comm_->OpenedPath();
  if (path.empty() || !DevicePresent(path)) return;
  try {
    comm_->OpenPath(path);
  } catch (const EVaCommError&) {
    return;  // there but not to be opened yet: the next try
  }
  comm_->SetRtsLine(true);
  comm_->SetDtrLine(true);
  deviceLost_ = false;
  decoder_.ClearRxBuffer();
  if (config_.ids.empty() && !StartContinuous()) return;
  lost_ = false;
  report_(config_.port + " back at " + ClockText() + ", recording again");
}

std::optional<std::string> Recorder::Exchange(
    const std::string& command, const std::function<bool(const std::string&)>& answers, int tries,
    int waitMs) {
  awaited_ = answers;
  answerLine_.reset();
  struct Done {
    Recorder& recorder;
    ~Done() { recorder.awaited_ = nullptr; }
  } done{*this};
  for (int i = 0; i < tries && comm_->IsOpen(); ++i) {
    comm_->SendText(command);
    if (dispatcher_->RunUntil([&] { return answerLine_ || !comm_->IsOpen(); },
                              std::chrono::milliseconds(waitMs)) &&
        comm_->IsOpen()) {
      return answerLine_;
    }
  }
  return std::nullopt;
}

bool Recorder::StartContinuous() {
  // A sensor still streaming from before is stopped first, so its frames do not hide the
  // information line.
  comm_->SendText(kCmdStop);
  Pump(200ms);
  decoder_.ClearRxBuffer();
  // A line whose ID item is no sensor address (noise holding "V:", a reply that lost a comma)
  // names no sensor, neither this one nor another: no answer, the question is asked again.
  const std::optional<std::string> reply = Exchange(
      kCmdInfo,
      [](const std::string& line) {
        return line.find(kMarkerInfo) != std::string::npos && ParseSensorInfo(line).idValid;
      },
      kTries, kWaitMs);
  if (!reply) {
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
  const SensorInfo info = ParseSensorInfo(*reply);
  if (sensorId_ && *sensorId_ != info.id) {
    RefuseOther(info.id);
    return false;
  }
  sensorId_ = info.id;
  version_ = info.items[kInfoVersion];
  mode_ = info.items[kInfoMode];
  negativeRange_ = info.items[kInfoNegativeRange];
  positiveRange_ = info.items[kInfoPositiveRange];
  streaming_ = true;
  comm_->SendText(kCmdRead);
  streamAsked_ = Clock::now();
  lastReading_.reset();
  silentSince_.reset();
  infoAsked_ = false;
  infoReply_.reset();
  return true;
}

void Recorder::RefuseOther(int id) {
  ++counters_.refused;
  streaming_ = false;
  closing_ = true;
  comm_->Close();
  closing_ = false;
  lost_ = true;
  nextTry_ = Clock::now() + kReopenEvery;
  report_(config_.port + " came back with another sensor (ID " + std::to_string(id) +
          " instead of " + std::to_string(*sensorId_) + "), waiting for the right one");
}

void Recorder::Pump(std::chrono::milliseconds time) { dispatcher_->RunFor(time); }

// A frame does not say who sent it, so timing does. A frame is an ID's answer only when it
// comes inside that ID's reply window (--reply-ms from its poll) and the line then stays
// quiet for the guard time without a second one; a poll goes out only after the line has
// been quiet for the guard time. Whatever else comes is counted and never filed: a frame
// after a silent window (that ID answering late), a second frame for one poll (no telling
// which is the answer), and frames while no poll is pending (a sensor talking unasked). Talk
// of the last kind spoils the round it comes in and the next: its frames may have fallen into
// a silent ID's window and passed for that ID's answer, so their answers are not filed either.
void Recorder::PollRound(const std::function<bool()>& stop) {
  const Clock::time_point roundStart = Clock::now();
  const Clock::time_point roundEnd = roundStart + std::chrono::milliseconds(config_.intervalMs);
  for (const int id : config_.ids) {
    if (stop() || !comm_->IsOpen() || !WaitQuiet({}, stop)) break;
    // A frame broken off before the quiet is nobody's answer.
    decoder_.ClearRxBuffer();
    awaiting_ = id;
    lastPolled_ = id;
    afterSilent_.reset();
    answer_.reset();
    ambiguous_ = false;
    const std::string frame{static_cast<char>(PollAddress(id)), '\x05'};
    comm_->SendText(frame);
    windowCloses_ = Clock::now() + std::chrono::milliseconds(config_.replyMs);
    dispatcher_->RunUntil([&] { return answer_ || ambiguous_ || !comm_->IsOpen(); },
                          std::chrono::milliseconds(config_.replyMs));
    const bool confirmed =
        WaitQuiet(answer_ || ambiguous_ ? Clock::time_point{} : windowCloses_, stop);
    const std::optional<Held> answer = confirmed && !ambiguous_ ? answer_ : std::nullopt;
    const bool ambiguous = ambiguous_;
    awaiting_.reset();
    answer_.reset();
    ambiguous_ = false;
    if (!comm_->IsOpen() || !confirmed) break;
    uint64_t& streak = silentStreak_[id];
    if (answer) {
      held_.push_back(*answer);
      if (streak > 0) report_("ID " + std::to_string(id) + " answers again");
      streak = 0;
    } else if (!ambiguous) {
      afterSilent_ = id;
      ++counters_.silent[id];
      if (++streak == 1) {
        report_("ID " + std::to_string(id) + ": no answer on " + config_.port +
                " (counted; the other IDs go on)");
      }
    }
  }
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - roundStart);
  if (took.count() > config_.intervalMs && !overrunLogged_ && !stop() && comm_->IsOpen()) {
    overrunLogged_ = true;
    report_("a round of polls on " + config_.port + " took " + std::to_string(took.count()) +
            " ms, more than the " + std::to_string(config_.intervalMs) +
            " ms interval (the line's guard times after silent or late answers): the rounds " +
            "follow one another without pause");
  }
  while (!stop() && comm_->IsOpen() && Clock::now() < roundEnd) {
    MaybeTick();
    dispatcher_->RunUntil(
        [&] { return stop() || !comm_->IsOpen(); },
        std::min<std::chrono::milliseconds>(
            100ms,
            std::chrono::duration_cast<std::chrono::milliseconds>(roundEnd - Clock::now()) + 1ms));
  }
  FileRound();
}

bool Recorder::WaitQuiet(Clock::time_point from, const std::function<bool()>& stop) {
  for (;;) {
    const Clock::time_point until = std::max(from, lastRx_) + kGuard;
    const Clock::time_point now = Clock::now();
    if (now >= until) return true;
    if (stop() || !comm_->IsOpen()) return false;
    MaybeTick();
    const Clock::time_point limit = std::min(until, now + 100ms);
    dispatcher_->RunUntil([&] { return stop() || !comm_->IsOpen() || lastRx_ + kGuard > until; },
                          std::chrono::duration_cast<std::chrono::milliseconds>(limit - now) + 1ms);
  }
}

void Recorder::BusFrame(double angle) {
  if (awaiting_) {
    if (!answer_ && !ambiguous_) {
      if (Clock::now() <= windowCloses_) {
        answer_ = Held{*awaiting_, angle, lastLine_, std::chrono::system_clock::now()};
      } else {
        Unsolicited(Kind::kLate, *awaiting_);
      }
      return;
    }
    if (answer_) {
      answer_.reset();
      Unsolicited(Kind::kTwice, *awaiting_);
    }
    ambiguous_ = true;
    Unsolicited(Kind::kTwice, *awaiting_);
    return;
  }
  if (afterSilent_) {
    Unsolicited(Kind::kLate, *afterSilent_);
  } else {
    Unsolicited(Kind::kUnasked, lastPolled_);
  }
}

void Recorder::Unsolicited(Kind kind, int id) {
  ++counters_.unsolicited;
  if (kind == Kind::kUnasked) roundTalk_ = true;
  // Reported once per ID and burst: a burst goes on until a minute passes without more.
  const int key = static_cast<int>(kind) * 1000 + (kind == Kind::kUnasked ? 0 : id);
  const Clock::time_point now = Clock::now();
  const auto last = lastUnsolicited_.find(key);
  const bool newBurst = last == lastUnsolicited_.end() || now - last->second > kBurstGap;
  lastUnsolicited_[key] = now;
  if (!newBurst) return;
  const std::string who = "ID " + std::to_string(id);
  switch (kind) {
    case Kind::kLate:
      report_(who + " answers on " + config_.port + " after --reply-ms (" +
              std::to_string(config_.replyMs) +
              " ms): its late frames are counted as unsolicited, not filed");
      break;
    case Kind::kTwice:
      report_(who + ": more than one frame for one poll on " + config_.port +
              " (a late or unasked sender): none of them filed");
      break;
    case Kind::kUnasked:
      report_("frames nobody asked for on " + config_.port +
              (id < 0 ? std::string(" before the first poll") : " after the poll of " + who) +
              ": counted as unsolicited; no answer is filed while they go on");
      break;
  }
}

void Recorder::FileRound() {
  if (!roundTalk_ && !talkBefore_) {
    for (const Held& h : held_) File(h.id, h.angle, h.line, h.time);
  } else {
    counters_.unsolicited += held_.size();
  }
  held_.clear();
  talkBefore_ = roundTalk_;
  roundTalk_ = false;
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
      WatchStream();
      Pump(100ms);
    } else {
      PollRound(stop);
    }
  }
  if (comm_->IsOpen()) {
    if (config_.ids.empty()) {
      comm_->SendText(kCmdStop);
      // The last frames already on their way are still taken.
      Pump(100ms);
    }
    closing_ = true;
    comm_->Close();
    closing_ = false;
  }
  if (counters_.unsolicited > 0) {
    report_(std::to_string(counters_.unsolicited) + " frames on " + config_.port +
            " not recorded: they came outside the reply windows (late or unasked)");
  }
  if (tick_) tick_();
}

}  // namespace kelta::record

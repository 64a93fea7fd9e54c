#include "apps/sim/SimulatedSensor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "apps/sim/CommandAssembler.h"
#include "apps/sim/PseudoTerminal.h"
#include "apps/sim/SensorCommand.h"
#include "apps/sim/SensorWire.h"

namespace kelta::sim {

namespace {

// Only used when inotify is unavailable: how often a closed slave is looked at again.
constexpr int kReopenCheckMs = 50;

bool Readable(const pollfd& p) { return (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0; }

// True while nobody holds the slave open (the master then polls POLLHUP).
bool SlaveClosed(int master) {
  pollfd p{master, POLLOUT, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

void DrainInotify(int fd) {
  alignas(inotify_event) char buffer[4096];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

std::string ConfigProblem(const SensorConfig& c) {
  std::string problem = SettingsProblem(c.settings);
  if (!problem.empty()) return problem;
  if (c.fixedAngle && !std::isfinite(*c.fixedAngle)) return "the fixed angle must be finite";
  if (c.countFrom && !(std::isfinite(*c.countFrom) && std::isfinite(c.countStep))) {
    return "the count's start and step must be finite";
  }
  if (!(std::isfinite(c.countWrap) && c.countWrap >= 0)) {
    return "the count's wrap must be finite and not negative";
  }
  if (!(c.sweepPeriodSeconds >= 0.1 && c.sweepPeriodSeconds <= 1e6)) {
    return "the sweep period must be 0.1 to 1000000 seconds";
  }
  if (!(c.framesPerSecond >= 0.01 && c.framesPerSecond <= 1000.0)) {
    return "the frame rate must be 0.01 to 1000 frames a second";
  }
  if (c.replyDelay.count() < 0 || c.replyDelay > std::chrono::hours(1)) {
    return "the reply delay must be 0 to 3600000 ms";
  }
  if (c.splitGap.count() < 0 || c.splitGap > std::chrono::seconds(10)) {
    return "the split gap must be 0 to 10000 ms";
  }
  if (c.lineBaud < 0 || c.lineBaud > 4000000) return "the line rate must be 0 to 4000000 baud";
  if (c.garbage.size() > 4096) return "at most 4096 garbage bytes";
  for (const auto& [id, delay] : c.lateIds) {
    const bool answers = c.busIds.empty()
                             ? id == c.settings.id
                             : std::find(c.busIds.begin(), c.busIds.end(), id) != c.busIds.end();
    if (!answers) return "late ID " + std::to_string(id) + " answers no poll on this line";
    if (delay.count() < 0 || delay > std::chrono::hours(1)) {
      return "the late reply delay must be 0 to 3600000 ms";
    }
  }
  for (size_t i = 0; i < c.busIds.size(); ++i) {
    const int id = c.busIds[i];
    if (id < 0 || id > kMaxSensorId) {
      return "bus ID " + std::to_string(id) + " is outside 0 to " + std::to_string(kMaxSensorId);
    }
    if (std::find(c.busIds.begin(), c.busIds.begin() + i, id) != c.busIds.begin() + i) {
      return "bus ID " + std::to_string(id) + " is given twice";
    }
  }
  return {};
}

SimulatedSensor::SimulatedSensor(SensorConfig config) : config_(std::move(config)) {
  const std::string problem = ConfigProblem(config_);
  if (!problem.empty()) throw std::invalid_argument(problem);
}

SimulatedSensor::~SimulatedSensor() { Stop(); }

void SimulatedSensor::Start() {
  std::lock_guard life(lifecycleMutex_);
  if (started_) throw std::logic_error("SimulatedSensor::Start called twice");
  auto pty = std::make_unique<PseudoTerminal>();
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    const int err = errno;
    throw std::system_error(err, std::generic_category(), "eventfd failed");
  }
  // The open event tells the reader that a client came back after a hang-up; without it
  // the reader falls back to a slow re-check.
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch >= 0 && inotify_add_watch(watch, pty->SlavePath().c_str(), IN_OPEN) < 0) {
    close(watch);
    watch = -1;
  }
  {
    std::lock_guard lock(mutex_);
    startTime_ = Clock::now();
    slavePath_ = pty->SlavePath();
    if (config_.unasked) {
      streaming_ = true;
      nextFrame_ = startTime_;
    }
  }
  wakeFd_ = wake;
  inotifyFd_ = watch;
  {
    // Last: a WriteRaw on another thread may use the line (and wakeFd_) from here on.
    std::lock_guard lock(writeMutex_);
    masterFd_ = pty->MasterFd();
  }
  pty_ = std::move(pty);
  started_ = true;
  try {
    reader_ = std::thread([this] { ReaderLoop(); });
    sender_ = std::thread([this] { SenderLoop(); });
  } catch (...) {
    ShutdownLocked();
    throw;
  }
}

void SimulatedSensor::Stop() {
  std::lock_guard life(lifecycleMutex_);
  ShutdownLocked();
}

void SimulatedSensor::ShutdownLocked() {
  if (!started_ || stopped_) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  senderWake_.notify_all();
  SignalWake();
  if (reader_.joinable()) reader_.join();
  if (sender_.joinable()) sender_.join();
  {
    std::lock_guard lock(writeMutex_);
    masterFd_ = -1;
  }
  pty_.reset();
  close(wakeFd_);
  wakeFd_ = -1;
  if (inotifyFd_ >= 0) close(inotifyFd_);
  inotifyFd_ = -1;
  stopped_ = true;
}

void SimulatedSensor::HangUp() {
  std::lock_guard life(lifecycleMutex_);
  if (!started_ || stopped_ || hungUp_) return;
  hungUp_ = true;
  SignalWake();
  if (reader_.joinable()) reader_.join();
  std::lock_guard lock(writeMutex_);
  masterFd_ = -1;
  pty_->Close();
}

void SimulatedSensor::SignalWake() {
  const uint64_t one = 1;
  // Only fails when the counter would overflow, which a few signals never reach.
  (void)!write(wakeFd_, &one, sizeof one);
}

std::string SimulatedSensor::SlavePath() const {
  std::lock_guard lock(mutex_);
  return slavePath_;
}

SensorConfig SimulatedSensor::Config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

SensorSettings SimulatedSensor::Settings() const {
  std::lock_guard lock(mutex_);
  return config_.settings;
}

void SimulatedSensor::Update(const std::function<void(SensorConfig&)>& change) {
  {
    std::lock_guard lock(mutex_);
    SensorConfig next = config_;
    change(next);
    const std::string problem = ConfigProblem(next);
    if (!problem.empty()) throw std::invalid_argument(problem);
    config_ = std::move(next);
  }
  senderWake_.notify_all();
}

bool SimulatedSensor::Streaming() const {
  std::lock_guard lock(mutex_);
  return streaming_;
}

void SimulatedSensor::SetPowered(bool on) {
  {
    std::lock_guard lock(mutex_);
    if (on == powered_) return;
    powered_ = on;
    // Off: what was due is gone with the power. On: the sensor starts as a fresh one does,
    // not streaming until asked (only an unasked talker talks from the start).
    pending_.clear();
    streaming_ = on && config_.unasked;
    nextFrame_ = Clock::now();
  }
  senderWake_.notify_all();
}

std::string SimulatedSensor::ReceivedBytes() const {
  std::lock_guard lock(mutex_);
  return log_;
}

uint64_t SimulatedSensor::ReceivedCount() const {
  std::lock_guard lock(mutex_);
  return receivedCount_;
}

void SimulatedSensor::ClearReceived() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

bool SimulatedSensor::WaitForReceived(std::string_view needle,
                                      std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return observed_.wait_for(lock, timeout, [&] { return log_.find(needle) != std::string::npos; });
}

uint64_t SimulatedSensor::FramesSent() const {
  std::lock_guard lock(mutex_);
  return framesSent_;
}

bool SimulatedSensor::WaitForFramesSent(uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return observed_.wait_for(lock, timeout, [&] { return framesSent_ >= count; });
}

void SimulatedSensor::ReaderLoop() {
  const int master = masterFd_;
  bool slaveClosed = false;
  char buffer[4096];
  for (;;) {
    pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}, {master, POLLIN, 0}};
    const nfds_t count = slaveClosed ? 2 : 3;
    const int timeout = slaveClosed && inotifyFd_ < 0 ? kReopenCheckMs : -1;
    const int ready = poll(fds, count, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;  // only EFAULT/EINVAL/ENOMEM: nothing sensible left to wait on
    }
    if (Readable(fds[0])) return;
    if (inotifyFd_ >= 0 && Readable(fds[1])) DrainInotify(inotifyFd_);
    if (slaveClosed) {
      // An open of the slave clears the hang-up; look at the live state, not at the event.
      slaveClosed = SlaveClosed(master);
      continue;
    }
    if (!Readable(fds[2])) continue;
    // Read until empty. EIO (or 0) is the live sign that the last client closed the slave;
    // POLLHUP in revents alone may be stale by now.
    for (;;) {
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) {
        HandleBytes(std::string_view(buffer, static_cast<size_t>(n)));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || errno == EIO) slaveClosed = true;
      break;  // EAGAIN: all read
    }
  }
}

void SimulatedSensor::HandleBytes(std::string_view bytes) {
  std::vector<SensorInput> inputs;
  assembler_.Feed(bytes, inputs);
  std::function<void(const std::string&)> observer;
  {
    // Logged and interpreted under one lock: whoever sees the bytes in the log also sees
    // what they changed, and a reply cannot leave before its command is in the log.
    std::lock_guard lock(mutex_);
    receivedCount_ += bytes.size();
    log_.append(bytes);
    const size_t limit = config_.receiveLogLimit;
    if (log_.size() > limit) {
      // Trim by a quarter more than needed so a full log is not shifted on every read.
      log_.erase(0, log_.size() - (limit - limit / 4));
    }
    if (!inputs.empty()) observer = config_.lineObserver;
    const Clock::time_point now = Clock::now();
    for (const SensorInput& input : inputs) Interpret(input, now);
  }
  senderWake_.notify_all();
  observed_.notify_all();
  if (observer) {
    for (const SensorInput& input : inputs) {
      if (input.kind == SensorInput::Kind::kLine) observer(input.line);
    }
  }
}

void SimulatedSensor::Interpret(const SensorInput& input, Clock::time_point now) {
  if (config_.silent || !powered_) return;
  const Clock::time_point due = now + config_.replyDelay;
  SensorSettings& settings = config_.settings;
  if (input.kind == SensorInput::Kind::kPoll) {
    const auto dueOf = [&](int id) {
      const auto late = config_.lateIds.find(id);
      return late == config_.lateIds.end() ? due : now + late->second;
    };
    if (config_.busIds.empty()) {
      if (input.address == AddressByte(settings.id)) QueueReply(dueOf(settings.id), true, {});
      return;
    }
    for (size_t i = 0; i < config_.busIds.size(); ++i) {
      if (input.address == AddressByte(config_.busIds[i])) {
        QueueReply(dueOf(config_.busIds[i]), true, {}, static_cast<int>(i));
      }
    }
    return;
  }
  const SensorCommand command = ParseCommand(input.line);
  const auto answer = [&](bool ok) {
    QueueReply(due, false, std::string(ok ? kReplyOk : kReplyRejected));
  };
  switch (command.kind) {
    case CommandKind::kInfo:
      QueueReply(due, false, InfoLine(settings));
      break;
    case CommandKind::kRead:
      if (!streaming_) nextFrame_ = due;
      streaming_ = true;
      break;
    case CommandKind::kStop:
      streaming_ = false;
      break;
    case CommandKind::kData:
      QueueReply(due, true, {});
      break;
    case CommandKind::kSave:
      break;  // the settings live in this object only; a real sensor stores them silently
    case CommandKind::kId:
      if (command.valid) settings.id = command.value;
      answer(command.valid);
      break;
    case CommandKind::kNegativeRange:
      if (command.valid) settings.negativeRange = command.value;
      answer(command.valid);
      break;
    case CommandKind::kPositiveRange:
      if (command.valid) settings.positiveRange = command.value;
      answer(command.valid);
      break;
    case CommandKind::kMode:
      if (command.valid) settings.mode = std::to_string(command.value);
      answer(command.valid);
      break;
    case CommandKind::kUnknown:
      answer(false);
      break;
    case CommandKind::kNotACommand:
      break;
  }
}

void SimulatedSensor::QueueReply(Clock::time_point due, bool frame, std::string text,
                                 int busIndex) {
  // A console flooding commands faster than replies leave loses the excess, as a sensor
  // with a small transmit buffer would.
  if (pending_.size() >= kMaxPendingReplies) return;
  const auto at = std::upper_bound(pending_.begin(), pending_.end(), due,
                                   [](Clock::time_point t, const Pending& p) { return t < p.due; });
  pending_.insert(at, Pending{due, frame, busIndex, std::move(text)});
}

double SimulatedSensor::AngleAt(Clock::time_point when, int busIndex) const {
  const int k = std::max(busIndex, 0);
  if (config_.countFrom) {
    double counted = config_.countStep * static_cast<double>(framesSent_);
    if (config_.countWrap > 0) {
      counted = std::fmod(counted, config_.countWrap);
      if (counted < 0) counted += config_.countWrap;
    }
    return *config_.countFrom + counted + k;
  }
  if (config_.fixedAngle) return *config_.fixedAngle + k;
  const double low = -config_.settings.negativeRange / 10.0;
  const double high = config_.settings.positiveRange / 10.0;
  const double seconds = std::chrono::duration<double>(when - startTime_).count();
  const double share = busIndex > 0 ? static_cast<double>(k) / config_.busIds.size() : 0.0;
  const double phase = 2.0 * std::numbers::pi * (seconds / config_.sweepPeriodSeconds + share);
  return (low + high) / 2.0 + (high - low) / 2.0 * std::sin(phase);
}

void SimulatedSensor::SenderLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    bool haveNext = false;
    Clock::time_point next{};
    if (!pending_.empty()) {
      next = pending_.front().due;
      haveNext = true;
    }
    if (streaming_ && (!haveNext || nextFrame_ < next)) {
      next = nextFrame_;
      haveNext = true;
    }
    if (!haveNext) {
      senderWake_.wait(lock);
      continue;
    }
    if (next > now) {
      senderWake_.wait_until(lock, next);
      continue;
    }
    bool frame = true;
    // A stream frame: the sensor's own, or the unasked talker's, which has an angle of its own.
    int busIndex = config_.unasked ? static_cast<int>(config_.busIds.size()) : -1;
    std::string bytes;
    std::string angleText;
    if (!pending_.empty() && pending_.front().due <= now) {
      frame = pending_.front().frame;
      busIndex = pending_.front().busIndex;
      bytes = std::move(pending_.front().text);
      pending_.pop_front();
    } else {
      const auto period = std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(1.0 / config_.framesPerSecond));
      // A sender held up (slow line, console not reading) goes on at the rate from now
      // instead of bursting out the frames it missed.
      nextFrame_ = std::max(nextFrame_ + period, now);
    }
    if (frame) {
      angleText = AngleText(AngleAt(now, busIndex), !config_.noDecimal);
      bytes = config_.garbage + DataFrame(angleText);
    }
    const WriteShape shape{config_.splitBytes, config_.splitGap, config_.lineBaud};
    // Only this thread counts frames: the number is this frame's once it is written.
    const uint64_t frameNumber = framesSent_;
    const auto frameObserver = frame ? config_.frameObserver : nullptr;
    lock.unlock();
    const bool sent = Send(bytes, shape);
    if (sent && frameObserver) frameObserver(frameNumber, angleText);
    lock.lock();
    if (sent && frame) {
      ++framesSent_;
      observed_.notify_all();
    }
  }
}

bool SimulatedSensor::WriteRaw(std::string_view bytes) { return Send(bytes, WriteShape{}); }

bool SimulatedSensor::Send(std::string_view bytes, const WriteShape& shape) {
  std::lock_guard lock(writeMutex_);
  const int fd = masterFd_;
  // Written now, the bytes would wait in the pseudo-terminal for the next client; a real
  // line with nobody listening loses them.
  if (fd < 0 || SlaveClosed(fd)) return false;
  const std::chrono::nanoseconds byteTime{shape.lineBaud > 0 ? 10'000'000'000LL / shape.lineBaud
                                                             : 0};
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t length =
        shape.splitBytes > 0 ? std::min(shape.splitBytes, bytes.size() - pos) : bytes.size() - pos;
    if (pos > 0 && !SleepUntil(Clock::now() + shape.splitGap)) return false;
    if (!WritePaced(fd, bytes.substr(pos, length), byteTime)) return false;
    pos += length;
  }
  return true;
}

bool SimulatedSensor::WritePaced(int fd, std::string_view bytes,
                                 std::chrono::nanoseconds byteTime) {
  if (byteTime.count() == 0) return WriteAll(fd, bytes);
  // Byte k leaves at start + k * byteTime; all bytes whose time has come go in one write.
  const Clock::time_point start = Clock::now();
  size_t done = 0;
  while (done < bytes.size()) {
    const auto elapsed = Clock::now() - start;
    const size_t due = std::min(bytes.size(), static_cast<size_t>(elapsed / byteTime) + 1);
    if (due > done) {
      if (!WriteAll(fd, bytes.substr(done, due - done))) return false;
      done = due;
    } else if (!SleepUntil(start + byteTime * static_cast<int64_t>(done))) {
      return false;
    }
  }
  return true;
}

bool SimulatedSensor::WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;  // EIO: the client hung up
    // The client is not reading: wait for room, or for Stop/HangUp.
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLOUT, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[0].revents != 0) return false;
    if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return false;
  }
  return true;
}

bool SimulatedSensor::SleepUntil(Clock::time_point until) const {
  for (;;) {
    const auto left = until - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                           static_cast<long>(ns % 1'000'000'000)};
    pollfd wake{wakeFd_, POLLIN, 0};
    const int ready = ppoll(&wake, 1, &timeout, nullptr);
    if (ready > 0) return false;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace kelta::sim

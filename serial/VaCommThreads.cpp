#include "serial/VaCommThreads.h"

#include "serial/VaComm.h"

namespace kelta {

// --- CommSession

CommSession::CommSession(device::SerialDevice& device, std::uint32_t writeSize,
                         std::shared_ptr<const std::atomic<bool>> txEmptyBound,
                         std::shared_ptr<IGuiDispatcher> dispatcher, TVaCustomComm* port)
    : device(device),
      txEmptyBound(std::move(txEmptyBound)),
      dispatcher(std::move(dispatcher)),
      port(port),
      queue(writeSize) {}

CommSession::~CommSession() = default;

int CommSession::SetupEventMask(std::uint32_t mask, std::uint32_t rx80Mark) {
  eventMask = mask;
  return device.SetupEventMask(mask, wakeEvent, rx80Mark);
}

void CommSession::HandOff(const std::function<void(TVaCustomComm&)>& fn) {
  if (stopped.load()) return;
  dispatcher->Call([this, &fn] {
    if (!stopped.load()) fn(*port);
  });
}

void CommSession::ReportDeviceGone() {
  if (goneReported.exchange(true)) return;
  HandOff([](TVaCustomComm& p) { p.DeviceGone(); });
}

// --- TVaCommThread

TVaCommThread::TVaCommThread(std::shared_ptr<CommSession> session)
    : session_(std::move(session)), state_(std::make_shared<State>()) {
  state_->basePriority = device::BaseThreadPriority();
}

TVaCommThread::~TVaCommThread() {
  if (!thread_.joinable()) return;
  if (Finished()) {
    thread_.join();
  } else {
    thread_.detach();  // it holds what it uses and ends on its own
  }
}

void TVaCommThread::Start(const char* name, TThreadPriority priority, void (*body)(CommSession&)) {
  thread_ = std::thread([state = state_, session = session_, name, priority, body] {
    {
      std::lock_guard<std::mutex> hold(state->lock);
      state->thread = device::AdoptCurrentThread(name);
      device::SetThreadPriority(state->thread, state->basePriority, priority);
    }
    body(*session);
    std::lock_guard<std::mutex> hold(state->lock);
    device::ReleaseThread(state->thread);
    state->thread = device::kNoHandle;
    state->finished = true;
    state->ended.notify_all();
  });
}

bool TVaCommThread::Finished() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  return state_->finished;
}

bool TVaCommThread::JoinFor(std::chrono::milliseconds limit) {
  if (!thread_.joinable()) return true;
  {
    std::unique_lock<std::mutex> hold(state_->lock);
    if (!state_->ended.wait_for(hold, limit, [this] { return state_->finished; })) return false;
  }
  thread_.join();
  return true;
}

void TVaCommThread::SetPriority(TThreadPriority priority) {
  std::lock_guard<std::mutex> hold(state_->lock);
  if (state_->thread != device::kNoHandle) {
    device::SetThreadPriority(state_->thread, state_->basePriority, priority);
  }
}

// --- TVaCommEventThread

namespace {
constexpr int kFailedWaitPauseMs = 10;
}  // namespace

TVaCommEventThread::TVaCommEventThread(std::shared_ptr<CommSession> session,
                                       TThreadPriority priority)
    : TVaCommThread(std::move(session)) {
  Start("VaCommEvent", priority, &Execute);
}

void TVaCommEventThread::RequestStop() {
  if (!session_) return;
  session_->stopped.store(true);
  session_->wakeEvent.Set();
  session_.reset();  // the running thread keeps its own reference until it ends
}

void TVaCommEventThread::Execute(CommSession& s) {
  while (!s.stopped.load()) {
    // Wait step: the device's line events, its loss, or WakeEvent.
    if (!s.gate.Enter()) break;
    std::uint32_t bits = 0;
    const auto outcome = s.device.WaitEvents(bits);
    s.gate.Leave();
    // Handling step.
    if (!HandleWait(s, outcome, bits)) break;
  }
}

bool TVaCommEventThread::HandleWait(CommSession& s, device::SerialDevice::EventWait outcome,
                                    std::uint32_t bits) {
  using EventWait = device::SerialDevice::EventWait;
  switch (outcome) {
    case EventWait::Broken:
      return false;  // waiting again would only spin
    case EventWait::Failed:
      // Not reported: the next pass waits again, after a pause, so a device whose waits keep
      // failing at once does not keep a processor busy (or the stop signal ends the pause).
      if (s.wakeEvent.WaitFor(kFailedWaitPauseMs) == TVaWaitEvent::TWaitResult::wrSignaled) {
        s.wakeEvent.Reset();
      }
      return !s.stopped.load();
    case EventWait::Woken:
      // Reset first, then look at the flag: a stop signal raised meanwhile is either seen in
      // the flag or still set for the next wait, never lost.
      s.wakeEvent.Reset();
      return !s.stopped.load();
    case EventWait::Gone:
      if (s.stopped.load()) return false;
      try {
        s.ReportDeviceGone();
      } catch (...) {
        return false;
      }
      // Nothing more can come from the device: only the stop signal is left to wait for.
      while (!s.stopped.load()) {
        if (s.wakeEvent.WaitFor(-1) != TVaWaitEvent::TWaitResult::wrSignaled) return false;
      }
      return false;
    case EventWait::Events:
      break;
  }
  if (s.stopped.load()) return false;
  bits &= s.eventMask;
  if (bits == 0) return true;
  try {
    s.HandOff([bits](TVaCustomComm& p) { p.DispatchEvents(bits); });
  } catch (...) {
    return false;  // the GUI thread can no longer take calls
  }
  // WakeEvent is raised only with the stop flag set, and a wait that finds it raised resets it
  // (Woken above): no reset here, which would cost a system call on every batch.
  return !s.stopped.load();
}

// --- TVaCommWriteThread

TVaCommWriteThread::TVaCommWriteThread(std::shared_ptr<CommSession> session,
                                       TThreadPriority priority)
    : TVaCommThread(std::move(session)) {
  Start("VaCommWrite", priority, &Execute);
}

void TVaCommWriteThread::SignalClose() {
  if (!session_) return;
  session_->stopped.store(true);
  session_->closeEvent.Set();
  session_.reset();  // the running thread keeps its own reference until it ends
}

bool TVaCommWriteThread::QueueData(const void* data, std::uint32_t count,
                                   std::uint32_t writeTimeoutMs) {
  CommSession& s = *session_;
  std::unique_lock<std::mutex> hold(s.writeLock);
  const std::uint64_t capacity = s.queue.Capacity();
  if (std::uint64_t{s.queue.Size()} + count > capacity) {
    const TVaTimeout timeout{TickCount(), writeTimeoutMs};
    for (;;) {
      if (std::uint64_t{s.queue.Size()} + count <= capacity) break;
      const std::uint32_t now = TickCount();
      if (timeout.Expired(now)) return false;
      s.room.wait_for(hold, std::chrono::milliseconds(timeout.Remaining(now)));
    }
  }
  s.queue.Append(data, count);
  s.dataEvent.Set();
  return true;
}

bool TVaCommWriteThread::CompleteWrite(CommSession& s, std::uint32_t k) {
  bool empty;
  {
    std::lock_guard<std::mutex> hold(s.writeLock);
    s.queue.Consume(k);
    empty = s.queue.Size() == 0;
    // Tested and reset under the lock, so bytes appended meanwhile keep DataEvent set.
    if (empty) s.dataEvent.Reset();
    s.room.notify_all();
  }
  if (empty && s.txEmptyBound->load()) {
    try {
      s.HandOff([](TVaCustomComm& p) { p.HandleEvents(EV_TXEMPTY); });
    } catch (...) {
      return false;  // an exception carried back ends the write thread without a report
    }
  }
  return true;
}

void TVaCommWriteThread::Execute(CommSession& s) {
  bool gone = false;
  for (;;) {
    // Wait step: the first of CloseEvent and DataEvent (CloseEvent wins); once the device is
    // gone only the close signal matters.
    const int signal =
        gone ? (s.closeEvent.WaitFor(-1) == TVaWaitEvent::TWaitResult::wrSignaled ? 0 : -1)
             : device::WaitFirst(s.closeEvent, s.dataEvent);
    // Handling step.
    if (signal != 1 || s.stopped.load()) break;
    if (!HandleData(s, gone)) break;
  }
}

bool TVaCommWriteThread::HandleData(CommSession& s, bool& gone) {
  const std::uint8_t* data;
  std::uint32_t n;
  {
    std::lock_guard<std::mutex> hold(s.writeLock);
    data = s.queue.Data();
    n = s.queue.Size();
    if (n == 0) {
      s.dataEvent.Reset();
      return true;
    }
  }
  // Bytes [0, n) stay put until CompleteWrite: only this thread consumes, and appends land
  // behind them.
  if (!s.gate.Enter()) return false;
  std::uint32_t written = 0;
  int err = 0;
  const auto result = s.device.Write(data, n, s.closeEvent, written, err);
  s.gate.Leave();
  using WriteResult = device::SerialDevice::WriteResult;
  if (result == WriteResult::Closing) return false;
  if (result == WriteResult::Written) return CompleteWrite(s, written);
  // Any failure would fail again at once: report the device as gone and stop writing.
  gone = true;
  try {
    s.ReportDeviceGone();
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace kelta

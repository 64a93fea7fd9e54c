#include "serial/VaCommThreads.h"

#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "serial/SerialDevice.h"
#include "serial/VaComm.h"

namespace kelta {

// --- TVaCommSession

TVaCommSession::TVaCommSession(int fd, std::uint32_t writeSize,
                               std::shared_ptr<const std::atomic<bool>> txEmptyBound,
                               std::shared_ptr<IGuiDispatcher> dispatcher, TVaCustomComm* port)
    : fd(fd),
      txEmptyBound(std::move(txEmptyBound)),
      dispatcher(std::move(dispatcher)),
      port(port),
      queue(writeSize) {}

TVaCommSession::~TVaCommSession() {
  if (epollFd >= 0) ::close(epollFd);
}

int TVaCommSession::SetupEventMask(std::uint32_t mask) {
  eventMask = mask;
  if (mask == 0) return 0;
  epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  if (epollFd < 0) return errno;
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.fd = wakeEvent.Handle();
  if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeEvent.Handle(), &wake) < 0) return errno;
  // Edge-triggered: one wake per arrival, as a received-character event; bytes a handler left
  // unread do not wake the thread again until more arrive. Hang-up and errors always report.
  epoll_event device{};
  device.events = EPOLLIN | EPOLLET;
  device.data.fd = fd;
  if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &device) < 0) return errno;
  return 0;
}

void TVaCommSession::HandOff(const std::function<void(TVaCustomComm&)>& fn) {
  if (stopped.load()) return;
  dispatcher->Call([this, &fn] {
    if (!stopped.load()) fn(*port);
  });
}

void TVaCommSession::ReportDeviceGone() {
  if (goneReported.exchange(true)) return;
  HandOff([](TVaCustomComm& p) { p.DeviceGone(); });
}

// --- TVaCommThread

namespace {

int NiceOffset(TThreadPriority priority) {
  switch (priority) {
    case TThreadPriority::tpIdle:
      return 19;
    case TThreadPriority::tpLowest:
      return 2;
    case TThreadPriority::tpLower:
      return 1;
    case TThreadPriority::tpNormal:
      return 0;
    case TThreadPriority::tpHigher:
      return -1;
    case TThreadPriority::tpHighest:
      return -2;
    case TThreadPriority::tpTimeCritical:
      return -15;
  }
  return 0;
}

int ClampNice(int nice) { return nice < -20 ? -20 : nice > 19 ? 19 : nice; }

// A raised priority needs CAP_SYS_NICE; without it the thread keeps its nice value, which is
// not an error for the port.
void ApplyNice(pid_t tid, int baseNice, TThreadPriority priority) {
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), ClampNice(baseNice + NiceOffset(priority)));
}

}  // namespace

TVaCommThread::TVaCommThread(std::shared_ptr<TVaCommSession> session)
    : session_(std::move(session)), state_(std::make_shared<State>()) {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  state_->baseNice = errno == 0 ? nice : 0;
}

TVaCommThread::~TVaCommThread() {
  if (!thread_.joinable()) return;
  if (Finished()) {
    thread_.join();
  } else {
    thread_.detach();  // it holds what it uses and ends on its own
  }
}

void TVaCommThread::Start(const char* name, TThreadPriority priority,
                          void (*body)(TVaCommSession&)) {
  thread_ = std::thread([state = state_, session = session_, name, priority, body] {
    pthread_setname_np(pthread_self(), name);
    {
      std::lock_guard<std::mutex> hold(state->lock);
      state->tid = ::gettid();
      ApplyNice(state->tid, state->baseNice, priority);
    }
    body(*session);
    std::lock_guard<std::mutex> hold(state->lock);
    state->tid = 0;
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
  if (state_->tid != 0) ApplyNice(state_->tid, state_->baseNice, priority);
}

// --- TVaCommEventThread

TVaCommEventThread::TVaCommEventThread(std::shared_ptr<TVaCommSession> session,
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

void TVaCommEventThread::Execute(TVaCommSession& s) {
  device::LineCounters counters;
  bool haveCounters = false;
  if (s.gate.Enter()) {
    haveCounters = device::ReadLineCounters(s.fd, counters) == 0;
    s.gate.Leave();
  }
  const bool wantFull = (s.eventMask & EV_RX80FULL) != 0;

  while (!s.stopped.load()) {
    epoll_event events[2];
    if (!s.gate.Enter()) break;
    const int n = ::epoll_wait(s.epollFd, events, 2, -1);
    const int waitErr = n < 0 ? errno : 0;
    std::uint32_t device = 0;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.fd == s.fd) device = events[i].events;
    }
    bool gone = (device & (EPOLLHUP | EPOLLERR)) != 0;
    std::uint32_t errors = 0;
    bool full = false;
    if (gone) {
      // Stop waiting on it: a hung-up device reports itself readable and hung up for good.
      ::epoll_ctl(s.epollFd, EPOLL_CTL_DEL, s.fd, nullptr);
    } else if (device != 0) {
      if (haveCounters) {
        device::LineCounters now;
        if (device::ReadLineCounters(s.fd, now) == 0) {
          errors = device::CounterErrors(counters, now);
          counters = now;
        }
      }
      if (wantFull) {
        std::uint32_t count = 0;
        full = device::InputCount(s.fd, count) == 0 && count >= s.rx80Mark;
      }
    }
    s.gate.Leave();

    if (n < 0) {
      if (waitErr == EINTR) continue;
      break;  // the wait set itself is broken: waiting again would only spin
    }
    if (s.stopped.load()) break;
    if (gone) {
      try {
        s.ReportDeviceGone();
      } catch (...) {
        break;
      }
      continue;
    }
    std::uint32_t bits = 0;
    if (device & EPOLLIN) bits |= EV_RXCHAR;
    if (errors != 0) bits |= EV_ERR;
    if (errors & CE_BREAK) bits |= EV_BREAK;
    if (full) bits |= EV_RX80FULL;
    bits &= s.eventMask;
    if (bits == 0) continue;
    try {
      s.HandOff([bits](TVaCustomComm& p) { p.DispatchEvents(bits); });
    } catch (...) {
      break;  // the GUI thread can no longer take calls
    }
  }
}

// --- TVaCommWriteThread

TVaCommWriteThread::TVaCommWriteThread(std::shared_ptr<TVaCommSession> session,
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
  TVaCommSession& s = *session_;
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

bool TVaCommWriteThread::CompleteWrite(TVaCommSession& s, std::uint32_t k) {
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

void TVaCommWriteThread::Execute(TVaCommSession& s) {
  bool gone = false;
  for (;;) {
    pollfd wait[2] = {{s.closeEvent.Handle(), POLLIN, 0}, {s.dataEvent.Handle(), POLLIN, 0}};
    // Once the device is gone only the close signal matters.
    const int r = ::poll(wait, gone ? 1 : 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (wait[0].revents != 0 || s.stopped.load()) break;  // CloseEvent wins
    if (gone || (wait[1].revents & POLLIN) == 0) continue;

    const std::uint8_t* data;
    std::uint32_t n;
    {
      std::lock_guard<std::mutex> hold(s.writeLock);
      data = s.queue.Data();
      n = s.queue.Size();
      if (n == 0) {
        s.dataEvent.Reset();
        continue;
      }
    }
    // Bytes [0, n) stay put until CompleteWrite: only this thread consumes, and appends land
    // behind them.
    if (!s.gate.Enter()) break;
    ssize_t written;
    do {
      written = ::write(s.fd, data, n);
    } while (written < 0 && errno == EINTR);
    int err = written < 0 ? errno : 0;
    bool closing = false;
    if (written == 0 || err == EAGAIN) {
      // Output full: wait for room on the line or for the close signal.
      pollfd out[2] = {{s.closeEvent.Handle(), POLLIN, 0}, {s.fd, POLLOUT, 0}};
      int pr;
      do {
        pr = ::poll(out, 2, -1);
      } while (pr < 0 && errno == EINTR);
      if (out[0].revents != 0) {
        closing = true;
      } else if ((out[1].revents & POLLOUT) == 0 &&
                 (out[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        err = EIO;
      }
    }
    s.gate.Leave();
    if (closing) break;
    if (written > 0) {
      if (!CompleteWrite(s, static_cast<std::uint32_t>(written))) break;
      continue;
    }
    if (err == 0 || err == EAGAIN) continue;
    // Any other failure would fail again at once: report the device as gone and stop writing.
    gone = true;
    try {
      s.ReportDeviceGone();
    } catch (...) {
      break;
    }
  }
}

}  // namespace kelta

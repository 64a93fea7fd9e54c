// The serial device on Linux: a terminal opened non-blocking and locked exclusively, its event
// wait an epoll set of the device and the wake signal (an eventfd), its line errors from the
// driver's counters where it keeps them.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "serial/SerialDevice.h"
#include "serial/Termios_linux.h"

namespace kelta::device {

// --- Error codes

std::string ErrorText(int err) {
  char buffer[256];
  // GNU strerror_r: returns the text, which may or may not be in buffer.
  return strerror_r(err, buffer, sizeof buffer);
}

bool IsNotFound(int err) { return err == ENOENT; }

bool IsNoSuchControl(int err) { return err == ENOTTY || err == EINVAL; }

bool IsDeviceGone(int err) {
  return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE || err == EBADF;
}

int OutOfMemory() { return ENOMEM; }

// --- Events and threads

namespace {

int Fd(NativeHandle handle) { return static_cast<int>(handle); }

}  // namespace

WaitEvent::WaitEvent() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (handle_ < 0) {
    const int err = errno;
    throw std::system_error(err, std::generic_category(), "eventfd");
  }
}

WaitEvent::~WaitEvent() { ::close(Fd(handle_)); }

void WaitEvent::Set() {
  const std::uint64_t one = 1;
  // The counter cannot overflow in practice, and EAGAIN would mean it is set anyway.
  while (::write(Fd(handle_), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void WaitEvent::Reset() {
  std::uint64_t value;
  while (::read(Fd(handle_), &value, sizeof value) < 0 && errno == EINTR) {
  }
}

WaitEvent::Result WaitEvent::Wait(int timeoutMs) {
  pollfd p{Fd(handle_), POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs);
    if (r > 0) return (p.revents & POLLIN) ? Result::Signaled : Result::Abandoned;
    if (r == 0) return Result::Timeout;
    if (errno != EINTR) return Result::Failed;
  }
}

int WaitFirst(WaitEvent& first, WaitEvent& second) {
  pollfd wait[2] = {{Fd(first.Native()), POLLIN, 0}, {Fd(second.Native()), POLLIN, 0}};
  for (;;) {
    const int r = ::poll(wait, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (wait[0].revents != 0) return 0;
    if (wait[1].revents & POLLIN) return 1;
    if (wait[1].revents != 0) return -1;
  }
}

NativeHandle AdoptCurrentThread(const char* name) {
  pthread_setname_np(pthread_self(), name);
  return ::gettid();
}

void ReleaseThread(NativeHandle) {}

int BaseThreadPriority() {
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  return errno == 0 ? nice : 0;
}

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

}  // namespace

void SetThreadPriority(NativeHandle thread, int base, TThreadPriority priority) {
  // A raised priority needs CAP_SYS_NICE; without it the thread keeps its nice value.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), ClampNice(base + NiceOffset(priority)));
}

// --- The device

struct SerialDevice::State {
  int fd = -1;
  // GUI thread: the counters as the last status query saw them.
  bool haveCounters = false;  // the driver keeps line error counters
  LineCounters counters;
  // Event thread (set up by the GUI thread before it starts).
  int epollFd = -1;  // device (edge-triggered) and the wake signal
  std::uint32_t mask = 0;
  std::uint32_t rx80Mark = 0;
  LineCounters eventCounters;
};

namespace {

int ReadLineCounters(int fd, LineCounters& counters) {
  serial_icounter_struct ic{};
  if (::ioctl(fd, TIOCGICOUNT, &ic) < 0) return errno;
  counters.frame = static_cast<std::uint32_t>(ic.frame);
  counters.overrun = static_cast<std::uint32_t>(ic.overrun);
  counters.parity = static_cast<std::uint32_t>(ic.parity);
  counters.brk = static_cast<std::uint32_t>(ic.brk);
  counters.bufOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
  return 0;
}

int QueueCount(int fd, unsigned long request, std::uint32_t& count) {
  int n = 0;
  if (::ioctl(fd, request, &n) < 0) {
    count = 0;
    return errno;
  }
  count = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  return 0;
}

// How long a lock found taken is asked for again before the port counts as in use: 100 ms.
constexpr int kLockTries = 20;
constexpr std::chrono::milliseconds kLockRetryPause{5};

}  // namespace

SerialDevice::SerialDevice(std::unique_ptr<State> state) : state_(std::move(state)) {}

int SerialDevice::Open(const std::string& path, std::unique_ptr<SerialDevice>& device) {
  device.reset();
  int f;
  do {
    f = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (f < 0 && errno == EINTR);
  if (f < 0) return errno;
  // Another program's port list may hold the lock for the instant it takes to probe the port
  // (open, flock, close): that is not somebody using it. A holder still there after a short
  // while is.
  int r;
  for (int tries = 0;; ++tries) {
    r = ::flock(f, LOCK_EX | LOCK_NB);
    if (r == 0) break;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || tries >= kLockTries) break;
    std::this_thread::sleep_for(kLockRetryPause);
  }
  if (r < 0) {
    const int err = errno;
    ::close(f);
    return err;
  }
  // Refuses later opens by programs that do not use flock. Not a terminal: ApplyDcb will say so.
  if (::ioctl(f, TIOCEXCL) < 0) {
    const int err = errno;
    if (!IsNoSuchControl(err)) {
      ::close(f);
      return err;
    }
  }
  auto state = std::make_unique<State>();
  state->fd = f;
  state->haveCounters = ReadLineCounters(f, state->counters) == 0;
  device.reset(new SerialDevice(std::move(state)));
  return 0;
}

SerialDevice::~SerialDevice() {
  if (state_->epollFd >= 0) ::close(state_->epollFd);
  // The exclusive flag belongs to the terminal, which may outlive this descriptor (the master
  // side of a pseudo-terminal keeps it): clear it, or nobody could reopen the port.
  ::ioctl(state_->fd, TIOCNXCL);
  ::close(state_->fd);
}

NativeHandle SerialDevice::Handle() const { return state_->fd; }

int SerialDevice::ApplyDcb(const TVaDcb& dcb) { return ApplyTermios(state_->fd, dcb); }

// The kernel sizes its own queues.
int SerialDevice::SetupQueues(std::uint32_t, std::uint32_t) { return 0; }

// Reads return at once with what is there (non-blocking descriptor, VMIN 0, VTIME 0) and writes
// have no time limit: nothing more to set.
int SerialDevice::SetupTimeouts() { return 0; }

int SerialDevice::SetupEventMask(std::uint32_t mask, WaitEvent& wake, std::uint32_t rx80Mark) {
  State& s = *state_;
  s.mask = mask;
  s.rx80Mark = rx80Mark;
  if (mask == 0) return 0;
  if (s.haveCounters) s.eventCounters = s.counters;
  s.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  if (s.epollFd < 0) return errno;
  epoll_event wakeUp{};
  wakeUp.events = EPOLLIN;
  wakeUp.data.fd = Fd(wake.Native());
  if (::epoll_ctl(s.epollFd, EPOLL_CTL_ADD, Fd(wake.Native()), &wakeUp) < 0) return errno;
  // Edge-triggered: one wake per arrival, as a received-character event; bytes a handler left
  // unread do not wake the thread again until more arrive. Hang-up and errors always report.
  epoll_event line{};
  line.events = EPOLLIN | EPOLLET;
  line.data.fd = s.fd;
  if (::epoll_ctl(s.epollFd, EPOLL_CTL_ADD, s.fd, &line) < 0) return errno;
  return 0;
}

int SerialDevice::QueryStatus(std::uint32_t& errors, std::uint32_t& inQue, std::uint32_t* outQue) {
  State& s = *state_;
  errors = 0;
  inQue = 0;
  if (outQue) *outQue = 0;
  LineCounters now = s.counters;
  if (s.haveCounters) {
    const int err = ReadLineCounters(s.fd, now);
    if (err != 0) {
      now = s.counters;
      if (IsDeviceGone(err))
        errors |= CE_IOE;
      else if (!IsNoSuchControl(err))
        return err;
    }
    errors |= CounterErrors(s.counters, now);
  }
  // A device that went away has nothing waiting: that is its I/O error, not a failed query.
  if (const int err = QueueCount(s.fd, FIONREAD, inQue)) {
    if (!IsDeviceGone(err)) return err;
    errors |= CE_IOE;
  }
  if (outQue) {
    const int err = QueueCount(s.fd, TIOCOUTQ, *outQue);
    if (err != 0 && !IsDeviceGone(err) && !IsNoSuchControl(err)) return err;
  }
  s.counters = now;
  return 0;
}

int SerialDevice::Read(void* data, std::uint32_t count, std::uint32_t, std::uint32_t& got) {
  got = 0;
  ssize_t n;
  do {
    n = ::read(state_->fd, data, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    // Nothing there: a read that did not complete in time.
    return errno == EAGAIN ? 0 : errno;
  }
  got = static_cast<std::uint32_t>(n);
  return 0;
}

int SerialDevice::SetModemLine(ModemLine line, bool on) {
  int bits = line == ModemLine::Rts ? TIOCM_RTS : TIOCM_DTR;
  if (::ioctl(state_->fd, on ? TIOCMBIS : TIOCMBIC, &bits) < 0) return errno;
  return 0;
}

SerialDevice::EventWait SerialDevice::WaitEvents(std::uint32_t& bits) {
  State& s = *state_;
  bits = 0;
  epoll_event events[2];
  const int n = ::epoll_wait(s.epollFd, events, 2, -1);
  if (n < 0) return errno == EINTR ? EventWait::Failed : EventWait::Broken;
  std::uint32_t line = 0;
  for (int i = 0; i < n; ++i) {
    if (events[i].data.fd == s.fd) line = events[i].events;
  }
  if (line & (EPOLLHUP | EPOLLERR)) {
    // Stop waiting on it: a hung-up device reports itself readable and hung up for good.
    ::epoll_ctl(s.epollFd, EPOLL_CTL_DEL, s.fd, nullptr);
    return EventWait::Gone;
  }
  if (line == 0) return EventWait::Woken;
  std::uint32_t errors = 0;
  if (s.haveCounters) {
    LineCounters now;
    if (ReadLineCounters(s.fd, now) == 0) {
      errors = CounterErrors(s.eventCounters, now);
      s.eventCounters = now;
    }
  }
  if (line & EPOLLIN) bits |= EV_RXCHAR;
  if (errors != 0) bits |= EV_ERR;
  if (errors & CE_BREAK) bits |= EV_BREAK;
  if (s.mask & EV_RX80FULL) {
    std::uint32_t count = 0;
    if (QueueCount(s.fd, FIONREAD, count) == 0 && count >= s.rx80Mark) bits |= EV_RX80FULL;
  }
  return EventWait::Events;
}

SerialDevice::WriteResult SerialDevice::Write(const std::uint8_t* data, std::uint32_t count,
                                              WaitEvent& close, std::uint32_t& written, int& err) {
  written = 0;
  err = 0;
  for (;;) {
    ssize_t n;
    do {
      n = ::write(state_->fd, data, count);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      written = static_cast<std::uint32_t>(n);
      return WriteResult::Written;
    }
    if (n < 0 && errno != EAGAIN) {
      err = errno;
      return WriteResult::Failed;
    }
    // Output full: wait for room on the line or for the close signal.
    pollfd out[2] = {{Fd(close.Native()), POLLIN, 0}, {state_->fd, POLLOUT, 0}};
    int r;
    do {
      r = ::poll(out, 2, -1);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
      err = errno;
      return WriteResult::Failed;
    }
    if (out[0].revents != 0) return WriteResult::Closing;
    if ((out[1].revents & POLLOUT) == 0 && (out[1].revents & (POLLERR | POLLHUP | POLLNVAL))) {
      err = EIO;
      return WriteResult::Failed;
    }
  }
}

}  // namespace kelta::device

// systemd's notification protocol: datagrams of "KEY=VALUE" lines to the unix socket named in
// $NOTIFY_SOCKET (a leading '@' names one in the abstract namespace).
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "apps/recorder/ServiceNotify.h"

namespace kelta::record {

namespace {

// A positive whole number of microseconds, or 0.
long long Microseconds(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value <= 0) return 0;
  return value;
}

}  // namespace

ServiceNotify::ServiceNotify() {
  const char* address = std::getenv("NOTIFY_SOCKET");
  if (address == nullptr || (address[0] != '/' && address[0] != '@')) return;
  if (std::strlen(address) >= sizeof(sockaddr_un::sun_path)) return;
  address_ = address;
  // The watchdog is ours only when it names no other process (a shell between the manager and
  // the recorder would have its own).
  const char* pid = std::getenv("WATCHDOG_PID");
  if (pid == nullptr || Microseconds(pid) == static_cast<long long>(getpid())) {
    interval_ = std::chrono::microseconds(Microseconds(std::getenv("WATCHDOG_USEC")));
  }
  socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

ServiceNotify::~ServiceNotify() {
  if (socket_ >= 0) close(socket_);
}

void ServiceNotify::Send(const std::string& message) {
  if (socket_ < 0) return;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::memcpy(to.sun_path, address_.data(), address_.size());
  if (to.sun_path[0] == '@') to.sun_path[0] = '\0';
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size());
  // A manager that is gone or busy costs nothing but this datagram: never waited for.
  (void)sendto(socket_, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&to), length);
}

void ServiceNotify::Ready(const std::string& status) {
  Send("READY=1\nSTATUS=" + status + "\nMAINPID=" + std::to_string(getpid()));
  nextAlive_ = {};
  Alive();
}

void ServiceNotify::Status(const std::string& status) { Send("STATUS=" + status); }

void ServiceNotify::Stopping() { Send("STOPPING=1"); }

void ServiceNotify::Alive() {
  if (interval_.count() == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < nextAlive_) return;
  nextAlive_ = now + interval_ / 2;
  Send("WATCHDOG=1");
}

}  // namespace kelta::record

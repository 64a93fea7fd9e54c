#pragma once
// Tells a service manager how the recorder is doing: systemd's notification socket
// ($NOTIFY_SOCKET) on Linux, nothing on Windows. "READY=1" once the port is open and the broker
// is being served, "WATCHDOG=1" from the main loop, so a recorder stuck anywhere is restarted,
// and "STOPPING=1" when it ends. Without the socket in the environment every call does nothing.

#include <chrono>
#include <string>

namespace kelta::record {

class ServiceNotify {
 public:
  // Reads the socket's address and the watchdog's interval from the environment.
  ServiceNotify();
  ~ServiceNotify();
  ServiceNotify(const ServiceNotify&) = delete;
  ServiceNotify& operator=(const ServiceNotify&) = delete;

  // status: one line for `systemctl status`.
  void Ready(const std::string& status);
  void Status(const std::string& status);
  void Stopping();
  // Called often (every main-loop tick); sends "WATCHDOG=1" at half the manager's interval.
  void Alive();

  // The manager's watchdog interval; zero when it keeps none for this process.
  std::chrono::microseconds WatchdogInterval() const { return interval_; }

 private:
  void Send(const std::string& message);

  int socket_ = -1;
  std::string address_;
  std::chrono::microseconds interval_{0};
  std::chrono::steady_clock::time_point nextAlive_{};
};

}  // namespace kelta::record

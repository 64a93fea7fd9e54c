// kelta-record on Linux: signals, POSIX names and times, a device path's private link.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <system_error>
#include <thread>

#include "recorder/RecordSystem.h"

namespace kelta::record {

// A thread of its own waits for the ending signals; every other thread has them blocked (they
// are blocked before the program's other threads start, which inherit the mask).
struct StopRequests::State {
  sigset_t set;
  std::thread thread;
};

StopRequests::StopRequests(std::atomic<bool>& stop) : state_(new State) {
  sigemptyset(&state_->set);
  for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&state_->set, s);
  pthread_sigmask(SIG_BLOCK, &state_->set, nullptr);
  // A broker or a reader going away must not end the program through a write.
  signal(SIGPIPE, SIG_IGN);
  state_->thread = std::thread([this, &stop] {
    int signal = 0;
    sigwait(&state_->set, &signal);
    if (signal != SIGUSR1) stop = true;
  });
}

StopRequests::~StopRequests() {
  // SIGUSR1 only wakes the waiting thread.
  pthread_kill(state_->thread.native_handle(), SIGUSR1);
  state_->thread.join();
  delete state_;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "kelta";
  return name;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::tm LocalTime(std::time_t time) {
  std::tm t{};
  localtime_r(&time, &t);
  return t;
}

bool EndsWithSeparator(const std::string& path) { return !path.empty() && path.back() == '/'; }

std::string LinkDevicePath(const std::string& device) {
  char folder[] = "/tmp/kelta-record-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "cannot make a folder in /tmp");
  }
  const std::string linkFolder = std::string(folder) + "/";
  if (mkdir((linkFolder + "ports").c_str(), 0700) != 0 ||
      symlink(device.c_str(), (linkFolder + "ports/com1").c_str()) != 0) {
    const int error = errno;
    RemoveDeviceLink(linkFolder);
    throw std::system_error(error, std::generic_category(), "cannot link " + device);
  }
  return linkFolder;
}

void RemoveDeviceLink(const std::string& folder) {
  unlink((folder + "ports/com1").c_str());
  rmdir((folder + "ports").c_str());
  rmdir(folder.c_str());
}

bool DevicePresent(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

}  // namespace kelta::record

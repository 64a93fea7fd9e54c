// kelta-record on Linux: signals, POSIX names and times, a device path's private link, the
// queue folder's lock and what holds a port.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "apps/recorder/RecordSystem.h"

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

bool PortHeldElsewhere(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // EBUSY: opened exclusively (TIOCEXCL), which only a terminal's holder sets.
  if (fd < 0) return errno == EBUSY;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

std::string DeviceBehind(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

FolderLock::FolderLock(const std::string& folder) : handle_(-1) {
  const std::string dir = EndsWithSeparator(folder) ? folder : folder + '/';
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::system_error(errno, std::generic_category(), "cannot create " + dir);
  }
  const std::string path = dir + "owner.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + path);
  // flock, not fcntl: an fcntl lock would be freed by any close of the file in this process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK) {
      close(fd);
      throw std::system_error(error, std::generic_category(), "cannot lock " + path);
    }
    // The holder writes its id right after taking the lock: give it a moment.
    long long pid = 0;
    for (int tries = 0; tries < 20 && pid <= 0; ++tries) {
      if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      char text[32] = {};
      if (pread(fd, text, sizeof text - 1, 0) > 0) pid = std::atoll(text);
    }
    close(fd);
    throw FolderInUse(dir + " is in use by another process" +
                          (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()),
                      pid);
  }
  const std::string text = std::to_string(static_cast<long long>(getpid())) + "\n";
  if (ftruncate(fd, 0) != 0 ||
      pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    const int error = errno;
    close(fd);
    throw std::system_error(error, std::generic_category(), "cannot write " + path);
  }
  handle_ = fd;
}

// The file stays: removing it would let a third process lock a new file of the same name
// while a second one still waits on the old.
FolderLock::~FolderLock() { close(static_cast<int>(handle_)); }

}  // namespace kelta::record

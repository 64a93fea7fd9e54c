// kelta-record on Linux: signals, POSIX names and times, a device path's private link, the
// state folder (where, its checks, its lock) and what holds a port.
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

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

namespace {

// "nobody (uid 65534)".
std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const std::string number = "uid " + std::to_string(uid);
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return number;
  }
  return std::string(found->pw_name) + " (" + number + ")";
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

// Why whoever else can write in the folder, or own a file there, is refused.
constexpr char kWhy[] =
    "refused: whoever else owns or writes there could change or replace the readings that "
    "wait in it, or lead the recorder's writing elsewhere";

// Refuses (UnsafeState) anything at path but a regular file of this user's.
void CheckOwnFile(const struct stat& info, const std::string& path) {
  if (S_ISLNK(info.st_mode)) {
    throw UnsafeState(path + " is a symbolic link: " + kWhy + " (remove it)");
  }
  if (!S_ISREG(info.st_mode)) {
    throw UnsafeState(path + " is " + KindOf(info.st_mode) +
                      ", not a regular file (remove it, or choose another queue folder)");
  }
  if (info.st_uid != geteuid()) {
    throw UnsafeState(path + " belongs to " + UserName(info.st_uid) + ", not to " +
                      UserName(geteuid()) + " who runs the recorder: " + kWhy + " (remove it)");
  }
}

// Makes path's missing folders, private to the user.
void MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      throw std::system_error(errno, std::generic_category(), "cannot create " + part);
    }
  }
}

}  // namespace

const char* DefaultStateFolderRule() {
  return "$STATE_DIRECTORY, else $XDG_STATE_HOME/kelta-record/NAME,\n"
         "                     else ~/.local/state/kelta-record/NAME; made 0700";
}

std::string DefaultStateFolder(const std::string& name) {
  // systemd's StateDirectory= (several are separated by ':'): the service's own folder.
  if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && *state != '\0') {
    const std::string first(state, std::strcspn(state, ":"));
    if (!first.empty()) return first;
  }
  std::string base;
  // A relative XDG_STATE_HOME is to be ignored, as the base directory rules say.
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string folder = home != nullptr && home[0] == '/' ? home : "";
    if (folder.empty()) {
      std::vector<char> buffer(16384);
      passwd entry{};
      passwd* found = nullptr;
      if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
          found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        folder = found->pw_dir;
      }
    }
    if (folder.empty()) {
      throw std::system_error(ENOENT, std::generic_category(),
                              "no home folder to keep the queue in (HOME not set, and none for "
                              "this user): give --queue-dir");
    }
    base = folder + "/.local/state";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/kelta-record/" + name;
}

StateFolder::StateFolder(const std::string& folder)
    : path_(EndsWithSeparator(folder) ? folder : folder + '/') {
  MakeFolders(path_);
  // Without the trailing separator, which would have the last step followed when a link.
  std::string bare = path_;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  fd_ = open(bare.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    struct stat link {};
    // A link with O_DIRECTORY fails as "not a folder" (ENOTDIR), without it as ELOOP.
    if ((error == ELOOP || error == ENOTDIR) && lstat(bare.c_str(), &link) == 0 &&
        S_ISLNK(link.st_mode)) {
      throw UnsafeState(path_ + " is a symbolic link: " + kWhy +
                        " (give the folder itself, one of this user's that only it can write)");
    }
    throw std::system_error(error, std::generic_category(), "cannot open " + path_);
  }
  struct stat info {};
  std::string fault;
  if (fstat(fd_, &info) != 0) {
    const int error = errno;
    close(fd_);
    throw std::system_error(error, std::generic_category(), "cannot read " + path_);
  }
  if (info.st_uid != geteuid()) {
    fault = "belongs to " + UserName(info.st_uid) + ", not to " + UserName(geteuid()) +
            " who runs the recorder";
  } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    fault = std::string("can be written by ") +
            ((info.st_mode & S_IWOTH) != 0 ? "every user" : "its group") + " (mode " + mode + ")";
  }
  if (!fault.empty()) {
    close(fd_);
    throw UnsafeState("the state folder " + path_ + " " + fault + ": " + kWhy +
                      ". Give --queue-dir a folder of this user's that only it can write "
                      "(chmod 700), or leave it out for the user's own");
  }
}

StateFolder::~StateFolder() { close(fd_); }

void StateFolder::Check(const std::string& name) const {
  struct stat info {};
  if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    throw std::system_error(errno, std::generic_category(), "cannot read " + path_ + name);
  }
  CheckOwnFile(info, path_ + name);
}

int StateFolder::Open(const std::string& name, int flags) const {
  // Looked at before it is opened: opening a FIFO would wait for a writer, a device may act.
  Check(name);
  const int fd =
      openat(fd_, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0640);
  if (fd < 0 && errno == ELOOP) {
    // A link put there since the look.
    throw UnsafeState(path_ + name + " is a symbolic link: " + kWhy + " (remove it)");
  }
  if (fd < 0) return -1;
  struct stat info {};
  try {
    if (fstat(fd, &info) != 0) {
      throw std::system_error(errno, std::generic_category(), "cannot read " + path_ + name);
    }
    CheckOwnFile(info, path_ + name);
  } catch (...) {
    close(fd);
    throw;
  }
  return fd;
}

int StateFolder::Sync() const { return fsync(fd_) == 0 ? 0 : errno; }

FolderLock::FolderLock(const std::string& folder) : handle_(-1) {
  const StateFolder state(folder);
  const std::string path = state.Path() + "owner.lock";
  const int fd = state.Open("owner.lock", O_RDWR | O_CREAT);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot open " + path);
  const std::string& dir = state.Path();
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

#include "tests/serial/PtyPort.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace kelta::test {

namespace {
[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}
}  // namespace

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) Fail("posix_openpt");
  if (grantpt(master_) < 0 || unlockpt(master_) < 0) Fail("grantpt/unlockpt");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname_r");
  slavePath_ = name;
  // Raw from the start, so bytes written before the port opens are not echoed or cooked; the
  // settings outlive this descriptor while the master stays open.
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) Fail("open slave");
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  close(slave);
}

PtyPair::~PtyPair() { HangUp(); }

void PtyPair::HangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 100);
    } else if (n < 0 && errno != EINTR) {
      Fail("write master");
    }
  }
}

std::string PtyPair::Read(std::size_t count, std::chrono::milliseconds limit) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (out.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0)
      out.append(buffer, static_cast<std::size_t>(n));
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      break;
  }
  return out;
}

ExeDir::ExeDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kelta-serial-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
  path_ = pattern + "/";
  std::filesystem::create_directory(path_ + "ports");
}

ExeDir::~ExeDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ExeDir::Link(int n, const std::string& target) {
  const std::string link = path_ + "ports/com" + std::to_string(n);
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) < 0) Fail("symlink");
}

namespace {
int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (const dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') ++n;
    }
    closedir(d);
  }
  return n;
}
}  // namespace

// Less the descriptor of the listing itself.
int OpenDescriptorCount() { return CountEntries("/proc/self/fd") - 1; }

int ThreadCount() { return CountEntries("/proc/self/task"); }

std::chrono::milliseconds WorkerCpuTime() {
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  long long ticks = 0;
  DIR* d = opendir("/proc/self/task");
  if (d == nullptr) Fail("opendir /proc/self/task");
  while (const dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;  // the thread ended meanwhile
    if (line.find("(VaComm") == std::string::npos) continue;
    // Fields after the command name (which may hold blanks) start at state, field 3.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::atoll(field.c_str());
      if (i == 15) stime = std::atoll(field.c_str());
    }
    ticks += utime + stime;
  }
  closedir(d);
  return std::chrono::milliseconds(ticks * 1000 / ticksPerSecond);
}

}  // namespace kelta::test

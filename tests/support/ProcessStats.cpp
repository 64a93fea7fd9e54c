#include "tests/support/ProcessStats.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace kelta::test {

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

std::chrono::milliseconds ThreadCpuTime(std::string_view prefix) {
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  const std::string tag = "(" + std::string(prefix);
  long long ticks = 0;
  DIR* d = opendir("/proc/self/task");
  if (d == nullptr) throw std::system_error(errno, std::generic_category(), "/proc/self/task");
  while (const dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;  // the thread ended meanwhile
    if (line.find(tag) == std::string::npos) continue;
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

std::chrono::microseconds ProcessCpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto us = [](const timeval& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
  };
  return std::chrono::duration_cast<std::chrono::microseconds>(us(usage.ru_utime) +
                                                               us(usage.ru_stime));
}

namespace {

long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == field) {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

}  // namespace

long ResidentKiB() { return StatusKiB("VmRSS:"); }

long PeakResidentKiB() { return StatusKiB("VmHWM:"); }

bool ResetPeakResident() {
  // "5" resets the peak resident set size of the process (Linux 4.0 and later).
  std::ofstream refs("/proc/self/clear_refs");
  refs << "5";
  refs.flush();
  return static_cast<bool>(refs);
}

}  // namespace kelta::test

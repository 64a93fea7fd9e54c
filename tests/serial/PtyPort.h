#pragma once
// Test helpers: a pseudo-terminal whose slave is linked as ports/comN in a private executable
// folder, and counters of this process's descriptors, threads and worker CPU time.

#include <chrono>
#include <cstdint>
#include <string>

namespace kelta::test {

// A pseudo-terminal pair. The port under test opens the slave through the link; the test
// plays the device on the master.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  // Writes all bytes to the master (waiting for room).
  void Write(const std::string& bytes);
  // Reads from the master until count bytes came or the time passed.
  std::string Read(std::size_t count, std::chrono::milliseconds limit);
  // Closes the master: the slave side hangs up.
  void HangUp();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// A temporary folder standing in for the executable's folder, with a ports/ sub-folder.
class ExeDir {
 public:
  ExeDir();
  ~ExeDir();
  ExeDir(const ExeDir&) = delete;
  ExeDir& operator=(const ExeDir&) = delete;

  // With the trailing '/'.
  const std::string& Path() const { return path_; }
  // ports/com<n> -> target (which need not exist).
  void Link(int n, const std::string& target);

 private:
  std::string path_;
};

int OpenDescriptorCount();
int ThreadCount();
// CPU time (user + system) used so far by the port's worker threads (named "VaComm...").
std::chrono::milliseconds WorkerCpuTime();

}  // namespace kelta::test

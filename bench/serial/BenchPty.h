#pragma once
// A pseudo-terminal for the benchmarks (master played by the benchmark, slave opened by the
// port under test), and the process's CPU time.

#include <chrono>
#include <string>

namespace kelta::bench {

class BenchPty {
 public:
  BenchPty();
  ~BenchPty();
  BenchPty(const BenchPty&) = delete;
  BenchPty& operator=(const BenchPty&) = delete;

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  void Write(const char* data, std::size_t size);
  // Reads and drops whatever the port sent.
  void Drain();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// User + system CPU time of the whole process.
std::chrono::microseconds ProcessCpuTime();

}  // namespace kelta::bench

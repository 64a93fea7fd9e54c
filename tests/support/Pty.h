#pragma once
// The two ends of a serial line for tests and benchmarks, over a real pseudo-terminal:
//   PtyPair    the device's end: a pseudo-terminal (the simulator's own) whose master the test
//              plays, while the code under test opens SlavePath() (often through ExeDir::Link);
//   PtyClient  the console's end: a device opened by path, raw, as the serial port opens it.
// Both read and write through LineEnd. Errors throw std::system_error.
// Threading: one thread per end at a time.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/sim/PseudoTerminal.h"

namespace kelta::test {

// One end of a line on a non-blocking descriptor: writes wait for room, reads have deadlines
// and end early when the other side hangs up.
class LineEnd {
 public:
  LineEnd(const LineEnd&) = delete;
  LineEnd& operator=(const LineEnd&) = delete;

  // The descriptor; -1 once closed.
  virtual int Fd() const = 0;

  // Writes every byte, waiting for room.
  void Write(std::string_view bytes);
  // Reads until done(all bytes so far) holds, the time passed or the line hung up; returns what
  // was read. Each read() result is also kept in Chunks() (cleared per call).
  std::string ReadUntil(const std::function<bool(const std::string&)>& done,
                        std::chrono::milliseconds timeout);
  // Reads until count bytes came (or the time passed).
  std::string Read(std::size_t count, std::chrono::milliseconds timeout);
  // Reads until the text ends with suffix.
  std::string ReadUntilEnds(std::string_view suffix,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Reads everything arriving within the window.
  std::string ReadFor(std::chrono::milliseconds window);
  // Reads and drops whatever is waiting now, without waiting for more.
  void Drain();
  // True when the line reports end of file / hang-up within timeout.
  bool WaitHangUp(std::chrono::milliseconds timeout);

  const std::vector<std::string>& Chunks() const { return chunks_; }

 protected:
  LineEnd() = default;
  ~LineEnd() = default;

 private:
  std::vector<std::string> chunks_;
};

class PtyPair final : public LineEnd {
 public:
  PtyPair() = default;

  int Fd() const override { return pty_.MasterFd(); }
  int Master() const { return pty_.MasterFd(); }
  const std::string& SlavePath() const { return pty_.SlavePath(); }
  // Closes the master: the slave side hangs up.
  void HangUp() { pty_.Close(); }

 private:
  sim::PseudoTerminal pty_;
};

class PtyClient final : public LineEnd {
 public:
  // Opens path raw at 9600 baud, non-blocking.
  explicit PtyClient(const std::string& path);
  ~PtyClient();

  int Fd() const override { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

// How often needle occurs in text, without overlaps.
std::size_t CountOf(std::string_view text, std::string_view needle);

}  // namespace kelta::test

#pragma once
// A pseudo-terminal pair whose master side plays the sensor. The slave side is left in raw
// mode at 9600 8N1, so whatever opens it (the console's serial port) exchanges bytes
// unchanged even before it sets its own line settings.
//
// Threading: not thread-safe; the owner decides who may use MasterFd() and when Close() runs.

#include <string>

namespace kelta::sim {

class PseudoTerminal {
 public:
  // Opens /dev/ptmx non-blocking and close-on-exec. Throws std::system_error with the failing
  // call's errno.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // Hangs the line up: the slave side sees end of file / POLLHUP. Idempotent.
  void Close();

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace kelta::sim

#pragma once
// The link "ports/com<N>" beside the console's executable that makes a device (here the
// simulated sensor's pseudo-terminal) appear as COM<N>. Not thread-safe.

#include <string>

namespace kelta::sim {

class PortLink {
 public:
  // Creates exeDir + "ports/" when missing and links "com<number>" there to target.
  // An existing link whose target is gone is replaced (left over from a killed run); one
  // that still leads somewhere is replaced only when force is set; anything that is not a
  // link is never touched. Throws std::runtime_error / std::system_error saying why.
  // exeDir ends with '/' (or is empty: the current folder).
  PortLink(const std::string& exeDir, int number, const std::string& target, bool force);
  // Removes the link if it still points at target: a newer run may have taken the name over.
  ~PortLink();
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string target_;
};

}  // namespace kelta::sim

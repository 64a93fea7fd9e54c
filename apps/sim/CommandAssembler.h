#pragma once
// Cuts the bytes the console sends into command lines and ID polls. Memory stays bounded
// whatever arrives. Not thread-safe: one reader feeds it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelta::sim {

struct SensorInput {
  enum class Kind { kLine, kPoll };
  Kind kind = Kind::kLine;
  std::string line;     // kLine: the text without terminator, never empty
  uint8_t address = 0;  // kPoll: the byte before ENQ
};

class CommandAssembler {
 public:
  // Longer lines are no command of this sensor; they are dropped whole at their terminator.
  static constexpr size_t kMaxLine = 128;

  // CR and LF each end a line (the console sends CR LF; either alone works too); empty lines
  // are skipped. Printable ASCII builds the line. ENQ makes a poll of the byte just before
  // it, which then leaves the line if it had entered it. Other bytes are noise and dropped.
  void Feed(std::string_view bytes, std::vector<SensorInput>& out);

 private:
  std::string line_;
  bool overflow_ = false;
  bool havePrevious_ = false;
  uint8_t previous_ = 0;
  bool previousInLine_ = false;
};

}  // namespace kelta::sim

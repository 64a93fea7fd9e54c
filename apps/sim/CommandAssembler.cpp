#include "apps/sim/CommandAssembler.h"

namespace kelta::sim {

void CommandAssembler::Feed(std::string_view bytes, std::vector<SensorInput>& out) {
  for (const char c : bytes) {
    const auto byte = static_cast<uint8_t>(c);
    bool inLine = false;
    if (byte == 0x0D || byte == 0x0A) {
      if (!overflow_ && !line_.empty()) {
        out.push_back({SensorInput::Kind::kLine, line_, 0});
      }
      line_.clear();
      overflow_ = false;
    } else if (byte == 0x05) {
      if (havePrevious_) {
        if (previousInLine_ && !line_.empty()) line_.pop_back();
        out.push_back({SensorInput::Kind::kPoll, {}, previous_});
      }
    } else if (byte >= 0x20 && byte < 0x7F) {
      if (line_.size() < kMaxLine) {
        line_.push_back(c);
        inLine = true;
      } else {
        overflow_ = true;
      }
    }
    // ENQ itself is never an address: "B1 05 05" is one poll.
    havePrevious_ = byte != 0x05;
    previous_ = byte;
    previousInLine_ = inLine;
  }
}

}  // namespace kelta::sim

#pragma once

#include <cstdint>
#include <vector>

namespace kelta {

struct LineErrorText {
  uint32_t bit;
  const char* text;
};

// The line error flags in the order the console tests them, each with its status text. The
// last set flag in this order is the one that stays visible.
const std::vector<LineErrorText>& LineErrorTable();

}  // namespace kelta

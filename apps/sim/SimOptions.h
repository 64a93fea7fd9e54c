#pragma once
// The command line of kelta-sim. Pure parsing, safe on any thread.

#include <optional>
#include <string>
#include <vector>

#include "apps/sim/SimulatedSensor.h"

namespace kelta::sim {

struct SimOptions {
  SensorConfig config;
  std::optional<int> com;  // --com N: link ports/comN
  std::string exeDir;      // --exe-dir, with a trailing '/'; empty: kelta-sim's own folder
  bool force = false;      // --force: take over a live ports/comN link
  bool freeCom = false;    // --free-com: print the first free COM number, start nothing
  bool verbose = false;    // --verbose: print every command line received
  std::string frameLog;    // --frame-log FILE: a line per data frame written, with its time
  bool help = false;
};

// args without the program name. Throws std::invalid_argument with a message naming the
// option at fault.
SimOptions ParseSimOptions(const std::vector<std::string>& args);

std::string SimUsage();

// "\r", "\n", "\t", "\\" and "\xHH" in text become the bytes they name. Throws
// std::invalid_argument for any other escape.
std::string UnescapeBytes(const std::string& text);

}  // namespace kelta::sim

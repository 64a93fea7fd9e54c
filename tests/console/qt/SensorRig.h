#pragma once
// A console in its own folder wired to a simulated sensor: the sensor's pseudo-terminal is
// linked as ports/com<N> in that folder, so the console reaches it by its COM name.

#include "tests/console/qt/ConsoleRig.h"

#include "apps/sim/PortLink.h"
#include "apps/sim/SimulatedSensor.h"
#include "console/form/FormClock.h"
#include "tests/support/Pty.h"

#include <functional>
#include <memory>
#include <string>

namespace kelta::test {

class SensorRig {
 public:
  explicit SensorRig(sim::SensorConfig config = {}, int com = 7);
  ~SensorRig();

  // Picks COM<N> and presses Connect; true when the console panel came up.
  bool Connect();
  // Everything the sensor has received so far.
  std::string Received() const { return sensor.ReceivedBytes(); }
  // Runs the console's events until the sensor's log holds `bytes` bytes (or 5 s).
  void AwaitReceived(size_t bytes);
  // Runs the console's events until cond holds (or 5 s); returns cond().
  bool PumpUntil(const std::function<bool()>& cond);
  void SetSilent(bool silent);

  TempDir dir;
  sim::SimulatedSensor sensor;
  const int com;
  std::unique_ptr<sim::PortLink> link;
  // The console's clock: real until a test lets a silent sensor's waits pass (Skip).
  SkippingFormClock clock;
  std::unique_ptr<Console> console;
  TFVANTORIS& w() { return **console; }
};

// n copies of text.
std::string Times(int n, const std::string& text);

}  // namespace kelta::test

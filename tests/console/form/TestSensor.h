#pragma once
// The simulated sensor a form test talks to, reachable as COM<N>. On Linux it runs in the test's
// process and the folder's ports/com<N> link leads to its pseudo-terminal; under Wine it is a
// Linux kelta-sim that tools/wine-console-form.sh starts, stops and links as
// $WINEPREFIX/dosdevices/com<N> when the test asks (see TestSensor_win32.cpp), and what it
// received is read from its log. Not thread-safe.

#include "apps/sim/SimulatedSensor.h"

#include <chrono>
#include <memory>
#include <string>

namespace kelta::test {

class TestSensor {
 public:
  // The COM number the tests use: `wanted` on Linux; under Wine the one the script linked.
  static int ComNumber(int wanted);

  // Started with `config` and reachable as COM<com> by a console in exeDir. Throws
  // std::runtime_error (or the simulator's own exceptions) when it cannot be started.
  TestSensor(sim::SensorConfig config, const std::string& exeDir, int com);
  ~TestSensor();  // stopped, its link removed
  TestSensor(const TestSensor&) = delete;
  TestSensor& operator=(const TestSensor&) = delete;

  // Unplugged for good: its terminal hung up and gone, the link left dangling.
  void Unplug();
  // Stopped (its terminal closed), the link left as it is.
  void Stop();
  // The link removed (first, before another sensor takes the same COM number).
  void Unlink();

  // The bytes received since the start or the last ClearReceived.
  std::string ReceivedBytes() const;
  void ClearReceived();
  // True as soon as the bytes received hold needle; false after timeout.
  bool WaitForReceived(const std::string& needle, std::chrono::milliseconds timeout) const;
  // Streaming data frames ("#READ" received, "#STOP" not since).
  bool Streaming() const;
  // What it reports, as it started.
  sim::SensorSettings Settings() const;

  // Linux only: the sensor in this process, for tests that change it while it runs.
  sim::SimulatedSensor& Simulated();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kelta::test

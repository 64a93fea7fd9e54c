#include "tests/console/form/TestSensor.h"

#include "apps/sim/PortLink.h"

#include <utility>

namespace kelta::test {

struct TestSensor::Impl {
  explicit Impl(sim::SensorConfig config) : sensor(std::move(config)) {}
  sim::SimulatedSensor sensor;
  std::unique_ptr<sim::PortLink> link;
  bool unplugged = false;
};

int TestSensor::ComNumber(int wanted) { return wanted; }

TestSensor::TestSensor(sim::SensorConfig config, const std::string& exeDir, int com)
    : impl_(std::make_unique<Impl>(std::move(config))) {
  impl_->sensor.Start();
  impl_->link = std::make_unique<sim::PortLink>(exeDir, com, impl_->sensor.SlavePath(), false);
}

TestSensor::~TestSensor() {
  impl_->link.reset();
  impl_->sensor.Stop();
}

void TestSensor::Unplug() {
  if (impl_->unplugged) return;
  impl_->unplugged = true;
  impl_->sensor.HangUp();
  impl_->sensor.Stop();
}

void TestSensor::Stop() { impl_->sensor.Stop(); }

void TestSensor::Unlink() { impl_->link.reset(); }

std::string TestSensor::ReceivedBytes() const { return impl_->sensor.ReceivedBytes(); }

void TestSensor::ClearReceived() { impl_->sensor.ClearReceived(); }

bool TestSensor::WaitForReceived(const std::string& needle,
                                 std::chrono::milliseconds timeout) const {
  return impl_->sensor.WaitForReceived(needle, timeout);
}

bool TestSensor::Streaming() const { return impl_->sensor.Streaming(); }

sim::SensorSettings TestSensor::Settings() const { return impl_->sensor.Settings(); }

sim::SimulatedSensor& TestSensor::Simulated() { return impl_->sensor; }

}  // namespace kelta::test

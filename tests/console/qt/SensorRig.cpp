#include "tests/console/qt/SensorRig.h"

#include "console/qt/WaitWithMessages.h"

#include <QElapsedTimer>

namespace kelta::test {

SensorRig::SensorRig(sim::SensorConfig config, int comNumber)
    : sensor(std::move(config)), com(comNumber) {
  EnsureApp();
  sensor.Start();
  link = std::make_unique<sim::PortLink>(dir.Path(), com, sensor.SlavePath(), false);
  console = std::make_unique<Console>(dir.Path());
  w().Form().SetClock(clock);
}

SensorRig::~SensorRig() {
  // The window (and its port) goes before the sensor it talks to.
  console.reset();
  link.reset();
  sensor.Stop();
}

bool SensorRig::Connect() {
  Type(w(), "ePortNo", QStringLiteral("COM%1").arg(com));
  Click(w(), "Button3");
  return w().Panel1->isVisible();
}

bool SensorRig::PumpUntil(const std::function<bool()>& cond) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < 5000) WaitWithMessages(5);
  return cond();
}

void SensorRig::AwaitReceived(size_t bytes) {
  PumpUntil([this, bytes] { return sensor.ReceivedBytes().size() >= bytes; });
}

void SensorRig::SetSilent(bool silent) {
  sensor.Update([silent](sim::SensorConfig& c) { c.silent = silent; });
}

std::string Times(int n, const std::string& text) {
  std::string all;
  for (int i = 0; i < n; ++i) all += text;
  return all;
}

}  // namespace kelta::test

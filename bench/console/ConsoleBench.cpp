// BM_UnansweredExchangeCpu: process CPU while "#READ" goes unanswered (six sends, about 3 s);
// a wait that polled would use a whole core. BM_FrameToMemoLatency: from a data frame written
// into the pseudo-terminal to its line in Memo1, through the serial port's threads and the
// GUI thread's event loop.

#include "console/UKELTA_Display.h"
#include "serial/VaComm.h"
#include "sim/PortLink.h"
#include "sim/SimulatedSensor.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class NoBoxes final : public kelta::ConsoleDialogs {
 public:
  void ShowMessage(const QString&) override {}
  bool AskYesNo(const QString&) override { return false; }
};

void EnsureApp() {
  static int argc = 1;
  static char name[] = "bench_console";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
  }
}

// A console whose port is open on a simulated sensor, in a folder of its own.
struct Rig {
  explicit Rig(kelta::sim::SensorConfig config) : sensor(std::move(config)) {
    EnsureApp();
    sensor.Start();
    link = std::make_unique<kelta::sim::PortLink>(dir.Path(), 5, sensor.SlavePath(), false);
    window = std::make_unique<kelta::TFVANTORIS>(dir.Path(), std::make_unique<NoBoxes>());
    window->Form().VaComm1().SetPortNum(5);
    window->Form().VaComm1().Open();
  }
  ~Rig() {
    window.reset();
    link.reset();
    sensor.Stop();
  }

  kelta::sim::SimulatedSensor sensor;
  kelta::test::TempDir dir;
  std::unique_ptr<kelta::sim::PortLink> link;
  std::unique_ptr<kelta::TFVANTORIS> window;
};

double ProcessCpuSeconds() {
  return std::chrono::duration<double>(kelta::test::ProcessCpuTime()).count();
}

void BM_UnansweredExchangeCpu(benchmark::State& state) {
  kelta::sim::SensorConfig config;
  config.silent = true;
  Rig rig(config);
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    rig.window->Form().btREADClick();
    wall += std::chrono::duration<double>(Clock::now() - t0).count();
    cpu += ProcessCpuSeconds() - cpu0;
  }
  if (rig.window->StatusText(0) != QStringLiteral("No answer"))
    state.SkipWithError("the exchange did not end with No answer");
  state.counters["cpu_pct_of_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
  state.counters["sends"] = static_cast<double>(rig.sensor.ReceivedBytes().size()) / 7.0 /
                            static_cast<double>(state.iterations());
}
BENCHMARK(BM_UnansweredExchangeCpu)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_FrameToMemoLatency(benchmark::State& state) {
  kelta::sim::SensorConfig config;
  config.silent = true;  // only the frames written below reach the console
  Rig rig(config);
  QPlainTextEdit* memo = rig.window->Memo1;
  Clock::time_point arrived;
  QEventLoop loop;
  QObject::connect(memo, &QPlainTextEdit::textChanged, &loop, [&] {
    arrived = Clock::now();
    loop.quit();
  });
  QTimer guard;  // a frame that never shows ends the wait instead of hanging the run
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);

  const std::string frame =
      "\x02"
      "123.4"
      "\x17"
      "7A$";
  std::vector<double> micros;
  for (auto _ : state) {
    arrived = {};
    guard.start(2000);
    const auto written = Clock::now();
    rig.sensor.WriteRaw(frame);
    loop.exec();
    guard.stop();
    if (arrived == Clock::time_point{}) {
      state.SkipWithError("a frame never reached Memo1");
      break;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(arrived - written).count());
    if (memo->document()->blockCount() > 5000)
      memo->clear();  // textChanged from this runs outside the measured span
    QCoreApplication::processEvents();
  }
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  const auto at = [&micros](double q) {
    return micros[static_cast<size_t>(q * static_cast<double>(micros.size() - 1))];
  };
  state.counters["median_us"] = at(0.5);
  state.counters["p99_us"] = at(0.99);
}
BENCHMARK(BM_FrameToMemoLatency)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

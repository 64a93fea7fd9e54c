// BM_UnansweredExchangeCpu: process CPU while "#READ" goes unanswered (six sends, about 3 s);
// a wait that polled would use a whole core. BM_FrameToMemoLatency: from a data frame written
// into the pseudo-terminal to its line in Memo1, through the serial port's threads and the
// GUI thread's event loop. BM_ReadingCpu: the console's CPU per reading while the sensor streams
// at 100 and 1000 readings/s, bare and with the trend window open and recording on (every
// reading written to a CSV file). BM_TrendPaint: one paint of the trend over one hour at 1000
// readings/s.

#include "console/TrendWindow.h"
#include "console/UKELTA_Display.h"
#include "console/core/RecordSettings.h"
#include "console/form/TrendBuffer.h"
#include "serial/VaComm.h"
#include "sim/PortLink.h"
#include "sim/SimulatedSensor.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
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

// A console whose port is open on a simulated sensor, in a folder of its own; recordings go to
// its "records" subfolder.
struct Rig {
  explicit Rig(kelta::sim::SensorConfig config) : sensor(std::move(config)) {
    EnsureApp();
    kelta::SaveRecordFolder(dir.Path(), dir.Path() + "records");
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

// CPU of this thread (the GUI thread, where every reading is decoded, shown, stored and
// written) in seconds.
double GuiCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The console's part of the process: the GUI thread and the serial port's workers; the
// simulated sensor's threads in the same process are left out.
double ConsoleCpuSeconds() {
  return GuiCpuSeconds() +
         std::chrono::duration<double>(kelta::test::ThreadCpuTime("VaComm")).count();
}

void RunEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Arguments: readings per second; 0 bare, 1 with the trend window open (10 s span, repainted
// ten times a second) and recording on ("Record": every reading to a CSV file).
void BM_ReadingCpu(benchmark::State& state) {
  kelta::sim::SensorConfig config;
  config.framesPerSecond = static_cast<double>(state.range(0));
  config.sweepPeriodSeconds = 5;
  Rig rig(config);
  kelta::TConsoleForm& form = rig.window->Form();
  rig.window->show();
  const bool extras = state.range(1) != 0;
  if (extras) {
    rig.window->OpenTrend();
    form.btRecordClick();
    if (!form.IsRecording()) {
      state.SkipWithError("recording did not start");
      return;
    }
  }
  form.btREADClick();
  RunEventsFor(500);  // the stream settles
  double cpu = 0, wall = 0;
  uint64_t readings = 0;
  for (auto _ : state) {
    const size_t before = form.Trend().Size();
    const double cpu0 = ConsoleCpuSeconds();
    const auto t0 = Clock::now();
    RunEventsFor(3000);
    cpu += ConsoleCpuSeconds() - cpu0;
    wall += std::chrono::duration<double>(Clock::now() - t0).count();
    readings += form.Trend().Size() - before;
  }
  if (readings == 0) {
    state.SkipWithError("no reading arrived");
    return;
  }
  state.counters["readings_per_s"] = static_cast<double>(readings) / wall;
  state.counters["cpu_us_per_reading"] = 1e6 * cpu / static_cast<double>(readings);
  state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
  if (extras) {
    form.btRecordClick();  // stops it: the file is complete
    double lines = 0;
    for (const auto& file : std::filesystem::directory_iterator(rig.dir.Path() + "records")) {
      std::ifstream in(file.path());
      for (std::string line; std::getline(in, line);) ++lines;
      --lines;  // the header
    }
    state.counters["csv_lines"] = lines;
  }
}
BENCHMARK(BM_ReadingCpu)
    ->ArgsProduct({{100, 1000}, {0, 1}})
    ->ArgNames({"rate", "trend_and_csv"})
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// One paint of the trend window's plot (720 x 360) over one hour at 1000 readings/s, a sweep
// with noise and a few gaps; argument: the span shown in seconds.
void BM_TrendPaint(benchmark::State& state) {
  EnsureApp();
  double now = 0;
  kelta::TrendBuffer trend(kelta::TrendBuffer::kCapacity, [&now] { return now; });
  uint32_t noise = 1;
  for (int i = 0; i < 3'600'000; ++i) {
    now = i / 1000.0;
    if (i % 600'000 == 300'000) trend.MarkGap();
    if (i % 600'000 >= 300'000 && i % 600'000 < 305'000) continue;  // 5 s without connection
    noise = noise * 1664525u + 1013904223u;
    trend.Push(90 * std::sin(now / 60) + static_cast<double>(noise >> 24) / 64.0);
  }
  QImage image(720, 360, QImage::Format_RGB32);
  kelta::TrendView view;
  view.end = now;
  view.span = static_cast<double>(state.range(0));
  for (auto _ : state) {
    QPainter painter(&image);
    kelta::PaintTrend(painter, image.rect(), trend, view);
  }
  state.counters["readings_held"] = static_cast<double>(trend.Size());
  state.counters["store_MB"] = static_cast<double>(trend.MemoryBytes()) / 1e6;
}
BENCHMARK(BM_TrendPaint)
    ->Arg(3600)
    ->Arg(600)
    ->Arg(10)
    ->ArgName("span_s")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

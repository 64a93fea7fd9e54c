// BM_UnansweredExchangeCpu: process CPU while "#READ" goes unanswered (six sends, about 3 s);
// a wait that polled would use a whole core. BM_FrameToMemoLatency: from a data frame written
// into the pseudo-terminal to its line in Memo1 (back to back, and after a quiet second), through
// the serial port's threads and the GUI thread's event loop. BM_ReadingCpu: the console's CPU per
// reading while the sensor streams at 100 and 1000 readings/s, bare and with the trend window open
// and recording on (every reading written to a CSV file). BM_TrendPaint: one paint of the trend
// over one hour at 1000 readings/s. BM_ReadingToPixels: from a data frame written into the
// pseudo-terminal at 100 and 1000 frames/s until the window shows its needle and readout and Memo1
// holds its line; beside it BM_ReadingToPixels_QtPeer, the same road as a Qt developer would build
// it on QSerialPort. BM_ReadingToPixelsMemory: resident memory before and after many readings.

#include "apps/sim/PortLink.h"
#include "apps/sim/SensorWire.h"
#include "apps/sim/SimulatedSensor.h"
#include "console/form/TrendBuffer.h"
#include "console/qt/ClickablePanel.h"
#include "console/qt/TrendWindow.h"
#include "console/qt/UKELTA_Display.h"
#include "graphics/dial/DialComposer.h"
#include "records/RecordSettings.h"
#include "serial/VaComm.h"
#include "sevenseg/qt/iSevenSegmentAnalog.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QLCDNumber>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <QTextBlock>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class NoBoxes final : public kelta::ConsoleDialogs {
 public:
  void ShowMessage(const QString&) override {}
  bool AskYesNo(const QString&) override { return false; }
};

// The console loads its dial pictures from "img/" beside where it runs; started from build/bin
// the benchmark works in the source tree's, as when it is run from the repository root.
void FindPictures() {
  if (!std::filesystem::exists("img/Mode0.png") &&
      std::filesystem::exists(KELTA_SOURCE_DIR "/img/Mode0.png"))
    std::filesystem::current_path(KELTA_SOURCE_DIR);
}

void EnsureApp() {
  FindPictures();
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
  const int quietMs = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (quietMs > 0) {
      // A quiet spell first: the frame is a lone reading, which is shown at once.
      state.PauseTiming();
      QEventLoop quiet;
      QTimer::singleShot(quietMs, &quiet, &QEventLoop::quit);
      quiet.exec();
      state.ResumeTiming();
    }
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
// Argument: the quiet milliseconds before each frame. Without them each frame follows the last
// one's showing within a display frame and waits for the frame's end (16 ms at most); after a
// quiet second it is a lone reading.
BENCHMARK(BM_FrameToMemoLatency)
    ->Arg(0)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameToMemoLatency)
    ->Arg(1000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

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
  kelta::ConsoleForm& form = rig.window->Form();
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

// One drawing of the trend window's picture (720 x 360) over one hour at 1000 readings/s, a sweep
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
  kelta::TrendPicture picture;
  kelta::TrendView view;
  view.end = now;
  view.span = static_cast<double>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(picture.Draw(trend, view, 720, 360).Bits());
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

// --- From the wire to the pixel

// Frame n carries the angle n + 1 tenths of a degree (modulo 360°; never the 0 shown at the
// start): every frame moves the needle
// and changes the readout, and what is shown names the newest frame it shows.
constexpr int kTenthsPerTurn = 3600;
std::string AngleTextOf(std::size_t n) {
  return kelta::sim::AngleText(static_cast<double>((n + 1) % kTenthsPerTurn) / 10.0, true);
}

// Writes frames into the line from a thread of its own, one every period (none: as fast as the
// line takes them), and notes when each was written.
class FrameWriter {
 public:
  FrameWriter(std::size_t count, std::chrono::microseconds period,
              std::function<void(std::string_view)> write)
      : written_(count), write_(std::move(write)), thread_([this, period] { Run(period); }) {}
  ~FrameWriter() {
    stop_ = true;
    thread_.join();
  }
  std::size_t Count() const { return written_.size(); }
  // Frames whose writing began; their times are final.
  std::size_t Written() const { return done_.load(std::memory_order_acquire); }
  Clock::time_point WrittenAt(std::size_t n) const { return written_[n]; }

 private:
  void Run(std::chrono::microseconds period) {
    auto due = Clock::now();
    for (std::size_t n = 0; n < written_.size() && !stop_; ++n) {
      if (period.count() > 0) {
        std::this_thread::sleep_until(due);
        due += period;
      }
      const std::string frame = kelta::sim::DataFrame(AngleTextOf(n));
      written_[n] = Clock::now();
      // Counted before the write returns: the window may show the frame before that.
      done_.store(n + 1, std::memory_order_release);
      write_(frame);
    }
  }

  std::vector<Clock::time_point> written_;
  std::function<void(std::string_view)> write_;
  std::atomic<std::size_t> done_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// What the window shows against what was written: a frame counts as on screen when the first
// picture showing it, or a later frame, is complete. Frames the GUI thread took together in one
// batch are on screen with the one picture that shows the newest of them.
class ShownFrames {
 public:
  explicit ShownFrames(const FrameWriter& writer) : writer_(writer) {}
  // The picture just completed shows the angle `text`; memoLast: Memo1's last line.
  void Picture(const std::string& text, const QString& memoLast) {
    const auto now = Clock::now();
    const std::size_t written = writer_.Written();
    if (written == 0) return;
    // The newest written frame with this angle.
    std::size_t n = written - 1;
    while (AngleTextOf(n) != text) {
      if (n == 0 || written - n > kTenthsPerTurn) return;
      --n;
    }
    if (n < next_) return;                                         // nothing newer on screen
    if (!memoLast.contains(QString::fromStdString(text))) return;  // the list lags the dial
    for (; next_ <= n; ++next_)
      micros_.push_back(
          std::chrono::duration<double, std::micro>(now - writer_.WrittenAt(next_)).count());
  }
  std::size_t OnScreen() const { return next_; }
  void Report(benchmark::State& state) const {
    std::vector<double> sorted = micros_;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&sorted](double q) {
      return sorted.empty()
                 ? 0.0
                 : sorted[static_cast<size_t>(q * static_cast<double>(sorted.size() - 1))];
    };
    state.counters["p50_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
  }

 private:
  const FrameWriter& writer_;
  std::size_t next_ = 0;  // the first frame not yet on screen
  std::vector<double> micros_;
};

// Sees a widget's paint through: the widget paints first (the filter hands the event on
// itself), then `painted` runs.
class AfterPaint : public QObject {
 public:
  AfterPaint(QWidget* widget, std::function<void()> painted)
      : widget_(widget), painted_(std::move(painted)) {
    widget_->installEventFilter(this);
  }
  ~AfterPaint() override { widget_->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != widget_ || event->type() != QEvent::Paint || inside_) return false;
    inside_ = true;
    QCoreApplication::sendEvent(widget_, event);  // the widget's own paint
    inside_ = false;
    painted_();
    return true;
  }

 private:
  QWidget* widget_;
  std::function<void()> painted_;
  bool inside_ = false;
};

constexpr double kSecondsPerRate = 3;

// One road measured, for both windows: frames written at state.range(0) a second for
// kSecondsPerRate seconds through `write`; after each paint of `readout` (the widget's own paint
// first), `onScreen` tells the angle shown and Memo1's (or its peer's) last line. cpuSeconds:
// the clock the window's CPU is read from.
void MeasureRoad(benchmark::State& state, QWidget* readout, double (*cpuSeconds)(),
                 const std::function<void(std::string_view)>& write,
                 const std::function<std::pair<std::string, QString>()>& onScreen) {
  const std::size_t count = static_cast<std::size_t>(kSecondsPerRate * state.range(0));
  const auto period = std::chrono::microseconds(1'000'000 / state.range(0));
  RunEventsFor(300);
  double cpu = 0;
  std::size_t readings = 0;
  for (auto _ : state) {
    const double cpu0 = cpuSeconds();
    FrameWriter writer(count, period, write);
    ShownFrames shown(writer);
    AfterPaint probe(readout, [&] {
      const auto [text, memoLast] = onScreen();
      shown.Picture(text, memoLast);
    });
    const auto limit = Clock::now() + std::chrono::duration<double>(kSecondsPerRate + 5);
    while (shown.OnScreen() < count && Clock::now() < limit)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    cpu += cpuSeconds() - cpu0;
    readings += shown.OnScreen();
    shown.Report(state);
    if (shown.OnScreen() < count) state.SkipWithError("frames never reached the screen");
  }
  state.counters["cpu_us_per_reading"] = readings ? 1e6 * cpu / static_cast<double>(readings) : 0;
}

// Both roads run at 100 and 1000 frames a second, once each, on the wall clock.
void AtBothRates(benchmark::internal::Benchmark* road) {
  road->Arg(100)->Arg(1000)->ArgName("rate")->Iterations(1)->UseRealTime()->Unit(
      benchmark::kMillisecond);
}

// Argument: frames per second.
void BM_ReadingToPixels(benchmark::State& state) {
  kelta::sim::SensorConfig config;
  config.silent = true;  // only the frames written below reach the console
  Rig rig(config);
  rig.window->show();
  rig.window->Form().ChooseDialPicture("3600", "0");  // the full-turn clockwise dial
  // The panel with the dial and Memo1 as after the sensor's information reply (the silent
  // sensor gives none).
  rig.window->Panel1->show();
  QPlainTextEdit* memo = rig.window->Memo1;
  // The honest end of a reading's road: the readout's own paint has finished. The readout is
  // a child of the dial view, so in the same pass the dial view's buffer, which holds the
  // needle the composer turned for this reading, was painted into the window before it; the
  // readout's value and Memo1's last line are read there, both set by the same reading.
  MeasureRoad(
      state, rig.window->ssaValue, ConsoleCpuSeconds,
      [&rig](std::string_view frame) { rig.sensor.WriteRaw(frame); },
      [&rig, memo] {
        return std::make_pair(kelta::sim::AngleText(rig.window->ssaValue->Value(), true),
                              memo->document()->lastBlock().text());
      });
}
BENCHMARK(BM_ReadingToPixels)->Apply(AtBothRates);

// The same road as a Qt developer would build it: QSerialPort on the GUI thread, readyRead
// splits the frames, each goes to a QPlainTextEdit line, a QLCDNumber and a needle image turned
// by QPainter under the same dial picture into a QImage; the window's paint of the readout
// ends the road, as above.
class QtPeer {
 public:
  QtPeer() {
    needle_.load(QStringLiteral("img/arrow2.PNG"));
    dial_.load(QStringLiteral("img/Mode0.png"));
    frame_ = QImage(dial_.size(), QImage::Format_ARGB32_Premultiplied);
    window_.resize(620, 420);
    memo_ = new QPlainTextEdit(&window_);
    memo_->setGeometry(0, 0, 200, 400);
    lcd_ = new QLCDNumber(6, &window_);
    lcd_->setGeometry(210, 0, 200, 60);
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { Read(); });
  }
  bool Open(const std::string& path) {
    port_.setPortName(QString::fromStdString(path));
    if (!port_.open(QIODevice::ReadWrite)) return false;
    port_.setBaudRate(9600);
    window_.show();
    return true;
  }
  QLCDNumber* Readout() { return lcd_; }
  QString MemoLast() const { return memo_->document()->lastBlock().text(); }
  const QImage& Frame() const { return frame_; }

 private:
  void Read() {
    pending_ += port_.readAll();
    for (qsizetype end; (end = pending_.indexOf('$')) >= 0;) {
      const QByteArray frame = pending_.left(end + 1);
      pending_.remove(0, end + 1);
      const qsizetype stx = frame.indexOf('\x02'), etb = frame.indexOf('\x17');
      if (stx < 0 || etb < stx) continue;
      const QString text = QString::fromLatin1(frame.mid(stx + 1, etb - stx - 1));
      memo_->appendPlainText(text);
      lcd_->display(text);
      Draw(text.toDouble());
    }
  }
  void Draw(double angle) {
    frame_.fill(Qt::white);
    QPainter painter(&frame_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(kelta::gfx::kNeedleShiftX + kelta::gfx::kNeedlePivotX,
                      kelta::gfx::kNeedleShiftY + kelta::gfx::kNeedlePivotY);
    painter.rotate(angle);
    painter.drawImage(QPointF(-kelta::gfx::kNeedlePivotX, -kelta::gfx::kNeedlePivotY), needle_);
    painter.resetTransform();
    painter.drawImage(0, 0, dial_);
  }

  QWidget window_;
  QPlainTextEdit* memo_;
  QLCDNumber* lcd_;
  QSerialPort port_;
  QByteArray pending_;
  QImage needle_, dial_, frame_;
};

void BM_ReadingToPixels_QtPeer(benchmark::State& state) {
  EnsureApp();
  kelta::test::PtyPair pty;
  QtPeer peer;
  if (!peer.Open(pty.SlavePath())) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  MeasureRoad(
      state, peer.Readout(), GuiCpuSeconds, [&pty](std::string_view frame) { pty.Write(frame); },
      [&peer] {
        // The LCD shows what it was given: the frame's text.
        return std::make_pair(kelta::sim::AngleText(peer.Readout()->value(), true),
                              peer.MemoLast());
      });
}
BENCHMARK(BM_ReadingToPixels_QtPeer)->Apply(AtBothRates);

// Resident memory while `readings` readings arrive, written as fast as the line takes them
// (the console's reading of the line paces the writer), every one decoded, listed in Memo1 and
// shown on the dial. Measured after each quarter, each alone and less the trend ring: the ring
// keeps an hour of readings by design and grows until full; everything else must stay flat.
// Each quarter has its own writer, so the writer's timestamps are not counted as the console's.
void BM_ReadingToPixelsMemory(benchmark::State& state) {
  kelta::sim::SensorConfig config;
  config.silent = true;
  Rig rig(config);
  rig.window->show();
  rig.window->Form().ChooseDialPicture("3600", "0");
  rig.window->Panel1->show();
  kelta::ConsoleForm& form = rig.window->Form();
  const std::size_t quarter = static_cast<std::size_t>(state.range(0)) / 4;
  RunEventsFor(300);
  const auto lessTrend = [&form] {
    return static_cast<double>(kelta::test::ResidentKiB()) -
           static_cast<double>(form.Trend().MemoryBytes()) / 1024.0;
  };
  state.counters["rss_before_kib"] = static_cast<double>(kelta::test::ResidentKiB());
  state.counters["rss_less_trend_before_kib"] = lessTrend();
  for (auto _ : state) {
    for (int q = 1; q <= 4; ++q) {
      const std::size_t start = form.Trend().Size();
      {
        FrameWriter writer(quarter, std::chrono::microseconds(0),
                           [&rig](std::string_view frame) { rig.sensor.WriteRaw(frame); });
        const auto limit = Clock::now() + std::chrono::minutes(5);
        while (form.Trend().Size() - start < quarter && Clock::now() < limit)
          QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      }
      const std::string name = "rss_less_trend_q" + std::to_string(q) + "_kib";
      state.counters[name] = lessTrend();
    }
  }
  state.counters["rss_after_kib"] = static_cast<double>(kelta::test::ResidentKiB());
  state.counters["trend_kib"] = static_cast<double>(form.Trend().MemoryBytes()) / 1024.0;
  state.counters["readings"] = static_cast<double>(form.Trend().Size());
  state.counters["memo_lines"] = rig.window->Memo1->document()->blockCount();
}
BENCHMARK(BM_ReadingToPixelsMemory)
    ->Arg(1'000'000)
    ->ArgName("readings")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

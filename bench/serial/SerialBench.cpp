// The serial port object against QSerialPort, both on a Qt event loop (the GUI thread is this
// program's main thread), reading the same sensor frames from the same kind of pseudo-terminal:
//   BM_RxLatency*     frame written into the master -> receive handler running on the GUI
//                     thread; p50/p99 in microseconds, CPU per 10 000 frames.
//   BM_RxRate*        frames streamed as fast as the pseudo-terminal takes them.
//   BM_IdleCpu*       an open port without traffic.
//   BM_GuiHandOff     one worker-to-GUI hand-off, CPU per call.

#include <benchmark/benchmark.h>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/VaComm.h"
#include "serial/qt/QtGuiDispatcher.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using kelta::test::ProcessCpuTime;
using kelta::test::PtyPair;

// A data frame as the sensor sends it: STX, angle, ETB, two check characters, "$".
const std::string kFrame = std::string("\x02") + "123.4" + "\x17" + "ab$";

// What the receive handler of either port leaves behind (GUI thread only).
struct Arrivals {
  std::size_t bytes = 0;
  bool seen = false;
  Clock::time_point first;
  void Got(std::size_t n) {
    if (!seen) {
      first = Clock::now();
      seen = true;
    }
    bytes += n;
    if (interruptLoop) QAbstractEventDispatcher::instance()->interrupt();
  }
  // Qt's UNIX dispatcher (QT_NO_GLIB=1) goes on waiting after it ran posted events, where the
  // port's notifications arrive: make ProcessUntil look at its condition again.
  static inline bool interruptLoop = false;
};

class Receiver {
 public:
  virtual ~Receiver() = default;
  virtual bool Open(const std::string& path) = 0;
  Arrivals arrivals;
};

// The console's way: TVaComm, OnRxChar reads every waiting byte with ReceiveText.
class VaCommReceiver : public Receiver {
 public:
  VaCommReceiver() {
    port_.SetExeDir(exe_.Path());
    port_.SetDispatcher(std::make_shared<kelta::QtDispatcher>());
    port_.SetBaudrate(kelta::TVaBaudrate::br9600);
    port_.SetPortNum(1);
    port_.OnRxChar = [this](kelta::TVaCustomComm* sender, int) {
      arrivals.Got(sender->ReceiveText().size());
    };
  }
  ~VaCommReceiver() override { port_.Close(); }
  bool Open(const std::string& path) override {
    exe_.Link(1, path);
    try {
      port_.Open();
      port_.SetRtsLine(true);
      port_.SetDtrLine(true);
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

 private:
  kelta::test::ExeDir exe_;  // before the port, which must close before the folder goes
  kelta::TVaComm port_;
};

// Qt's own: QSerialPort on the same event loop, readyRead reads everything.
class QSerialPortReceiver : public Receiver {
 public:
  QSerialPortReceiver() {
    QObject::connect(&port_, &QSerialPort::readyRead,
                     [this] { arrivals.Got(static_cast<std::size_t>(port_.readAll().size())); });
  }
  bool Open(const std::string& path) override {
    port_.setPortName(QString::fromStdString(path));
    if (!port_.open(QIODevice::ReadWrite)) return false;
    port_.setBaudRate(9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    return true;
  }

 private:
  QSerialPort port_;
};

// Blocks in the event loop between events (the overload with a time limit would not wait).
void ProcessUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

// Plays the sensor on its own thread, as bytes from a real line come from outside the GUI
// thread: on each request it writes one frame and notes when.
class Device {
 public:
  explicit Device(PtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
  ~Device() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  void SendFrame() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ++requested_;
    }
    // Outside the lock: woken under it, the device thread would block on the lock once more
    // (a futex round and a context switch per frame that belong to neither port).
    wake_.notify_one();
  }
  // When the last requested frame was written (valid once the frame arrived).
  Clock::time_point LastWrite() {
    std::lock_guard<std::mutex> hold(lock_);
    return written_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [this] { return quit_ || requested_ > done_; });
      if (quit_) return;
      ++done_;
      written_ = Clock::now();
      hold.unlock();
      pty_.Write(kFrame);
      hold.lock();
    }
  }

  PtyPair& pty_;
  std::mutex lock_;  // guards everything below
  std::condition_variable wake_;
  std::uint64_t requested_ = 0, done_ = 0;
  bool quit_ = false;
  Clock::time_point written_;
  std::thread thread_;
};

template <typename R>
void RxLatency(benchmark::State& state) {
  PtyPair pty;
  R receiver;
  if (!receiver.Open(pty.SlavePath())) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  Device device(pty);
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(state.max_iterations));
  const auto cpuBefore = ProcessCpuTime();
  for (auto _ : state) {
    const std::size_t target = receiver.arrivals.bytes + kFrame.size();
    receiver.arrivals.seen = false;
    device.SendFrame();
    ProcessUntil([&] { return receiver.arrivals.bytes >= target; });
    latencies.push_back(
        std::chrono::duration<double, std::micro>(receiver.arrivals.first - device.LastWrite())
            .count());
  }
  const auto cpu = ProcessCpuTime() - cpuBefore;
  const double frames = static_cast<double>(latencies.size());
  state.counters["p50_us"] = Percentile(latencies, 0.50);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["cpu_ms_per_10k_frames"] =
      frames > 0 ? std::chrono::duration<double, std::milli>(cpu).count() / frames * 10000 : 0;
}

template <typename R>
void RxRate(benchmark::State& state) {
  constexpr std::size_t kFramesPerRun = 20000;
  PtyPair pty;
  R receiver;
  if (!receiver.Open(pty.SlavePath())) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  std::string burst;
  for (int i = 0; i < 100; ++i) burst += kFrame;
  const auto cpuBefore = ProcessCpuTime();
  std::size_t total = 0;
  for (auto _ : state) {
    const std::size_t target = receiver.arrivals.bytes + kFramesPerRun * kFrame.size();
    std::thread device([&] {
      for (std::size_t i = 0; i < kFramesPerRun / 100; ++i) pty.Write(burst);
    });
    ProcessUntil([&] { return receiver.arrivals.bytes >= target; });
    device.join();
    total += kFramesPerRun;
  }
  const auto cpu = ProcessCpuTime() - cpuBefore;
  state.SetItemsProcessed(static_cast<int64_t>(total));
  state.SetBytesProcessed(static_cast<int64_t>(total * kFrame.size()));
  state.counters["cpu_ms_per_10k_frames"] =
      std::chrono::duration<double, std::milli>(cpu).count() / static_cast<double>(total) * 10000;
}

template <typename R>
void IdleCpu(benchmark::State& state) {
  PtyPair pty;
  R receiver;
  if (!receiver.Open(pty.SlavePath())) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  const auto cpuBefore = ProcessCpuTime();
  const auto wallBefore = Clock::now();
  for (auto _ : state) {
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
  }
  const auto cpu = ProcessCpuTime() - cpuBefore;
  const auto wall = Clock::now() - wallBefore;
  state.counters["idle_cpu_percent"] = 100.0 * std::chrono::duration<double>(cpu).count() /
                                       std::chrono::duration<double>(wall).count();
}

// A worker woken from the GUI thread hands a call back to it through QtDispatcher and blocks
// until it ran: one BM_RxLatency frame without the pseudo-terminal and the device wait. Its cost
// is what the port's event thread adds to a frame over QSerialPort, which reads on the GUI
// thread itself.
void BM_GuiHandOff(benchmark::State& state) {
  kelta::QtDispatcher dispatcher;
  std::mutex lock;  // guards go, calls and quit
  std::condition_variable wake;
  std::uint64_t go = 0, calls = 0;
  bool quit = false;
  std::size_t ran = 0;  // GUI thread only
  std::thread worker([&] {
    const std::function<void()> call = [&ran] { ++ran; };
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      wake.wait(hold, [&] { return quit || go > calls; });
      if (quit) return;
      hold.unlock();
      dispatcher.Call(call);
      hold.lock();
      ++calls;
    }
  });
  const auto cpuBefore = ProcessCpuTime();
  for (auto _ : state) {
    const std::size_t target = ran + 1;
    {
      std::lock_guard<std::mutex> hold(lock);
      ++go;
    }
    wake.notify_one();
    ProcessUntil([&] { return ran >= target; });
  }
  const auto cpu = ProcessCpuTime() - cpuBefore;
  {
    std::lock_guard<std::mutex> hold(lock);
    quit = true;
  }
  wake.notify_one();
  worker.join();  // its last call ran to its end inside ProcessUntil
  state.counters["cpu_us_per_call"] = std::chrono::duration<double, std::micro>(cpu).count() /
                                      static_cast<double>(state.iterations());
}

// Sleeps on the futex word while it holds `value`; no spinning first, so every wait that finds
// the value unchanged is a real sleep and every wake a real wake, as when the other side is busy.
void FutexWait(std::atomic<std::uint32_t>& word, std::uint32_t value) {
  while (word.load() == value)
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr,
            nullptr, 0);
}
void FutexWake(std::atomic<std::uint32_t>& word) {
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr,
          nullptr, 0);
}

// The floor under any blocking hand-off: one thread wakes another from its sleep and sleeps
// until it is woken back, with nothing else done (a bare futex each way). A worker that waits
// for the GUI thread pays at least this per frame on top of what a reader on the GUI thread
// pays.
void BM_WakeRoundTrip(benchmark::State& state) {
  std::atomic<std::uint32_t> turn{0};  // odd: the worker's turn; even: the benchmark thread's
  std::atomic<bool> quit{false};
  std::thread worker([&] {
    for (std::uint32_t seen = 0;;) {
      FutexWait(turn, seen);
      seen = turn.load();
      if (quit.load()) return;
      turn.store(++seen);
      FutexWake(turn);
    }
  });
  const auto cpuBefore = ProcessCpuTime();
  std::uint32_t mine = 0;
  for (auto _ : state) {
    turn.store(++mine);
    FutexWake(turn);
    FutexWait(turn, mine);
    mine = turn.load();
  }
  const auto cpu = ProcessCpuTime() - cpuBefore;
  quit = true;
  turn.store(mine + 1);
  FutexWake(turn);
  worker.join();
  state.counters["cpu_us_per_call"] = std::chrono::duration<double, std::micro>(cpu).count() /
                                      static_cast<double>(state.iterations());
}

void BM_RxLatency(benchmark::State& state) { RxLatency<VaCommReceiver>(state); }
void BM_RxLatency_QSerialPort(benchmark::State& state) { RxLatency<QSerialPortReceiver>(state); }
void BM_RxRate(benchmark::State& state) { RxRate<VaCommReceiver>(state); }
void BM_RxRate_QSerialPort(benchmark::State& state) { RxRate<QSerialPortReceiver>(state); }
void BM_IdleCpu(benchmark::State& state) { IdleCpu<VaCommReceiver>(state); }
void BM_IdleCpu_QSerialPort(benchmark::State& state) { IdleCpu<QSerialPortReceiver>(state); }

BENCHMARK(BM_WakeRoundTrip)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GuiHandOff)->Iterations(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RxLatency)->Iterations(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RxLatency_QSerialPort)->Iterations(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RxRate)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RxRate_QSerialPort)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleCpu)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleCpu_QSerialPort)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QCoreApplication app(qtArgc, qtArgv);
  Arrivals::interruptLoop = !QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

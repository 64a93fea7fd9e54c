// kelta-record (the program, as it runs in a plant) between a sensor played on a pseudo-terminal
// by this benchmark and a real broker with a subscriber in this process:
//   BM_RecordLatency     frames 10 ms apart; frame written into the master -> message received
//                        by the subscriber: p50/p99 in microseconds.
//   BM_RecordRate/N      N recorders, each fed frames as fast as its line takes them, all into
//                        one broker: readings per second in total (received by the subscriber)
//                        and the recorders' CPU per reading (their own /proc figures; the
//                        broker's CPU apart).

#include <benchmark/benchmark.h>
#include <mosquitto.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/sim/SensorWire.h"
#include "serial/portmap/PortMap.h"
#include "tests/apps/recorder/LiveBroker.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kelta::test::Child;
using kelta::test::LiveBroker;
using kelta::test::PtyPair;
using kelta::test::TempDir;

// CPU time (user + system) of another process, from /proc/PID/stat.
std::chrono::microseconds ChildCpu(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
  long long utime = 0, stime = 0;
  fields >> utime >> stime;
  const long ticks = sysconf(_SC_CLK_TCK);
  return std::chrono::microseconds((utime + stime) * 1'000'000 / ticks);
}

// Every reading message: the frame number (the angle's whole part) and when it arrived.
class Collector {
 public:
  explicit Collector(int port) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int) {
      mosquitto_subscribe(m, nullptr, "bench/+/reading/#", 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* user, int, int, const int*) {
      static_cast<Collector*>(user)->subscribed_ = true;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* user, const mosquitto_message* m) {
      auto* self = static_cast<Collector*>(user);
      const std::string payload(static_cast<const char*>(m->payload),
                                static_cast<size_t>(m->payloadlen));
      const size_t at = payload.find("\"line\":\"");
      const long frame = at == std::string::npos ? -1 : std::stol(payload.substr(at + 8));
      std::lock_guard lock(self->lock_);
      self->arrivals_.push_back({frame, Clock::now()});
    });
    mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
    kelta::test::WaitUntil([&] { return subscribed_.load(); }, 20s);
  }
  ~Collector() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }
  struct Arrival {
    long frame;
    Clock::time_point at;
  };
  size_t Count() const {
    std::lock_guard lock(lock_);
    return arrivals_.size();
  }
  std::vector<Arrival> Take() {
    std::lock_guard lock(lock_);
    return std::move(arrivals_);
  }

 private:
  mosquitto* mosq_ = nullptr;
  std::atomic<bool> subscribed_{false};
  mutable std::mutex lock_;
  std::vector<Arrival> arrivals_;
};

// One sensor on its pseudo-terminal with kelta-record on the other end.
struct Rig {
  Rig(const TempDir& dir, int n, const LiveBroker& broker) {
    const std::string name = "r" + std::to_string(n);
    recorder = std::make_unique<Child>(
        std::vector<std::string>{kelta::ExecutableDir() + "kelta-record", pty.SlavePath(), "--mqtt",
                                 broker.Address(), "--topic", "bench", "--name", name,
                                 "--queue-dir", dir.File("q-" + name)},
        "/dev/null", dir.File(name + ".err"));
    // The recorder's start: "#STOP", then "#INFO" (answered), then "#READ". Until the
    // recorder opens its end, reads here end at once: read again until the deadline.
    WaitFor("#INFO");
    pty.Write(kelta::sim::InfoLine(kelta::sim::SensorSettings{}));
    WaitFor("#READ");
  }
  void WaitFor(const std::string& command) {
    std::string seen;
    kelta::test::WaitUntil(
        [&] {
          seen += pty.ReadFor(10ms);
          return seen.find(command) != std::string::npos;
        },
        20s);
  }
  ~Rig() {
    recorder->Signal(SIGTERM);
    recorder->Wait();
  }
  static std::string Frame(long k) { return kelta::sim::DataFrame(std::to_string(k) + ".5"); }
  // Frames written back to back arrive several in one read, where the decoder's block check
  // (the console's, kept by the recorder) rejects every second ETB: the rate runs send frames
  // without ETB, which the check lets pass, so every frame written is a reading.
  static std::string BareFrame(long k) { return "\x02" + std::to_string(k) + ".5AB$"; }

  PtyPair pty;
  std::unique_ptr<Child> recorder;
};

void BM_RecordLatency(benchmark::State& state) {
  TempDir dir;
  LiveBroker broker(dir.Path());
  broker.Start();
  Collector collector(broker.Port());
  Rig rig(dir, 0, broker);
  constexpr long kFrames = 1000;
  std::vector<Clock::time_point> written(kFrames);
  for (auto _ : state) {
    collector.Take();
    for (long k = 0; k < kFrames; ++k) {
      written[static_cast<size_t>(k)] = Clock::now();
      rig.pty.Write(Rig::Frame(k));
      std::this_thread::sleep_for(10ms);
    }
    kelta::test::WaitUntil([&] { return collector.Count() >= kFrames; }, 10s);
    std::vector<double> us;
    for (const auto& a : collector.Take()) {
      if (a.frame >= 0 && a.frame < kFrames) {
        us.push_back(
            std::chrono::duration<double, std::micro>(a.at - written[static_cast<size_t>(a.frame)])
                .count());
      }
    }
    std::sort(us.begin(), us.end());
    if (us.empty()) {
      state.SkipWithError("no reading arrived");
      return;
    }
    state.counters["p50_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[us.size() * 99 / 100];
    state.counters["received"] = static_cast<double>(us.size());
  }
}
BENCHMARK(BM_RecordLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RecordRate(benchmark::State& state) {
  const int recorders = static_cast<int>(state.range(0));
  TempDir dir;
  LiveBroker broker(dir.Path());
  broker.Start();
  Collector collector(broker.Port());
  std::vector<std::unique_ptr<Rig>> rigs;
  for (int i = 0; i < recorders; ++i) rigs.push_back(std::make_unique<Rig>(dir, i, broker));
  constexpr long kFramesEach = 20000;
  for (auto _ : state) {
    collector.Take();
    std::vector<std::chrono::microseconds> cpuBefore;
    for (const auto& rig : rigs) cpuBefore.push_back(ChildCpu(rig->recorder->Pid()));
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> writers;
    for (const auto& rig : rigs) {
      writers.emplace_back([&rig] {
        std::string burst;
        for (long k = 0; k < kFramesEach; ++k) {
          burst += Rig::BareFrame(k);
          if (burst.size() >= 1024) {
            rig->pty.Write(burst);
            burst.clear();
          }
        }
        rig->pty.Write(burst);
      });
    }
    for (auto& w : writers) w.join();
    const size_t total = static_cast<size_t>(kFramesEach) * recorders;
    // Until all came, or nothing more for two seconds.
    size_t last = 0;
    Clock::time_point lastChange = Clock::now();
    Clock::time_point end = lastChange;
    while (collector.Count() < total && Clock::now() - lastChange < 2s) {
      std::this_thread::sleep_for(5ms);
      if (const size_t now = collector.Count(); now != last) {
        last = now;
        lastChange = end = Clock::now();
      }
    }
    if (collector.Count() >= total) end = Clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    std::chrono::microseconds cpu{0};
    for (size_t i = 0; i < rigs.size(); ++i)
      cpu += ChildCpu(rigs[i]->recorder->Pid()) - cpuBefore[i];
    const size_t received = collector.Count();
    state.counters["readings_per_s"] = static_cast<double>(received) / seconds;
    state.counters["cpu_us_per_reading"] =
        static_cast<double>(cpu.count()) / static_cast<double>(std::max<size_t>(received, 1));
    state.counters["received"] = static_cast<double>(received);
    state.counters["sent"] = static_cast<double>(total);
  }
}
BENCHMARK(BM_RecordRate)
    ->Arg(1)
    ->Arg(16)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

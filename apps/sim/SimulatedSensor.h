#pragma once
// A simulated KELTA angle sensor on a pseudo-terminal: the console (or a test) opens
// SlavePath() like any serial device and talks to it with the sensor's protocol.
//
// The sensor answers "#INFO" with its information line, "#DATA" and its own ID poll
// (0xB0 + ID, ENQ) with one data frame, streams frames after "#READ" until "#STOP", answers
// "#ID<n>", "#CALI14<t>", "#CALI15<t>" and "#MODE<m>" with "OK" (or "NG" for an argument it
// cannot take) and takes the new value, and stores nothing on "#SAVE" (no reply). Unknown
// "#" commands get "NG"; other text is ignored. While nobody holds the slave open, what it
// would send is dropped, as on a line with nobody listening.
//
// Threading:
//   - Two worker threads live between Start() and Stop(): the reader (waits in poll() on the
//     master, a wake eventfd and an inotify watch on the slave; reads, logs and interprets
//     the console's bytes) and the sender (waits on a condition variable for the next due
//     reply or stream frame; writes them). Neither busy-waits: a closed slave is waited out
//     on inotify's open event (a 50 ms re-check only if inotify is unavailable).
//   - Every public member may be called from any thread, except that Start/Stop/HangUp must
//     not be called from SensorConfig::lineObserver (it runs on the reader thread) and
//     nothing of the sensor from the function given to Update (it runs under mutex_).
//   - mutex_ guards the configuration and settings, the stream state, the reply queue, the
//     stop flag, the received-bytes log and the frame count; writeMutex_ guards writing to
//     the master and closing it; lifecycleMutex_ serialises Start/Stop/HangUp. mutex_ and
//     writeMutex_ are never held together; lifecycleMutex_ is taken first when it is.
//   - Writes happen on the sender thread and on WriteRaw's caller, one at a time under
//     writeMutex_. Stop and HangUp signal the wake eventfd (never drained, so every later
//     wait ends at once); every wait inside a write includes it, so a write blocked on a full
//     line ends too.
//   - Memory is bounded whatever arrives: command lines are capped, the reply queue holds
//     at most kMaxPendingReplies, the log keeps the newest receiveLogLimit bytes.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "apps/sim/CommandAssembler.h"
#include "apps/sim/SensorSettings.h"

namespace kelta::sim {

class PseudoTerminal;

struct SensorConfig {
  SensorSettings settings;  // changed at run time by "#ID", "#CALI14", "#CALI15", "#MODE"

  // The angle: fixed when set, else a sine sweep from -negativeRange to +positiveRange
  // (tenths of a degree) over sweepPeriodSeconds, starting at its middle.
  std::optional<double> fixedAngle;
  // Counting instead: the n-th data frame sent whole (from 0) reports countFrom + n times
  // countStep, so a reader can tell that every frame arrived once and in order.
  std::optional<double> countFrom;
  double countStep = 1.0;
  // >0: the count starts again after this span, countFrom + (n times countStep modulo
  // countWrap), so a long run keeps the needle within the dial while neighbouring frames
  // still differ.
  double countWrap = 0;
  double sweepPeriodSeconds = 20.0;  // 0.1 .. 1e6
  double framesPerSecond = 10.0;     // stream rate after "#READ", 0.01 .. 1000

  // A bus: these IDs (each 0..kMaxSensorId, each once) all answer their ID poll on this one
  // line, the way several sensors on one RS-485 pair do; empty: only settings.id answers.
  // Each has its own angle: the one at index k reports the fixed angle plus k degrees, or the
  // sweep k/size() of a period ahead, so a reader can tell who answered.
  std::vector<int> busIds;
  // Poll answers that come late: the ID polled (one that answers polls) waits this long
  // instead of replyDelay, as a slow sensor among quick ones on one bus does.
  std::map<int, std::chrono::milliseconds> lateIds;
  // One more sensor on the line that talks unasked: data frames at framesPerSecond from the
  // start, without "#READ" (until "#STOP"), with the angle of bus index busIds.size().
  bool unasked = false;

  // Switches for tests.
  bool silent = false;                      // reads and logs, answers nothing
  std::chrono::milliseconds replyDelay{0};  // before every reply and the first stream frame
  bool noDecimal = false;                   // whole degrees: "123" instead of "123.4"
  std::string garbage;                      // bytes written before every data frame
  size_t splitBytes = 0;                    // >0: every write goes out in pieces this long
  std::chrono::milliseconds splitGap{5};    // pause between pieces (so they arrive apart)
  int lineBaud = 0;  // >0: bytes leave no faster than a UART at this rate, 10 bits a byte
  size_t receiveLogLimit = 1 << 20;  // newest bytes kept by ReceivedBytes()

  // Called on the reader thread with every command line received (without terminator),
  // outside every lock. Must not call Start/Stop/HangUp.
  std::function<void(const std::string&)> lineObserver;
  // Called on the sender thread right after a data frame was written whole, with its number
  // (from 0, as FramesSent counts) and its angle text, outside every lock, so a benchmark can
  // stamp when each frame left. Must not call the sensor.
  std::function<void(uint64_t frame, const std::string& angleText)> frameObserver;
};

// Empty when the configuration is usable, else what is wrong.
std::string ConfigProblem(const SensorConfig& config);

class SimulatedSensor {
 public:
  static constexpr size_t kMaxPendingReplies = 64;

  // Throws std::invalid_argument with ConfigProblem's text.
  explicit SimulatedSensor(SensorConfig config = {});
  ~SimulatedSensor();  // Stop()
  SimulatedSensor(const SimulatedSensor&) = delete;
  SimulatedSensor& operator=(const SimulatedSensor&) = delete;

  // Opens the pseudo-terminal and starts both threads. Once per object; throws
  // std::system_error when the pseudo-terminal cannot be made, std::logic_error when called
  // twice.
  void Start();
  // Ends both threads, joins them and closes every descriptor. Idempotent; may follow HangUp.
  void Stop();
  // Closes the master as a sensor unplugged: the slave side sees a hang-up. Nothing is read
  // or sent afterwards; Stop still has to be called (the destructor does).
  void HangUp();

  // The device to open (e.g. /dev/pts/3); empty before Start.
  std::string SlavePath() const;

  SensorConfig Config() const;
  SensorSettings Settings() const;
  // Applies change to a copy of the configuration and keeps it when it is usable; otherwise
  // throws std::invalid_argument and keeps the old one. change runs under the sensor's lock:
  // it must not call the sensor.
  void Update(const std::function<void(SensorConfig&)>& change);
  bool Streaming() const;
  // Off: the sensor loses its power behind a line that stays open (an adapter or a bus
  // converter powered apart): it stops streaming, forgets what it was about to send and
  // answers nothing, though it still logs what it receives. On: it answers again and, as
  // after any power-up, streams only once asked ("#READ").
  void SetPowered(bool on);

  // The bytes received, in arrival order; at most receiveLogLimit of the newest are kept.
  std::string ReceivedBytes() const;
  uint64_t ReceivedCount() const;  // all bytes ever received, trimmed ones included
  void ClearReceived();
  // True as soon as the log holds needle; false after timeout.
  bool WaitForReceived(std::string_view needle, std::chrono::milliseconds timeout) const;

  // Writes bytes to the line at once on the calling thread, exactly as given (no reply
  // delay, splitting or pacing; waits while the line is full). False when nobody holds the
  // slave open (the bytes are dropped), after HangUp/Stop, or when either ends the wait.
  // Replies and frames never interleave with these bytes. Any thread, lineObserver too.
  bool WriteRaw(std::string_view bytes);

  // Data frames written whole to the line (streamed, "#DATA" and polled).
  uint64_t FramesSent() const;
  bool WaitForFramesSent(uint64_t count, std::chrono::milliseconds timeout) const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    bool frame = false;  // a data frame, built when it goes out so its angle is current
    int busIndex = -1;   // the frame of busIds[busIndex]; -1: the sensor's own
    std::string text;    // otherwise the bytes to send
  };
  struct WriteShape {
    size_t splitBytes = 0;
    std::chrono::milliseconds splitGap{0};
    int lineBaud = 0;
  };

  void ShutdownLocked();  // lifecycleMutex_ held
  void ReaderLoop();
  void SenderLoop();
  void HandleBytes(std::string_view bytes);
  void Interpret(const SensorInput& input, Clock::time_point now);  // mutex_ held
  void QueueReply(Clock::time_point due, bool frame, std::string text,
                  int busIndex = -1);                          // mutex_ held
  double AngleAt(Clock::time_point when, int busIndex) const;  // mutex_ held
  bool Send(std::string_view bytes, const WriteShape& shape);
  bool WritePaced(int fd, std::string_view bytes, std::chrono::nanoseconds byteTime);
  bool WriteAll(int fd, std::string_view bytes);
  bool SleepUntil(Clock::time_point until) const;
  void SignalWake();

  std::mutex lifecycleMutex_;
  bool started_ = false;
  bool stopped_ = false;
  bool hungUp_ = false;
  std::unique_ptr<PseudoTerminal> pty_;
  int wakeFd_ = -1;
  int inotifyFd_ = -1;
  std::thread reader_;
  std::thread sender_;

  CommandAssembler assembler_;  // reader thread only

  mutable std::mutex mutex_;
  std::condition_variable senderWake_;
  std::string slavePath_;
  SensorConfig config_;
  Clock::time_point startTime_;
  bool streaming_ = false;
  bool powered_ = true;
  Clock::time_point nextFrame_;
  std::deque<Pending> pending_;  // by due time
  bool stopping_ = false;
  mutable std::condition_variable observed_;  // log_ or framesSent_ changed
  std::string log_;
  uint64_t receivedCount_ = 0;
  uint64_t framesSent_ = 0;

  std::mutex writeMutex_;
  int masterFd_ = -1;  // -1 once hung up or stopped
};

}  // namespace kelta::sim

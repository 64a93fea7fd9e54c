#pragma once
// The serial side of kelta-record: one port, the sensor (continuous mode) or a bus of them
// (ID polls), every reading handed on with its sequence number. Survives the cable: a lost
// device is reported and waited for through the path it was opened by (nothing else is
// opened meanwhile), reopened when it is back, checked by its ID ("#INFO" in continuous mode;
// on a bus every answer is its ID's own) and recording resumes.
//
// A streaming sensor that falls silent while its device stays open (nothing for three times
// the recent interval between its readings, at least a second) is reported, counted and asked
// again ("#INFO", its ID checked, then "#READ"), less often the longer it stays silent.
//
// Threads: everything here runs on the thread that created the dispatcher (the program's main
// thread), which Run keeps pumping; the serial port's workers hand their notifications to it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/recorder/ReadingJson.h"
#include "protocol/RxDecoder.h"

namespace kelta {
class TVaComm;
class LoopDispatcher;
}  // namespace kelta

namespace kelta::record {

struct RecorderConfig {
  std::string port;    // "COMn" or a device path
  std::string exeDir;  // for "ports/comN"; empty: the program's folder
  // Where a COM number without a ports/comN link finds its device (COM1: ttyS0 here); only
  // tests give another folder, one of their own devices.
  std::string devDir = "/dev/";
  std::vector<int> ids;  // bus mode when not empty
  int intervalMs = 1000;
  int replyMs = 200;
  // Where each sensor ID's sequence numbers come from (ReadingIdentity::Next), and the id that
  // goes with them into every reading; without: from 1 in each run, and no id.
  std::function<uint64_t(int id)> nextSequence;
  std::string recorderId;
};

struct RecorderCounters {
  uint64_t readings = 0;
  std::map<int, uint64_t> silent;  // bus: polls without answer, by ID
  uint64_t lost = 0;               // times the device went away
  uint64_t refused = 0;            // reopenings refused: another sensor answered
  // Frames that gave no reading: the block check failed, or the text is not a number.
  uint64_t droppedFrames = 0;
  // bus: frames not filed because timing cannot tell who sent them (late answers, frames
  // outside every reply window, two in one window, a round spoilt by unasked talk)
  uint64_t unsolicited = 0;
  // Continuous mode: times the sensor fell silent while its device stayed open.
  uint64_t fellSilent = 0;
};

// Whether a sensor delivers: readings come (continuous: its stream; bus: its last poll was
// answered), none come while its device is open, or its device is gone.
enum class SensorState { kStreaming, kSilent, kDeviceLost };
// "streaming", "silent", "device lost".
const char* SensorStateName(SensorState state);

struct RecorderState {
  bool deviceLost = false;
  // By ID: continuous mode's sensor once it told its ID, a bus's IDs once polled.
  std::map<int, SensorState> sensors;
  bool operator==(const RecorderState&) const = default;
};

class Recorder {
 public:
  // reading gets every reading; report one line per event worth a log line (lost, back,
  // silent ID, another sensor). Neither may call the recorder.
  Recorder(RecorderConfig config, std::function<void(const SensorReading&)> reading,
           std::function<void(const std::string&)> report);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Opens the port. Throws EVaCommError (the port's message: not found, cannot open),
  // std::system_error (a device path that cannot be linked) or std::invalid_argument (a device
  // path on Windows, where ports are COM names only).
  void Open();
  // Records until stop() holds (looked at least every 100 ms); then stops the stream and
  // closes the port. tick runs about every 100 ms (outputs flush, counters go out).
  void Run(const std::function<bool()>& stop, const std::function<void()>& tick);

  const RecorderCounters& Counters() const { return counters_; }
  RecorderState State() const;
  // "COM5" or the device path as given.
  const std::string& PortName() const { return config_.port; }
  // The path the port opens (a ports/comN link, a default device); empty before Open.
  std::string DevicePath() const;

 private:
  using Clock = std::chrono::steady_clock;
  void CreatePort();
  void Received();
  // Counts the frames the decoder dropped; a log line when they start, at most once a minute.
  void CountDroppedFrames();
  void Lost();
  void TryReopen();
  // Continuous mode: "#INFO" (checked against the first sensor's ID after a loss), "#READ".
  bool StartContinuous();
  // Continuous mode, every pass of the main loop: notices a stream gone silent and asks the
  // sensor again; takes the sensor's answer.
  void WatchStream();
  void AskAgain(Clock::time_point now);
  // Nothing from the stream for this long is silence.
  Clock::duration SilenceLimit() const;
  // Another sensor answered in place of ours: the port is closed and the right one waited for.
  void RefuseOther(int id);
  void PollRound(const std::function<bool()>& stop);
  // Bus: one frame decoded; filed by when it came (see PollRound).
  void BusFrame(double angle);
  enum class Kind { kLate, kTwice, kUnasked };
  void Unsolicited(Kind kind, int id);
  // Bus: pumps until the line has been quiet for the guard time since from and since its
  // last byte (true), or stop() holds or the port closes (false).
  bool WaitQuiet(Clock::time_point from, const std::function<bool()>& stop);
  void FileRound();
  void MaybeTick();
  // Sends command until a line that answers arrives (tries x waitMs): that line, or nullopt.
  std::optional<std::string> Exchange(const std::string& command,
                                      const std::function<bool(const std::string&)>& answers,
                                      int tries, int waitMs);
  void Pump(std::chrono::milliseconds time);
  void Deliver(int id, double angle);
  void File(int id, double angle, const std::string& line,
            std::chrono::system_clock::time_point time);

  RecorderConfig config_;
  std::function<void(const SensorReading&)> reading_;
  std::function<void(const std::string&)> report_;
  std::shared_ptr<LoopDispatcher> dispatcher_;
  std::unique_ptr<TVaComm> comm_;
  std::string linkFolder_;  // a device path's private ports/com1 link lives here
  RxDecoder decoder_;
  RxSink sink_;
  std::string lastLine_;
  // While an exchange waits: what answers it, and the first line that did.
  std::function<bool(const std::string&)> awaited_;
  std::optional<std::string> answerLine_;
  bool closing_ = false;
  bool lost_ = false;
  bool deviceLost_ = false;  // the device went away (not closed by us), until it is opened again
  bool streaming_ = false;
  // Continuous mode's watch over the stream: when "#READ" went out, when the last reading
  // came, the recent interval between readings (kept across losses: the sensor's rate), and
  // while the stream is silent, since when, the next time it is asked and the wait after that.
  Clock::time_point streamAsked_{};
  std::optional<Clock::time_point> lastReading_;
  std::optional<Clock::duration> interval_;
  std::optional<Clock::time_point> silentSince_;
  Clock::time_point nextAsk_{};
  Clock::duration askWait_{};
  bool infoAsked_ = false;                // "#INFO" out while silent, no answer yet
  std::optional<std::string> infoReply_;  // its answer, taken by WatchStream
  Clock::time_point nextTry_{};
  // Bus. A poll's reply window: from the poll for --reply-ms; the first frame in it is that
  // ID's answer once the line has then been quiet for the guard time with no second frame.
  struct Held {
    int id;
    double angle;
    std::string line;
    std::chrono::system_clock::time_point time;
  };
  Clock::time_point lastRx_{};   // the last byte received
  std::optional<int> awaiting_;  // the ID whose window is open
  Clock::time_point windowCloses_{};
  std::optional<Held> answer_;      // the first frame of the open window
  bool ambiguous_ = false;          // more than one frame came for the open window
  std::optional<int> afterSilent_;  // until the next poll: the ID whose window stayed silent
  int lastPolled_ = -1;
  std::vector<Held> held_;   // this round's answers, filed when it ends without unasked talk
  bool roundTalk_ = false;   // unasked talk seen in this round
  bool talkBefore_ = false;  // ... in the round before
  // When frames of each kind of unsolicited (by ID) came last: a burst is reported once.
  std::map<int, Clock::time_point> lastUnsolicited_;
  bool overrunLogged_ = false;
  std::map<int, uint64_t> silentStreak_;
  std::map<int, uint64_t> sequence_;
  // Continuous mode: what the sensor reported.
  std::optional<int> sensorId_;
  std::string version_, mode_, negativeRange_, positiveRange_;
  RecorderCounters counters_;
  Clock::time_point nextDropReport_{};
  std::function<void()> tick_;
  Clock::time_point nextTick_{};
};

}  // namespace kelta::record

#pragma once
// The two workers of an open port and the state they share with it.
//
// Threads and what they touch:
// - GUI thread: the port (TVaCustomComm), Open/Close, QueueData, every notification.
// - Event thread: waits for the device's line events or WakeEvent and hands batches of event
//   bits to the GUI thread. Never reads data.
// - Write thread: writes the queue's bytes, hands "queue empty" to the GUI thread.
// Each worker's Execute loop is a wait step (the only place it blocks on the device or its
// signals, inside the gate) and a handling step (what the outcome means, hand-offs included).
// Every system call is the device's (SerialDevice.h).
// Both workers see only a CommSession (shared_ptr, so it lives as long as the longest user)
// and never the port object: a handed-off call reaches the port on the GUI thread, and only
// while the session is not stopped. Close sets `stopped` on the GUI thread before it destroys
// or reuses anything, and a handed-off call tests it on the GUI thread, so a call queued before
// Close finds it set.
//
// Locks and flags:
// - `stopped` (atomic): the terminate flag of both workers; set once by StopWorkers, before
//   WakeEvent and CloseEvent are raised.
// - `gate`: every worker call on the device happens between gate.Enter/Leave; Close
//   shuts the gate after raising the wake signals and closes the device only when no worker
//   is inside. A worker blocked in a hand-off holds no gate, so Close from inside a notification
//   never waits for the worker that is waiting for that very notification.
// - `writeLock` guards `queue` and the DataEvent state (set exactly while the queue is not
//   empty); `room` is signalled under it whenever bytes left the queue. Never held across a
//   wait for the device or a hand-off.
// - No worker waits for the GUI thread while inside the gate or holding writeLock.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/SerialDevice.h"

#include "serial/GuiDispatcher.h"
#include "serial/VaCommBuffer.h"
#include "serial/VaCommTypes.h"
#include "serial/VaSync.h"

namespace kelta {

class TVaCustomComm;

class CommSession {
 public:
  // Makes the queue and the wake signals; throws std::system_error when the system has none
  // left. The device stays the port's; the session only uses it, inside the gate.
  CommSession(device::SerialDevice& device, std::uint32_t writeSize,
              std::shared_ptr<const std::atomic<bool>> txEmptyBound,
              std::shared_ptr<IGuiDispatcher> dispatcher, TVaCustomComm* port);
  ~CommSession();
  CommSession(const CommSession&) = delete;
  CommSession& operator=(const CommSession&) = delete;

  // Gives the device the event thread's mask and wake signal; 0 or the system's error code.
  // GUI thread, before the workers start.
  int SetupEventMask(std::uint32_t mask, std::uint32_t rx80Mark);

  // Runs fn(port) on the GUI thread and waits for it; fn is skipped when the session stopped
  // meanwhile. An exception from fn (or from the dispatcher) is raised again here.
  void HandOff(const std::function<void(TVaCustomComm&)>& fn);
  // The device went away: the first caller hands the I/O error report to the GUI thread.
  void ReportDeviceGone();

  device::SerialDevice& device;
  // OnTxEmpty is bound now (the port's flag, read at every emptied queue).
  const std::shared_ptr<const std::atomic<bool>> txEmptyBound;
  const std::shared_ptr<IGuiDispatcher> dispatcher;
  TVaCustomComm* const port;  // GUI thread only, and only while !stopped

  std::atomic<bool> stopped{false};
  std::atomic<bool> goneReported{false};
  DeviceGate gate;

  // Event thread.
  std::uint32_t eventMask = 0;  // written before the workers start
  TVaWaitEvent wakeEvent;

  // Write thread.
  std::mutex writeLock;
  std::condition_variable room;
  TVaCommBuffer queue;
  TVaWaitEvent dataEvent;
  TVaWaitEvent closeEvent;
};

// A worker thread. The object belongs to the port; what the running thread needs lives in the
// session and in State, so the port may let go of the object (Detach) while the thread ends on
// its own.
class TVaCommThread {
 public:
  virtual ~TVaCommThread();
  TVaCommThread(const TVaCommThread&) = delete;
  TVaCommThread& operator=(const TVaCommThread&) = delete;

  bool Finished() const;
  // Waits until the thread ended or the time passed; true when it ended (and was joined).
  bool JoinFor(std::chrono::milliseconds limit);
  // Takes effect at once while the thread runs (nice value of the thread, where permitted).
  void SetPriority(TThreadPriority priority);

 protected:
  explicit TVaCommThread(std::shared_ptr<CommSession> session);
  // name: at most 15 characters, shown by ps/top and /proc/<pid>/task/<tid>/comm.
  void Start(const char* name, TThreadPriority priority, void (*body)(CommSession&));

  std::shared_ptr<CommSession> session_;

 private:
  struct State {
    std::mutex lock;  // guards tid and finished
    std::condition_variable ended;
    device::NativeHandle thread = device::kNoHandle;  // kNoHandle once it no longer runs
    bool finished = false;
    int basePriority = 0;
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Waits for line events and hands each batch to the GUI thread (DispatchEvents).
class TVaCommEventThread : public TVaCommThread {
 public:
  TVaCommEventThread(std::shared_ptr<CommSession> session, TThreadPriority priority);
  // Terminate flag, then WakeEvent; lets go of the session. Does not wait.
  void RequestStop();

 private:
  static void Execute(CommSession& s);
  // What one wait's outcome means; false when the thread must end.
  static bool HandleWait(CommSession& s, device::SerialDevice::EventWait outcome,
                         std::uint32_t bits);
};

// Transmits the write queue.
class TVaCommWriteThread : public TVaCommThread {
 public:
  TVaCommWriteThread(std::shared_ptr<CommSession> session, TThreadPriority priority);
  // CloseEvent; lets go of the session. Does not wait; queued bytes are dropped.
  void SignalClose();
  // GUI thread, before SignalClose. Appends the bytes when they fit within writeTimeoutMs
  // (waiting on `room`, never spinning); false and nothing queued otherwise.
  bool QueueData(const void* data, std::uint32_t count, std::uint32_t writeTimeoutMs);

 private:
  static void Execute(CommSession& s);
  // DataEvent was set: writes what is queued. gone: the device went away (set here). False
  // when the thread must end.
  static bool HandleData(CommSession& s, bool& gone);
  // Consumes k written bytes; false when the thread must end.
  static bool CompleteWrite(CommSession& s, std::uint32_t k);
};

}  // namespace kelta

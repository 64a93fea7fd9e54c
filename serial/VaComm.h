#pragma once
// TVaComm: the serial port object. Opens one "COMn" port by number, puts the line settings into
// the device, sends through a write thread, reads what has been received, drives RTS and DTR,
// and reports open, close, received characters and line errors as notifications.
//
// Threads: every operation and property here is for the GUI thread only, and every
// notification runs on the GUI thread (handed over by the workers through the port's
// IGuiDispatcher, which must be running calls for notifications to arrive). A handler may call
// any operation, Close and ReceiveText included. The worker threads (VaCommThreads.h) never
// touch this object outside a handed-off call.
// statusLock_ serialises reads, status queries and the stopping of the workers (recursive, as
// the critical section it stands for).

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/GuiDispatcher.h"
#include "serial/SerialDevice.h"
#include "serial/VaCommError.h"
#include "serial/VaCommTypes.h"
#include "serial/VaPrst.h"

namespace kelta {

class CommSession;
class TVaCommThread;
class TVaCommEventThread;
class TVaCommWriteThread;

// The application's default exception handler, as the port reaches it.
using TVaExceptionEvent = std::function<void(const std::exception& E)>;

// A notification whose being bound a worker thread may read: the write thread hands "queue
// empty" to the GUI thread only while OnTxEmpty is bound (an unbound one would only make every
// burst wait for the GUI thread), and a handler bound after Open takes effect at the next
// write that empties the queue. Bound and called on the GUI thread, like any notification.
class TVaWatchedNotifyEvent {
 public:
  TVaWatchedNotifyEvent() = default;
  TVaWatchedNotifyEvent(const TVaWatchedNotifyEvent&) = delete;
  TVaWatchedNotifyEvent& operator=(const TVaWatchedNotifyEvent&) = delete;
  TVaWatchedNotifyEvent& operator=(TNotifyEvent handler) {
    handler_ = std::move(handler);
    bound_->store(static_cast<bool>(handler_));
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(handler_); }
  void operator()(TVaCustomComm* Sender) const { handler_(Sender); }
  // Outlives the port for a worker that still runs.
  std::shared_ptr<const std::atomic<bool>> Bound() const { return bound_; }

 private:
  TNotifyEvent handler_;
  std::shared_ptr<std::atomic<bool>> bound_ = std::make_shared<std::atomic<bool>>(false);
};

class TVaCustomComm {
 public:
  TVaCustomComm();
  virtual ~TVaCustomComm();
  TVaCustomComm(const TVaCustomComm&) = delete;
  TVaCustomComm& operator=(const TVaCustomComm&) = delete;

  // --- Operations (GUI thread)
  void Open();
  // Opens the device at `path` itself, whatever PortNum resolves to now: a port that lost its
  // device is taken back only through the path it had, never through a fallback that now
  // leads to another device.
  void OpenPath(const std::string& path);
  void Close();
  bool IsOpen() const { return device_ != nullptr; }
  bool SendText(const std::string& Text);
  int SendBuffer(const void* Data, int Count);
  std::string ReceiveText();
  int ReceiveBuffer(void* Data, int Count);
  int InputCount();
  void QueryLineStatus(std::uint32_t& Errors, TVaCommStat& Stat);
  void SetRtsLine(bool Value);
  void SetDtrLine(bool Value);

  // --- Properties
  int PortNum() const { return portNum_; }
  void SetPortNum(int Value);  // 0..2147483647; refused while open
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& Value);  // refused while open
  TVaBaudrate Baudrate() const { return baudrate_; }
  void SetBaudrate(TVaBaudrate Value);
  int UserBaudrate() const { return userBaudrate_; }
  void SetUserBaudrate(int Value);
  TVaParity Parity() const { return parity_; }
  void SetParity(TVaParity Value);
  TVaDatabits Databits() const { return databits_; }
  void SetDatabits(TVaDatabits Value);
  TVaStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TVaStopbits Value);
  TVaCommOptions Options() const { return options_; }
  void SetOptions(TVaCommOptions Value);
  // The groups may be changed member by member; see VaPrst.h for what the port does then.
  TVaFlowControl& FlowControl() { return flowControl_; }
  void SetFlowControl(const TVaFlowControl& Value) { flowControl_ = Value; }
  TVaEventChars& EventChars() { return eventChars_; }
  void SetEventChars(const TVaEventChars& Value) { eventChars_ = Value; }
  TVaBuffers& Buffers() { return buffers_; }
  void SetBuffers(const TVaBuffers& Value);  // refused while open
  TVaCommEvents MonitorEvents() const { return monitorEvents_; }
  void SetMonitorEvents(TVaCommEvents Value);  // refused while open
  TThreadPriority EventPriority() const { return eventPriority_; }
  void SetEventPriority(TThreadPriority Value);
  TThreadPriority WritePriority() const { return writePriority_; }
  void SetWritePriority(TThreadPriority Value);

  // Folder whose "ports/comN" links name the devices (with a trailing '/'); the executable's
  // folder by default. Refused while open.
  const std::string& ExeDir() const { return exeDir_; }
  void SetExeDir(const std::string& Value);
  // Folder of the devices a number without a link falls back to ("/dev/": COM1 is
  // /dev/ttyS0); tests point it at a folder of their own devices. Not used on Windows.
  // Refused while open.
  const std::string& DevDir() const { return devDir_; }
  void SetDevDir(const std::string& Value);
  // How workers reach the GUI thread; DefaultGuiDispatcher() at construction. Refused while
  // open. Open without one throws std::logic_error.
  const std::shared_ptr<IGuiDispatcher>& Dispatcher() const { return dispatcher_; }
  void SetDispatcher(std::shared_ptr<IGuiDispatcher> Value);

  // --- Notifications (GUI thread, each only when bound)
  TNotifyEvent OnOpen;
  TNotifyEvent OnClose;
  TVaCommErrorEvent OnError;
  TVaCommRxCharEvent OnRxChar;
  TNotifyEvent OnCts, OnDsr, OnRlsd, OnRing, OnBreak, OnRxFlag, OnPErr, OnRx80Full, OnEvent1,
      OnEvent2;
  TVaWatchedNotifyEvent OnTxEmpty;
  // Receives exceptions from OnOpen and from handlers run for the workers. Unbound: the
  // message goes to standard error.
  TVaExceptionEvent OnException;

  // --- Inspection
  // The device control block the current properties give (what ApplyLineSettings applies).
  TVaDcb BuildDcb() const;
  // Computed by Open: the bits of MonitorEvents without EV_TXEMPTY.
  std::uint32_t EventMask() const { return eventMask_; }
  // DeviceName with PortNum in place of its "%d" (the name used in messages).
  std::string FormatDeviceName() const;
  // The device path opened for PortNum (ports/comN link or default range); empty if none.
  std::string FormatOpenPath() const;
  // The device path the last successful Open opened (kept after Close); empty before one.
  const std::string& OpenedPath() const { return openedPath_; }
  // The system's handle of the open device (a descriptor on Linux, a HANDLE on Windows);
  // device::kNoHandle (-1) while closed.
  device::NativeHandle Handle() const { return device_ ? device_->Handle() : device::kNoHandle; }

  // --- For the worker threads' handed-off calls (GUI thread)
  // One batch of event bits into notifications; exceptions go to OnException.
  void DispatchEvents(std::uint32_t Bits);
  // Fires the notifications of the bits in their fixed order.
  virtual void HandleEvents(std::uint32_t Bits);
  // The device went away: CE_IOE becomes pending, an error batch is dispatched (OnError), then
  // the port closes (OnClose).
  void DeviceGone();

 protected:
  virtual void CreateDeviceHandle();
  virtual void StartWorkers();
  virtual void HandleRxChar();
  void HandleError();
  void EnsureClosed() const;
  void ApplyLineSettings();
  void StopWorkers();
  void HandleException(std::exception_ptr error);

 private:
  void QueryStatus(std::uint32_t& Errors, TVaCommStat& Stat, bool outputCount);
  void SetupBuffers();
  void SetupTimeouts();
  void SetupEventMask();
  void CloseDevice();  // after StopWorkers: waits until no worker uses the descriptor
  void ReapWorkers(bool final);
  void BuffersChanged();
  std::uint32_t ResolvedBaudrate() const;

  // Properties.
  int portNum_ = 0;
  std::string deviceName_ = "\\\\.\\COM%d";
  TVaBaudrate baudrate_ = TVaBaudrate::br1200;
  int userBaudrate_ = 0;
  TVaParity parity_ = TVaParity::paNone;
  TVaDatabits databits_ = TVaDatabits::db8;
  TVaStopbits stopbits_ = TVaStopbits::sb1;
  TVaCommOptions options_;
  TVaFlowControl flowControl_;
  TVaEventChars eventChars_;
  TVaBuffers buffers_;
  TVaCommEvents monitorEvents_{TVaCommEvent::ceError, TVaCommEvent::ceRxChar,
                               TVaCommEvent::ceTxEmpty};
  TThreadPriority eventPriority_ = TThreadPriority::tpNormal;
  TThreadPriority writePriority_ = TThreadPriority::tpHighest;
  std::string exeDir_;
  std::string devDir_ = "/dev/";
  std::shared_ptr<IGuiDispatcher> dispatcher_;

  // Run-time state.
  std::unique_ptr<device::SerialDevice> device_;  // null while closed
  std::uint32_t eventMask_ = 0;
  std::string pinnedPath_;  // set by OpenPath for its Open
  std::string openedPath_;
  bool destroying_ = false;
  std::recursive_mutex statusLock_;
  std::uint32_t pendingErrors_ = 0;  // CE_* flags not yet fetched by QueryLineStatus
  std::shared_ptr<CommSession> session_;
  std::unique_ptr<TVaCommEventThread> eventThread_;
  std::unique_ptr<TVaCommWriteThread> writeThread_;
  std::vector<std::unique_ptr<TVaCommThread>> retired_;  // stopped, maybe not yet ended
};

// The published port.
class TVaComm : public TVaCustomComm {
 public:
  TVaComm() = default;
};

}  // namespace kelta

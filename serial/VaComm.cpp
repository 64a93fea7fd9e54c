#include "serial/VaComm.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <system_error>

#include "serial/VaCommThreads.h"
#include "serial/portmap/PortMap.h"

namespace kelta {

namespace {

std::string ExeDirOrEmpty() {
  try {
    return ExecutableDir();
  } catch (const std::exception&) {
    return {};
  }
}

// Replaces the first "%s" of text with value.
std::string FillName(const char* format, const std::string& value) {
  std::string out = format;
  const std::size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

}  // namespace

TVaCustomComm::TVaCustomComm() : exeDir_(ExeDirOrEmpty()), dispatcher_(DefaultGuiDispatcher()) {
  buffers_.OnChange = [this](TVaPersistent*) { BuffersChanged(); };
  flowControl_.OnChange = [this](TVaPersistent*) { ApplyLineSettings(); };
  eventChars_.OnChange = [this](TVaPersistent*) { ApplyLineSettings(); };
}

TVaCustomComm::~TVaCustomComm() {
  destroying_ = true;
  try {
    Close();
  } catch (...) {
    // Nothing can report it any more.
  }
  ReapWorkers(true);
}

// --- Property setters

void TVaCustomComm::EnsureClosed() const {
  if (IsOpen()) throw EVaCommError(comm_msg::kPortOpen);
}

void TVaCustomComm::SetPortNum(int Value) {
  EnsureClosed();
  portNum_ = Value < 0 ? 0 : Value;
}

void TVaCustomComm::SetDeviceName(const std::string& Value) {
  EnsureClosed();
  deviceName_ = Value;
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents Value) {
  EnsureClosed();
  monitorEvents_ = Value;
}

void TVaCustomComm::SetBuffers(const TVaBuffers& Value) {
  EnsureClosed();
  buffers_ = Value;
}

void TVaCustomComm::SetExeDir(const std::string& Value) {
  EnsureClosed();
  exeDir_ = Value;
}

void TVaCustomComm::SetDevDir(const std::string& Value) {
  EnsureClosed();
  devDir_ = Value;
}

void TVaCustomComm::SetDispatcher(std::shared_ptr<IGuiDispatcher> Value) {
  EnsureClosed();
  dispatcher_ = std::move(Value);
}

void TVaCustomComm::SetBaudrate(TVaBaudrate Value) {
  if (baudrate_ == Value) return;
  baudrate_ = Value;
  if (Value != TVaBaudrate::brUser) userBaudrate_ = 0;
  ApplyLineSettings();
}

void TVaCustomComm::SetUserBaudrate(int Value) {
  if (userBaudrate_ == Value) return;
  userBaudrate_ = Value;
  baudrate_ = TVaBaudrate::brUser;
  ApplyLineSettings();
}

void TVaCustomComm::SetParity(TVaParity Value) {
  if (parity_ == Value) return;
  parity_ = Value;
  ApplyLineSettings();
}

void TVaCustomComm::SetDatabits(TVaDatabits Value) {
  if (databits_ == Value) return;
  databits_ = Value;
  ApplyLineSettings();
}

void TVaCustomComm::SetStopbits(TVaStopbits Value) {
  if (stopbits_ == Value) return;
  stopbits_ = Value;
  ApplyLineSettings();
}

void TVaCustomComm::SetOptions(TVaCommOptions Value) {
  if (options_ == Value) return;
  options_ = Value;
  ApplyLineSettings();
}

void TVaCustomComm::SetEventPriority(TThreadPriority Value) {
  eventPriority_ = Value;
  if (eventThread_) eventThread_->SetPriority(Value);
}

void TVaCustomComm::SetWritePriority(TThreadPriority Value) {
  writePriority_ = Value;
  if (writeThread_) writeThread_->SetPriority(Value);
}

void TVaCustomComm::BuffersChanged() {
  // Sizes are used at the next Open; the open device is not touched.
  if (IsOpen()) throw EVaCommError(comm_msg::kPortOpen);
}

// --- Names

std::string TVaCustomComm::FormatDeviceName() const {
  // Only "%d" and "%%" are read: the template is user text, never a format for printf.
  std::string out;
  bool filled = false;
  for (std::size_t i = 0; i < deviceName_.size(); ++i) {
    const char c = deviceName_[i];
    if (c == '%' && i + 1 < deviceName_.size()) {
      const char next = deviceName_[i + 1];
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (next == 'd' && !filled) {
        out += std::to_string(portNum_);
        filled = true;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string TVaCustomComm::FormatOpenPath() const {
  return PortDevicePath(portNum_, exeDir_, devDir_);
}

// --- Open

void TVaCustomComm::Open() {
  EnsureClosed();
  if (!dispatcher_) throw std::logic_error("TVaComm::Open: no GUI dispatcher installed");
  ReapWorkers(false);
  CreateDeviceHandle();
  try {
    ApplyLineSettings();
    SetupBuffers();
    SetupTimeouts();
    SetupEventMask();
    StartWorkers();
  } catch (...) {
    StopWorkers();
    CloseDevice();
    throw;
  }
  if (OnOpen) {
    try {
      OnOpen(this);
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
}

void TVaCustomComm::OpenPath(const std::string& path) {
  EnsureClosed();
  if (path.empty()) throw EVaCommError(FillName(comm_msg::kNotFound, FormatDeviceName()));
  pinnedPath_ = path;
  struct Unpin {
    std::string& path;
    ~Unpin() { path.clear(); }
  } unpin{pinnedPath_};
  Open();
}

void TVaCustomComm::CreateDeviceHandle() {
  const std::string name = FormatDeviceName();
  const std::string path = pinnedPath_.empty() ? FormatOpenPath() : pinnedPath_;
  if (path.empty()) throw EVaCommError(FillName(comm_msg::kNotFound, name));
  std::unique_ptr<device::SerialDevice> opened;
  const int err = device::SerialDevice::Open(path, opened);
  if (device::IsNotFound(err)) throw EVaCommError(FillName(comm_msg::kNotFound, name));
  if (err != 0) {
    throw EVaCommError(FillName(comm_msg::kCantOpen, name) +
                       FormatCommError(comm_msg::kErrorSuffix, err));
  }
  device_ = std::move(opened);
  openedPath_ = path;
  pendingErrors_ = 0;
}

// The device's queues, then the port's own write queue (the write thread's), made here.
void TVaCustomComm::SetupBuffers() {
  const auto size = [](int value) { return static_cast<std::uint32_t>(value < 0 ? 0 : value); };
  if (const int err = device_->SetupQueues(size(buffers_.ReadSize()), size(buffers_.WriteSize())))
    RaiseCommError(comm_msg::kInitBuffers, err);
  try {
    session_ = std::make_shared<CommSession>(*device_, size(buffers_.WriteSize()),
                                             OnTxEmpty.Bound(), dispatcher_, this);
  } catch (const std::system_error& e) {
    RaiseCommError(comm_msg::kInitBuffers, e.code().value());
  } catch (const std::bad_alloc&) {
    // a WriteSize the memory cannot hold
    RaiseCommError(comm_msg::kInitBuffers, device::OutOfMemory());
  }
}

// Reads return at once with whatever has been received, writes have no time limit.
void TVaCustomComm::SetupTimeouts() {
  if (const int err = device_->SetupTimeouts()) RaiseCommError(comm_msg::kTimeouts, err);
}

void TVaCustomComm::SetupEventMask() {
  std::uint32_t mask = 0;
  for (int m = 0; m <= static_cast<int>(TVaCommEvent::ceEvent2); ++m) {
    const auto event = static_cast<TVaCommEvent>(m);
    if (monitorEvents_.Contains(event)) mask |= CommEventBit(event);
  }
  mask &= ~EV_TXEMPTY;  // the write thread reports an empty queue itself
  eventMask_ = mask;
  const auto rx80Mark =
      static_cast<std::uint32_t>(static_cast<std::uint64_t>(buffers_.ReadSize()) * 8 / 10);
  if (const int err = session_->SetupEventMask(mask, rx80Mark)) {
    RaiseCommError(comm_msg::kEventMask, err);
  }
}

void TVaCustomComm::StartWorkers() {
  try {
    if (eventMask_ != 0) {
      eventThread_ = std::make_unique<TVaCommEventThread>(session_, eventPriority_);
    }
    writeThread_ = std::make_unique<TVaCommWriteThread>(session_, writePriority_);
  } catch (const std::system_error& e) {
    throw EVaCommError(e.what());
  }
}

// --- Line settings

std::uint32_t TVaCustomComm::ResolvedBaudrate() const {
  if (baudrate_ == TVaBaudrate::brUser) return static_cast<std::uint32_t>(userBaudrate_);
  return BaudrateValue(baudrate_);
}

TVaDcb TVaCustomComm::BuildDcb() const {
  TVaDcb dcb;
  dcb.BaudRate = ResolvedBaudrate();
  std::uint32_t f = 0;
  const auto put = [&f](unsigned pos, std::uint32_t value) { f |= value << pos; };
  put(DcbBinary, 1);
  put(DcbParity, options_.Contains(TVaCommOption::coParityCheck) ? 1 : 0);
  put(DcbOutxCtsFlow, flowControl_.OutCtsFlow() ? 1 : 0);
  put(DcbOutxDsrFlow, flowControl_.OutDsrFlow() ? 1 : 0);
  put(DcbDtrControl, static_cast<std::uint32_t>(flowControl_.ControlDtr()));
  put(DcbDsrSensitivity, flowControl_.DsrSensitivity() ? 1 : 0);
  put(DcbTXContinueOnXoff, flowControl_.TxContinueOnXoff() ? 1 : 0);
  put(DcbOutX, flowControl_.XonXoffOut() ? 1 : 0);
  put(DcbInX, flowControl_.XonXoffIn() ? 1 : 0);
  put(DcbErrorChar, options_.Contains(TVaCommOption::coErrorChar) ? 1 : 0);
  put(DcbNull, options_.Contains(TVaCommOption::coNullStrip) ? 1 : 0);
  put(DcbRtsControl, static_cast<std::uint32_t>(flowControl_.ControlRts()));
  dcb.Flags = f;
  dcb.XonLim = static_cast<std::uint16_t>(buffers_.XonLimit() & 0xFFFF);
  dcb.XoffLim = static_cast<std::uint16_t>(buffers_.XoffLimit() & 0xFFFF);
  dcb.ByteSize = static_cast<std::uint8_t>(4 + static_cast<int>(databits_));
  dcb.Parity = static_cast<std::uint8_t>(parity_);
  dcb.StopBits = static_cast<std::uint8_t>(stopbits_);
  dcb.XonChar = eventChars_.XonChar();
  dcb.XoffChar = eventChars_.XoffChar();
  dcb.ErrorChar = eventChars_.ErrorChar();
  dcb.EofChar = eventChars_.EofChar();
  dcb.EvtChar = eventChars_.EventChar();
  return dcb;
}

void TVaCustomComm::ApplyLineSettings() {
  if (!IsOpen()) return;
  if (const int err = device_->ApplyDcb(BuildDcb())) {
    RaiseCommError(comm_msg::kWriteDcb, err);
  }
}

// --- Close

void TVaCustomComm::Close() {
  if (!IsOpen()) return;
  {
    std::lock_guard<std::recursive_mutex> hold(statusLock_);
    StopWorkers();
  }
  CloseDevice();
  if (!destroying_ && OnClose) OnClose(this);
}

void TVaCustomComm::StopWorkers() {
  if (session_) session_->stopped.store(true);
  if (eventThread_) {
    eventThread_->RequestStop();
    retired_.push_back(std::move(eventThread_));
  }
  if (writeThread_) {
    writeThread_->SignalClose();
    retired_.push_back(std::move(writeThread_));
  }
}

void TVaCustomComm::CloseDevice() {
  // Waits only for workers inside a call on the descriptor, which the wake signals just ended;
  // never for a worker blocked in a hand-off to this thread.
  if (session_) session_->gate.ShutAndWait();
  session_.reset();
  device_.reset();
  ReapWorkers(false);
}

void TVaCustomComm::ReapWorkers(bool final) {
  // At destruction the workers get a short while to end (they were just woken); a worker
  // still waiting for this thread to run its last call cannot end now: it is let go and ends
  // on its own once the call ran (or the dispatcher gave up on it).
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(final ? 200 : 0);
  std::vector<std::unique_ptr<TVaCommThread>> running;
  for (auto& worker : retired_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!worker->JoinFor(left.count() > 0 ? left : std::chrono::milliseconds(0)) && !final) {
      running.push_back(std::move(worker));
    }
  }
  retired_ = std::move(running);
}

// --- Sending

bool TVaCustomComm::SendText(const std::string& Text) {
  const int n = static_cast<int>(Text.size());
  return SendBuffer(Text.data(), n) == n;
}

int TVaCustomComm::SendBuffer(const void* Data, int Count) {
  if (!IsOpen() || !writeThread_) return 0;
  if (Count < 0) Count = 0;
  const int timeout = buffers_.WriteTimeout();
  if (!writeThread_->QueueData(Data, static_cast<std::uint32_t>(Count),
                               static_cast<std::uint32_t>(timeout < 0 ? 0 : timeout))) {
    throw EVaCommError(comm_msg::kOutputFull);
  }
  return Count;
}

// --- Receiving

void TVaCustomComm::QueryLineStatus(std::uint32_t& Errors, TVaCommStat& Stat) {
  QueryStatus(Errors, Stat, true);
}

void TVaCustomComm::QueryStatus(std::uint32_t& Errors, TVaCommStat& Stat, bool outputCount) {
  std::lock_guard<std::recursive_mutex> hold(statusLock_);
  Errors = 0;
  Stat = TVaCommStat{};
  if (!IsOpen()) return;
  std::uint32_t errors = 0;
  TVaCommStat stat;
  if (const int err =
          device_->QueryStatus(errors, stat.cbInQue, outputCount ? &stat.cbOutQue : nullptr)) {
    RaiseCommError(comm_msg::kStatistics, err);
  }
  Errors = errors | pendingErrors_;
  pendingErrors_ = 0;
  Stat = stat;
}

int TVaCustomComm::InputCount() {
  if (!IsOpen()) return 0;
  std::uint32_t errors;
  TVaCommStat stat;
  // The whole status query (it consumes the pending error flags), less the output count
  // nobody reads here: this runs twice for every received batch.
  QueryStatus(errors, stat, false);
  return stat.cbInQue > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(stat.cbInQue);
}

int TVaCustomComm::ReceiveBuffer(void* Data, int Count) {
  if (!IsOpen() || Count <= 0) return 0;
  std::lock_guard<std::recursive_mutex> hold(statusLock_);
  std::uint32_t got = 0;
  const int timeout = buffers_.ReadTimeout();
  if (const int err = device_->Read(Data, static_cast<std::uint32_t>(Count),
                                    static_cast<std::uint32_t>(timeout < 0 ? 0 : timeout), got)) {
    RaiseCommError(comm_msg::kReadError, err);
  }
  return static_cast<int>(got);
}

std::string TVaCustomComm::ReceiveText() {
  const int n = InputCount();
  if (n <= 0) return {};
  std::string text(static_cast<std::size_t>(n), '\0');
  text.resize(static_cast<std::size_t>(ReceiveBuffer(text.data(), n)));
  return text;
}

// --- Modem lines

void TVaCustomComm::SetDtrLine(bool Value) {
  if (flowControl_.ControlDtr() == TVaControlDtr::dtrHandshake) {
    throw EVaCommError(comm_msg::kDtrHandshake);
  }
  if (!IsOpen()) return;
  const int err = device_->SetModemLine(device::ModemLine::Dtr, Value);
  if (err != 0 && !device::IsNoSuchControl(err)) RaiseCommError(comm_msg::kCommFunction, err);
}

void TVaCustomComm::SetRtsLine(bool Value) {
  const TVaControlRts rts = flowControl_.ControlRts();
  if (rts == TVaControlRts::rtsHandshake || rts == TVaControlRts::rtsToggle) {
    throw EVaCommError(comm_msg::kRtsHandshake);
  }
  if (!IsOpen()) return;
  const int err = device_->SetModemLine(device::ModemLine::Rts, Value);
  if (err != 0 && !device::IsNoSuchControl(err)) RaiseCommError(comm_msg::kCommFunction, err);
}

// --- Notifications

void TVaCustomComm::HandleException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    if (OnException) {
      try {
        OnException(e);
      } catch (...) {
      }
    } else {
      std::fprintf(stderr, "%s\n", e.what());
    }
  } catch (...) {
    const std::runtime_error unknown("Unknown exception");
    if (OnException) {
      try {
        OnException(unknown);
      } catch (...) {
      }
    } else {
      std::fprintf(stderr, "%s\n", unknown.what());
    }
  }
}

void TVaCustomComm::DispatchEvents(std::uint32_t Bits) {
  try {
    if (Bits & EV_RXCHAR) {
      HandleRxChar();
      Bits &= ~EV_RXCHAR;
    }
    // A handler that closed the port leaves nothing for the rest of the batch.
    if (Bits != 0 && IsOpen()) HandleEvents(Bits);
  } catch (...) {
    HandleException(std::current_exception());
  }
}

void TVaCustomComm::HandleRxChar() {
  const int n = InputCount();
  if (n <= 0) return;
  if (OnRxChar) OnRxChar(this, n);
}

void TVaCustomComm::HandleEvents(std::uint32_t Bits) {
  const auto fire = [this](const auto& handler) {
    if (handler) handler(this);
  };
  if (Bits & EV_ERR) HandleError();
  if (Bits & EV_RXFLAG) fire(OnRxFlag);
  if (Bits & EV_CTS) fire(OnCts);
  if (Bits & EV_DSR) fire(OnDsr);
  if (Bits & EV_RING) fire(OnRing);
  if (Bits & EV_RLSD) fire(OnRlsd);
  if (Bits & EV_TXEMPTY) fire(OnTxEmpty);
  if (Bits & EV_BREAK) fire(OnBreak);
  if (Bits & EV_PERR) fire(OnPErr);
  if (Bits & EV_RX80FULL) fire(OnRx80Full);
  if (Bits & EV_EVENT1) fire(OnEvent1);
  if (Bits & EV_EVENT2) fire(OnEvent2);
}

void TVaCustomComm::HandleError() {
  std::uint32_t errors;
  TVaCommStat stat;
  QueryLineStatus(errors, stat);
  if (errors == 0 || !OnError) return;
  try {
    OnError(this, static_cast<int>(errors));
  } catch (...) {
    HandleException(std::current_exception());
  }
}

void TVaCustomComm::DeviceGone() {
  if (!IsOpen()) return;
  pendingErrors_ |= CE_IOE;
  DispatchEvents(EV_ERR);
  // Staying open on a dead descriptor would refuse every later Open of the same port (a
  // re-plugged adapter, a restarted sensor): once the loss is reported the port closes, with
  // OnClose, as if the window had closed it. A handler that already closed it is left alone.
  if (!IsOpen()) return;
  try {
    Close();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

}  // namespace kelta

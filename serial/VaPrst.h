#pragma once
// Settings groups of the serial port: buffer sizes and time-outs, flow control, special
// characters. Each is a plain object with an update counter and an OnChange handler that the
// owning port installs. GUI thread only; the worker threads never see these objects (they get
// copies of what they need when the port opens).

#include <cstdint>
#include <functional>

#include "serial/VaCommTypes.h"

namespace kelta {

class TVaPersistent {
 public:
  using TChangeEvent = std::function<void(TVaPersistent* Sender)>;

  virtual ~TVaPersistent() = default;

  void BeginUpdate() { ++updateCount_; }
  // Never below 0; reports the bracket's changes once.
  void EndUpdate();
  std::int32_t UpdateCount() const { return updateCount_; }

  TChangeEvent OnChange;

 protected:
  TVaPersistent() = default;
  TVaPersistent(const TVaPersistent&) = default;
  TVaPersistent& operator=(const TVaPersistent&) = default;
  // Calls OnChange while no update bracket is open.
  void Changed();
  // Runs Body inside BeginUpdate/EndUpdate; the bracket closes even when Body throws.
  template <class Body>
  void InUpdateBracket(Body&& body) {
    BeginUpdate();
    try {
      body();
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }

 private:
  std::int32_t updateCount_ = 0;
};

// Every member is a TVaIntW, 0..2147483647; setters clamp negative values to 0.
class TVaBuffers : public TVaPersistent {
 public:
  TVaBuffers() = default;
  TVaBuffers(const TVaBuffers& other) : TVaPersistent() { CopyValues(other); }
  // Copies every member inside one update bracket, so OnChange fires once.
  TVaBuffers& operator=(const TVaBuffers& other);

  std::int32_t ReadSize() const { return readSize_; }
  std::int32_t WriteSize() const { return writeSize_; }
  // Time-outs carry no notification: they are read afresh at every use.
  std::int32_t ReadTimeout() const { return readTimeout_; }
  std::int32_t WriteTimeout() const { return writeTimeout_; }
  std::int32_t XonLimit() const { return xonLimit_; }
  std::int32_t XoffLimit() const { return xoffLimit_; }

  void SetReadSize(std::int32_t v);
  void SetWriteSize(std::int32_t v);
  void SetReadTimeout(std::int32_t v);
  void SetWriteTimeout(std::int32_t v);
  void SetXonLimit(std::int32_t v);
  void SetXoffLimit(std::int32_t v);

 private:
  void CopyValues(const TVaBuffers& other);
  void SetSize(std::int32_t& field, std::int32_t v);

  std::int32_t readSize_ = 4096;
  std::int32_t writeSize_ = 2048;
  std::int32_t readTimeout_ = 1000;
  std::int32_t writeTimeout_ = 1000;
  std::int32_t xonLimit_ = 1024;
  std::int32_t xoffLimit_ = 1024;
};

class TVaFlowControl : public TVaPersistent {
 public:
  TVaFlowControl() = default;
  TVaFlowControl(const TVaFlowControl& other) : TVaPersistent() { CopyValues(other); }
  TVaFlowControl& operator=(const TVaFlowControl& other);

  bool OutCtsFlow() const { return outCtsFlow_; }
  bool OutDsrFlow() const { return outDsrFlow_; }
  TVaControlDtr ControlDtr() const { return controlDtr_; }
  TVaControlRts ControlRts() const { return controlRts_; }
  bool XonXoffOut() const { return xonXoffOut_; }
  bool XonXoffIn() const { return xonXoffIn_; }
  bool DsrSensitivity() const { return dsrSensitivity_; }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }

  void SetOutCtsFlow(bool v) { Set(outCtsFlow_, v); }
  void SetOutDsrFlow(bool v) { Set(outDsrFlow_, v); }
  void SetControlDtr(TVaControlDtr v) { Set(controlDtr_, v); }
  void SetControlRts(TVaControlRts v) { Set(controlRts_, v); }
  void SetXonXoffOut(bool v) { Set(xonXoffOut_, v); }
  void SetXonXoffIn(bool v) { Set(xonXoffIn_, v); }
  void SetDsrSensitivity(bool v) { Set(dsrSensitivity_, v); }
  void SetTxContinueOnXoff(bool v) { Set(txContinueOnXoff_, v); }

 private:
  template <typename T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    Changed();
  }
  void CopyValues(const TVaFlowControl& other);

  bool outCtsFlow_ = false;
  bool outDsrFlow_ = false;
  TVaControlDtr controlDtr_ = TVaControlDtr::dtrDisabled;
  TVaControlRts controlRts_ = TVaControlRts::rtsDisabled;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
};

// Setters always store and report, even an unchanged value.
class TVaEventChars : public TVaPersistent {
 public:
  TVaEventChars() = default;
  TVaEventChars(const TVaEventChars& other) : TVaPersistent() { CopyValues(other); }
  TVaEventChars& operator=(const TVaEventChars& other);

  char XonChar() const { return xonChar_; }
  char XoffChar() const { return xoffChar_; }
  char ErrorChar() const { return errorChar_; }
  char EventChar() const { return eventChar_; }
  char EofChar() const { return eofChar_; }

  void SetXonChar(char v) { Set(xonChar_, v); }
  void SetXoffChar(char v) { Set(xoffChar_, v); }
  void SetErrorChar(char v) { Set(errorChar_, v); }
  void SetEventChar(char v) { Set(eventChar_, v); }
  void SetEofChar(char v) { Set(eofChar_, v); }

 private:
  void Set(char& field, char v) {
    field = v;
    Changed();
  }
  void CopyValues(const TVaEventChars& other);

  char xonChar_ = 0x11;
  char xoffChar_ = 0x13;
  char errorChar_ = 0;
  char eventChar_ = 0;
  char eofChar_ = 0;
};

}  // namespace kelta

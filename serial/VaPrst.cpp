#include "serial/VaPrst.h"

namespace kelta {

void TVaPersistent::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

void TVaPersistent::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

// --- TVaBuffers

TVaBuffers& TVaBuffers::operator=(const TVaBuffers& other) {
  if (this != &other) InUpdateBracket([&] { CopyValues(other); });
  return *this;
}

void TVaBuffers::CopyValues(const TVaBuffers& other) {
  SetReadSize(other.readSize_);
  SetWriteSize(other.writeSize_);
  SetReadTimeout(other.readTimeout_);
  SetWriteTimeout(other.writeTimeout_);
  SetXonLimit(other.xonLimit_);
  SetXoffLimit(other.xoffLimit_);
}

void TVaBuffers::SetSize(std::int32_t& field, std::int32_t v) {
  if (v < 0) v = 0;
  if (field == v) return;
  field = v;
  Changed();
}

void TVaBuffers::SetReadSize(std::int32_t v) { SetSize(readSize_, v); }
void TVaBuffers::SetWriteSize(std::int32_t v) { SetSize(writeSize_, v); }
void TVaBuffers::SetXonLimit(std::int32_t v) { SetSize(xonLimit_, v); }
void TVaBuffers::SetXoffLimit(std::int32_t v) { SetSize(xoffLimit_, v); }
void TVaBuffers::SetReadTimeout(std::int32_t v) { readTimeout_ = v < 0 ? 0 : v; }
void TVaBuffers::SetWriteTimeout(std::int32_t v) { writeTimeout_ = v < 0 ? 0 : v; }

// --- TVaFlowControl

TVaFlowControl& TVaFlowControl::operator=(const TVaFlowControl& other) {
  if (this != &other) InUpdateBracket([&] { CopyValues(other); });
  return *this;
}

void TVaFlowControl::CopyValues(const TVaFlowControl& other) {
  SetOutCtsFlow(other.outCtsFlow_);
  SetOutDsrFlow(other.outDsrFlow_);
  SetControlDtr(other.controlDtr_);
  SetControlRts(other.controlRts_);
  SetXonXoffOut(other.xonXoffOut_);
  SetXonXoffIn(other.xonXoffIn_);
  SetDsrSensitivity(other.dsrSensitivity_);
  SetTxContinueOnXoff(other.txContinueOnXoff_);
}

// --- TVaEventChars

TVaEventChars& TVaEventChars::operator=(const TVaEventChars& other) {
  if (this != &other) InUpdateBracket([&] { CopyValues(other); });
  return *this;
}

void TVaEventChars::CopyValues(const TVaEventChars& other) {
  SetXonChar(other.xonChar_);
  SetXoffChar(other.xoffChar_);
  SetErrorChar(other.errorChar_);
  SetEventChar(other.eventChar_);
  SetEofChar(other.eofChar_);
}

}  // namespace kelta

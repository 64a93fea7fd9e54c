// The request flow: the command exchange, continuous reading on and off, counted readings,
// the ID measurement, single sends, the receive handler, open/close notifications and Close.

#include "console/form/ConsoleForm.h"

#include "base/Errors.h"
#include "protocol/RxDecoder.h"
#include "protocol/SensorCommands.h"
#include "protocol/StrToInt.h"
#include "serial/VaComm.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kelta {

namespace {

std::string TryText(int32_t attempt) { return "Try Connect " + std::to_string(attempt) + "[sec]"; }

bool Contains(const std::string& text, const std::string& marker) {
  return text.find(marker) != std::string::npos;
}

// The line as Memo1 shows it: an over-long line is cut, and says so.
std::string MemoText(const std::string& line) {
  const size_t limit = ConsoleForm::kMemoLineChars;
  const size_t shown = std::min(line.size(), limit);
  std::string text = WireText(line.substr(0, shown));
  if (shown < line.size()) text += " \u2026 (+" + std::to_string(line.size() - shown) + " bytes)";
  return text;
}

}  // namespace

// Lives for one exchange or pass; nested exchanges (run inside its wait) add their own.
struct ConsoleForm::ReplyWatch {
  ReplyWatch(ConsoleForm& form, std::string wanted) : w(form), marker(std::move(wanted)) {
    w.replyWatches_.push_back(this);
  }
  ~ReplyWatch() { std::erase(w.replyWatches_, this); }
  ReplyWatch(const ReplyWatch&) = delete;
  ReplyWatch& operator=(const ReplyWatch&) = delete;

  // A line that held the marker came during the wait: it becomes LastLine, the reply the
  // caller goes on with. Otherwise LastLine decides, as it always did.
  bool Answered() {
    if (line) {
      w.LastLine = *line;
      return true;
    }
    return Contains(w.LastLine, marker);
  }

  ConsoleForm& w;
  const std::string marker;
  std::optional<std::string> line;  // the newest delivered line holding the marker
};

void ConsoleForm::WaitWithMessages(int ms) {
  if (!clock_->Wait(window_, ms, [this] { return closing_; })) throw EAbort();
}

void ConsoleForm::ClearReceived() {
  LastLine.clear();
  decoder_->ClearRxBuffer();
}

void ConsoleForm::PrepareAction(bool stop) {
  WaitWithMessages(200);
  ClearReceived();
  StopRequested = stop;
}

bool ConsoleForm::Preamble(bool stop) {
  PrepareAction(stop);
  if (Connected == 0) {
    window_.ShowMessage("Open Com port.");
    return false;
  }
  return true;
}

void ConsoleForm::SendAndAwait(const std::function<std::string()>& command,
                               const std::string& marker) {
  // TryCount is the console's, not this call's: an exchange run inside our wait may leave it
  // above 5, and then this one ends at its next check.
  ReplyWatch watch(*this, marker);
  const uint64_t losses = losses_;
  TryCount = 0;
  for (;;) {
    if (TryCount > 5) {
      SetStatus(0, "No answer");
      return;
    }
    const std::string text = command();
    VaComm1().SendText(text);
    SetStatus(1, text);
    WaitWithMessages(500);
    EndIfLost(losses);
    ++TryCount;
    SetStatus(0, TryText(TryCount));
    if (watch.Answered()) return;
  }
}

void ConsoleForm::btREADClick() {
  if (!Preamble(false)) return;
  reading_ = true;
  SendAndAwait([] { return std::string(kCmdRead); }, kMarkerValue);
}

void ConsoleForm::btStopClick() {
  if (!Preamble(true)) return;
  reading_ = false;
  const uint64_t losses = losses_;
  TryCount = 0;
  for (;;) {
    if (TryCount > 5) {
      SetStatus(0, "No answer");
      return;
    }
    VaComm1().SendText(kCmdStop);
    SetStatus(1, std::string(kCmdStop));
    WaitWithMessages(300);
    EndIfLost(losses);
    ClearReceived();
    ++TryCount;
    WaitWithMessages(200);
    EndIfLost(losses);
    SetStatus(0, TryText(TryCount));
    // Quiet for 200 ms: the sensor has stopped streaming.
    if (LastLine.empty()) return;
  }
}

void ConsoleForm::btDATAClick() { RunPasses(false); }

void ConsoleForm::btB105Click() { RunPasses(true); }

void ConsoleForm::RunPasses(bool idPoll) {
  // However the passes end (a lost port, the window closing), later readings are the
  // connected sensor's again.
  struct ForgetPolledId {
    std::optional<std::string>& id;
    ~ForgetPolledId() { id.reset(); }
  } forget{polledId_};
  PrepareAction(false);
  const int32_t count = StrToInt(window_.Text(FormControl::eCount));
  window_.SetText(FormControl::lCount, "1");
  if (Connected == 0) {
    window_.ShowMessage("Open Com port.");
    return;
  }
  const int attemptLimit = idPoll ? 1 : 5;
  ReplyWatch watch(*this, kMarkerValue);
  const uint64_t losses = losses_;
  for (int64_t pass = 1; pass <= count; ++pass) {
    ClearReceived();
    watch.line.reset();
    // Set by "#STOP" or Close clicked during our waits: every remaining pass would only
    // clear the received text again, with no event in between, so stop looping here
    // (a count of 2^31 - 1 would otherwise hold the GUI for seconds).
    if (StopRequested) break;
    for (int attempt = 0;;) {
      if (attempt > attemptLimit) {
        SetStatus(0, "No answer");
        break;
      }
      if (StopRequested) break;
      if (idPoll) {
        const std::string idText = window_.Text(FormControl::Edit1);
        const std::string frame = IdPollFrame(idText);
        // The reading that answers comes from this ID, not the connected sensor's.
        polledId_ = std::to_string(StrToInt(idText));
        VaComm1().SendText(frame);
        SetStatus(1, IdPollStatusText(static_cast<uint8_t>(frame[0])));
      } else {
        VaComm1().SendText(kCmdData);
        SetStatus(1, std::string(kCmdData));
      }
      WaitWithMessages(StrToInt(window_.Text(FormControl::eInterval)));
      EndIfLost(losses);
      window_.SetText(FormControl::lCount, std::to_string(pass));
      WaitWithMessages(10);
      EndIfLost(losses);
      ++attempt;
      SetStatus(0, TryText(attempt));
      if (watch.Answered()) break;
    }
  }
  StopRequested = true;
}

void ConsoleForm::SendOnce(const std::string& text) {
  if (!Preamble(false)) return;
  VaComm1().SendText(text);
  SetStatus(1, text);
}

void ConsoleForm::btn25Click() { SendOnce(kCmdSave); }

void ConsoleForm::SendRawLine(FormControl field) {
  // The field is read after the preamble's wait, as the operator may still be typing.
  if (!Preamble(false)) return;
  const std::string text = RawLineCommand(window_.Text(field));
  VaComm1().SendText(text);
  SetStatus(1, text);
}

void ConsoleForm::bt360Send1Click() { SendRawLine(FormControl::ed360Send1); }
void ConsoleForm::bt360Send2Click() { SendRawLine(FormControl::ed360Send2); }
void ConsoleForm::bt360Send3Click() { SendRawLine(FormControl::ed360Send3); }

void ConsoleForm::DeliverLine(const std::string& line) {
  LastLine = line;
  for (ReplyWatch* watch : replyWatches_)
    if (Contains(line, watch->marker)) watch->line = line;
  std::vector<std::string>& lines = pending_.lines;
  lines.push_back(MemoText(line));
  // Lines beyond the list's limit would only be cut by it; dropped here in halves, so that
  // each line is moved at most once.
  const size_t limit = kMemoLineLimit;
  if (lines.size() >= 2 * limit) lines.erase(lines.begin(), lines.end() - limit);
  PendingChanged();
}

void ConsoleForm::VaComm1RxChar() {
  const std::string chunk = VaComm1().ReceiveText();
  if (chunk.empty()) return;
  if (HeardWhileReturning(chunk)) return;  // a returning device, its ID not yet checked
  RxSink sink;
  sink.deliverLine = [this](const std::string& line) { DeliverLine(line); };
  sink.angleReceived = [this](double value) {
    // One time for the reading, taken as its frame is decoded: the trend and the recording
    // both use it, however long the readout takes to draw in between.
    readingTime_ = readingClock_();
    health_.meter.Reading();
    trend_.Push(std::chrono::duration<double>(readingTime_.steady.time_since_epoch()).count(),
                value);
    AngleReceived.Raise(value);
  };
  {
    // The chunk's lines and readings are one arrival: shown together once it is taken in.
    struct TakingIn {
      bool& flag;
      ~TakingIn() { flag = false; }
    } takingIn{pending_.takingIn = true};
    decoder_->Feed(chunk, sink);
  }
  PendingChanged();
}

ConsoleForm::ReadingTime ConsoleForm::ReadingTimeNow() {
  return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
}

void ConsoleForm::SetReadingClock(std::function<ReadingTime()> clock) {
  readingClock_ = clock ? std::move(clock) : ReadingTimeNow;
}

void ConsoleForm::SetClock(FormClock& clock) {
  clock_ = &clock;
  readingClock_ = [&clock] { return ReadingTime{clock.Now(), clock.WallNow()}; };
}

void ConsoleForm::VaComm1Open() {
  Connected = 1;
  // A lost port tried again stays "lost" in the status bar until its sensor is checked.
  if (!reconnecting_) SetStatus(0, "Open Com");
}

void ConsoleForm::VaComm1Close() {
  Connected = 0;
  // The port's last readings are shown now, not a frame later beside its closed state.
  pacer_.ShowNow();
  if (!reconnecting_) SetStatus(0, "Close Com");
  // The trend's line breaks here, whether the device went away or the operator closed.
  trend_.MarkGap();
  // A port that closed because its device went away: shown, and waited for (Reconnect.cpp).
  if (deviceLost_ && !closing_) PortLost();
  deviceLost_ = false;
}

void ConsoleForm::btCloseClick() {
  if (Connected == 1) {
    StopRequested = true;
    WaitWithMessages(50);
    VaComm1().Close();
    WaitWithMessages(50);
  } else {
    CopyFieldsToUserSet();
    try {
      SaveUserSet(UserSet, appDir_);
    } catch (const std::exception&) {
      // Not a reason to keep the window open: its close handler saves once more and shows
      // a failure in a box before the window goes.
    }
  }
  window_.CloseWindow();
}

}  // namespace kelta

// The request flow: the command exchange, continuous reading on and off, counted readings,
// the ID measurement, single sends, the receive handler, open/close notifications and Close.

#include "console/UKELTA_Display.h"

#include "console/WaitWithMessages.h"
#include "console/core/ConsoleErrors.h"
#include "console/core/RxDecoder.h"
#include "console/core/SensorCommands.h"
#include "console/core/StrToInt.h"
#include "serial/VaComm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>
#include <optional>
#include <vector>

namespace kelta {

namespace {

QString TryText(int32_t attempt) { return QStringLiteral("Try Connect %1[sec]").arg(attempt); }

bool Contains(const std::string& text, const std::string& marker) {
  return text.find(marker) != std::string::npos;
}

// Bytes from the line, one character each: the sensor speaks ASCII, and stray bytes must
// still show rather than vanish in a UTF-8 decode. An over-long line is cut, and says so.
QString MemoText(const std::string& line) {
  const size_t limit = TFVANTORIS::kMemoLineChars;
  const size_t shown = std::min(line.size(), limit);
  QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(shown));
  if (shown < line.size()) text += QStringLiteral(" \u2026 (+%1 bytes)").arg(line.size() - shown);
  return text;
}

}  // namespace

// Lives for one exchange or pass; nested exchanges (run inside its wait) add their own.
struct TFVANTORIS::ReplyWatch {
  ReplyWatch(TFVANTORIS& window, std::string wanted) : w(window), marker(std::move(wanted)) {
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

  TFVANTORIS& w;
  const std::string marker;
  std::optional<std::string> line;  // the newest delivered line holding the marker
};

void TFVANTORIS::WaitWithMessages(int ms) {
  if (!kelta::WaitWithMessages(ms, [this] { return closing_; })) throw EAbort();
}

void TFVANTORIS::ClearReceived() {
  LastLine.clear();
  decoder_->ClearRxBuffer();
}

void TFVANTORIS::PrepareAction(bool stop) {
  WaitWithMessages(200);
  ClearReceived();
  StopRequested = stop;
}

bool TFVANTORIS::Preamble(bool stop) {
  PrepareAction(stop);
  if (Connected == 0) {
    dialogs_->ShowMessage(QStringLiteral("Open Com port."));
    return false;
  }
  return true;
}

void TFVANTORIS::SendAndAwait(const std::function<std::string()>& command,
                              const std::string& marker) {
  // TryCount is the console's, not this call's: an exchange run inside our wait may leave it
  // above 5, and then this one ends at its next check.
  ReplyWatch watch(*this, marker);
  TryCount = 0;
  for (;;) {
    if (TryCount > 5) {
      SetStatus(0, QStringLiteral("No answer"));
      return;
    }
    const std::string text = command();
    VaComm1().SendText(text);
    SetStatus(1, text);
    WaitWithMessages(500);
    ++TryCount;
    SetStatus(0, TryText(TryCount));
    if (watch.Answered()) return;
  }
}

void TFVANTORIS::btREADClick() {
  if (!Preamble(false)) return;
  SendAndAwait([] { return std::string(kCmdRead); }, kMarkerValue);
}

void TFVANTORIS::btStopClick() {
  if (!Preamble(true)) return;
  TryCount = 0;
  for (;;) {
    if (TryCount > 5) {
      SetStatus(0, QStringLiteral("No answer"));
      return;
    }
    VaComm1().SendText(kCmdStop);
    SetStatus(1, std::string(kCmdStop));
    WaitWithMessages(300);
    ClearReceived();
    ++TryCount;
    WaitWithMessages(200);
    SetStatus(0, TryText(TryCount));
    // Quiet for 200 ms: the sensor has stopped streaming.
    if (LastLine.empty()) return;
  }
}

void TFVANTORIS::btDATAClick() { RunPasses(false); }

void TFVANTORIS::btB105Click() { RunPasses(true); }

void TFVANTORIS::RunPasses(bool idPoll) {
  PrepareAction(false);
  const int32_t count = StrToInt(eCount->text().toStdString());
  lCount->setText(QStringLiteral("1"));
  if (Connected == 0) {
    dialogs_->ShowMessage(QStringLiteral("Open Com port."));
    return;
  }
  const int attemptLimit = idPoll ? 1 : 5;
  ReplyWatch watch(*this, kMarkerValue);
  for (int64_t pass = 1; pass <= count; ++pass) {
    ClearReceived();
    watch.line.reset();
    // Set by "#STOP" or Close clicked during our waits: every remaining pass would only
    // clear the received text again, with no event in between, so stop looping here
    // (a count of 2^31 - 1 would otherwise hold the GUI for seconds).
    if (StopRequested) break;
    for (int attempt = 0;;) {
      if (attempt > attemptLimit) {
        SetStatus(0, QStringLiteral("No answer"));
        break;
      }
      if (StopRequested) break;
      if (idPoll) {
        const std::string frame = IdPollFrame(Edit1->text().toStdString());
        VaComm1().SendText(frame);
        SetStatus(1, IdPollStatusText(static_cast<uint8_t>(frame[0])));
      } else {
        VaComm1().SendText(kCmdData);
        SetStatus(1, std::string(kCmdData));
      }
      WaitWithMessages(StrToInt(eInterval->text().toStdString()));
      lCount->setText(QString::number(pass));
      WaitWithMessages(10);
      ++attempt;
      SetStatus(0, TryText(attempt));
      if (watch.Answered()) break;
    }
  }
  StopRequested = true;
}

void TFVANTORIS::SendOnce(const std::string& text) {
  if (!Preamble(false)) return;
  VaComm1().SendText(text);
  SetStatus(1, text);
}

void TFVANTORIS::btn25Click() { SendOnce(kCmdSave); }

void TFVANTORIS::SendRawLine(int index) {
  // The field is read after the preamble's wait, as the operator may still be typing.
  if (!Preamble(false)) return;
  const std::string text =
      RawLineCommand(ed360Send.at(static_cast<size_t>(index))->text().toStdString());
  VaComm1().SendText(text);
  SetStatus(1, text);
}

void TFVANTORIS::bt360Send1Click() { SendRawLine(0); }
void TFVANTORIS::bt360Send2Click() { SendRawLine(1); }
void TFVANTORIS::bt360Send3Click() { SendRawLine(2); }

void TFVANTORIS::DeliverLine(const std::string& line) {
  LastLine = line;
  for (ReplyWatch* watch : replyWatches_)
    if (Contains(line, watch->marker)) watch->line = line;
  Memo1->appendPlainText(MemoText(line));
  // A long line (the information reply) scrolls the list sideways; the values that follow
  // are short, so bring the start of the lines back into view.
  Memo1->horizontalScrollBar()->setValue(0);
}

void TFVANTORIS::VaComm1RxChar() {
  const std::string chunk = VaComm1().ReceiveText();
  if (chunk.empty()) return;
  RxSink sink;
  sink.deliverLine = [this](const std::string& line) { DeliverLine(line); };
  sink.angleReceived = [this](double value) { AngleReceived.Raise(value); };
  decoder_->Feed(chunk, sink);
}

void TFVANTORIS::VaComm1Open() {
  Connected = 1;
  SetStatus(0, QStringLiteral("Open Com"));
}

void TFVANTORIS::VaComm1Close() {
  Connected = 0;
  SetStatus(0, QStringLiteral("Close Com"));
  // A port that closed because its device went away leaves the console disconnected: the
  // connect panel comes back over the console (whose list stays readable) so the operator can
  // connect again once the device is back.
  if (deviceLost_ && !closing_) {
    Panel2->show();
    Panel2->raise();
  }
  deviceLost_ = false;
}

void TFVANTORIS::btCloseClick() {
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
  close();
}

}  // namespace kelta

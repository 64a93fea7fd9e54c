#pragma once
// The console's behaviour without a toolkit: the request flow, connect and the sensor's
// information and configuration, raw sends, the serial port and its handlers, the angle
// display, the settings, errors and the log, start and close. It speaks to its window through
// IFormWindow.
//
// Threading: everything here runs on the GUI thread. The serial port's worker threads never
// touch the form; they hand OnOpen/OnClose/OnRxChar/OnError to the GUI thread through the
// dispatcher the front-end gives and block until the handler has run. The form takes no locks;
// because WaitWithMessages runs messages, a click or a serial notification can run inside a
// waiting handler, and TryCount, LastLine and StopRequested are shared between them on purpose.

#include "console/core/UserSet.h"
#include "console/form/FormClock.h"
#include "console/form/FormWindow.h"
#include "console/form/FramePacer.h"
#include "console/form/HealthMeter.h"
#include "console/form/Notification.h"
#include "console/form/TrendBuffer.h"
#include "records/ReadingCsv.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelta {

class EInOutError;
class IGuiDispatcher;
class RxDecoder;
class TVaComm;

class ConsoleForm {
 public:
  // window: the controls and boxes; it must outlive the form. appDir: folder (with trailing
  // '/') of "UserSet.dat", "LogFile.Log" and the port map. dispatcher: how the port's workers
  // reach the GUI thread.
  ConsoleForm(IFormWindow& window, std::string appDir, std::shared_ptr<IGuiDispatcher> dispatcher);
  ~ConsoleForm();
  ConsoleForm(const ConsoleForm&) = delete;
  ConsoleForm& operator=(const ConsoleForm&) = delete;

  // Lines kept in Memo1; older ones are dropped so that a day of continuous reading cannot
  // exhaust memory.
  static constexpr int kMemoLineLimit = 10000;
  // Characters of one line shown in Memo1 (sensor lines are tens of characters). A longer
  // line, such as bytes at the wrong speed that never end, is shown cut with a mark saying so;
  // LastLine keeps it whole. With the line limit this bounds the list's memory.
  static constexpr int kMemoLineChars = 1000;

  // Console notifications; the angle display is attached to both first.
  Notification<double> AngleReceived;
  Notification<const std::string&, const std::string&> DialSettingsRead;  // positive range, mode

  // Application-wide exception handler: message + " - " + stamp into status panel 0 and
  // appended to "LogFile.Log".
  void AppException(const std::exception& error);
  // Runs one event handler; whatever it throws goes to AppException, nothing escapes. The
  // silent abort (EAbort) ends the handler without a report.
  void Guarded(const std::function<void()>& handler);

  const std::string& AppDir() const { return appDir_; }

  // Console state (see the header comment).
  int Connected = 0;
  bool StopRequested = false;
  std::string LastLine;
  int32_t TryCount = 0;
  TUserSet UserSet{};

  // Raises EAbort once the window has closed (also when it closes during the wait), so that
  // every handler waiting on the stack ends instead of sending on.
  void WaitWithMessages(int ms);
  void SendAndAwait(const std::function<std::string()>& command, const std::string& marker);
  void DeliverLine(const std::string& line);

  // Handlers, named after control and event. The class is defined across several files, one
  // group of handlers each:
  //   ConsoleForm.cpp   construction, start and close, exceptions, help
  //   SerialPort.cpp    the serial port object and the binding of its notifications
  //   ConnectInfo.cpp   connect, the sensor's information and its configuration commands
  //   RequestFlow.cpp   requests and sends, waits, received lines, port open/close, Close
  //   LineErrors.cpp    errors the port reports on the line
  //   Reconnect.cpp     a lost port: marked, waited for, reopened when the same sensor is back
  //   AngleDisplay.cpp  the angle and the list's new lines shown at the display's pace, the
  //                     dial picture chosen, clearing the list and angle
  //   HealthLine.cpp    the live health line and the stale mark
  //   Recording.cpp     the "Record" toggle, its folder, and the readings' file
  void FormCreate();
  void FormClose();
  void btHelpClick();
  void Button3Click();
  void btn10Click();
  void btIDchangeClick();
  void Button25Click();
  void Button26Click();
  void btREADClick();
  void btStopClick();
  void btDATAClick();
  void btB105Click();
  void btn25Click();
  void bt360Send1Click();
  void bt360Send2Click();
  void bt360Send3Click();
  void btCloseClick();
  void VaComm1RxChar();
  void VaComm1Open();
  void VaComm1Close();
  void VaComm1Error(uint32_t errors);
  // The angle shown: at once after a quiet spell, otherwise with the next frame (as are
  // Memo1's lines DeliverLine adds).
  void ShowAngle(double value);
  void ChooseDialPicture(const std::string& positiveRange, const std::string& mode);
  void btClearClick();
  // Shows the trend of the readings (AngleDisplay.cpp).
  void btTrendClick();

  // While the port's device is lost: reopens the port once its device is there again and
  // takes it back when the same sensor (same ID) answers. Run by the form's timer.
  void ReconnectTick();
  // The port the form waits for, as "COMn"; empty when none is lost.
  std::string LostPortName() const;

  // The window is closing (by Close, the title bar or the program's end): every running wait
  // ends, the port closes and the settings are saved, a failure logged and shown in a box.
  // False, doing nothing, when it was closing already.
  bool WindowClosing();
  // The program is ending without its window closing (the display went away and the toolkit
  // exits at once): what the recording holds is written and synced, and the settings saved;
  // nothing is shown and no port is touched. Nothing when the window has closed already.
  void ProgramEnding();

  // Refreshes the health line (lHealth) and the readout's stale mark. Run by the form's timer
  // from Connect on.
  void HealthTick();

  // Recording: the toggle starts a file in the chosen folder (named by start time and port)
  // or closes it; every accepted reading goes to it. The folder button asks for the folder
  // and remembers it beside the executable. The tick, run by the form's timer while
  // recording, hands the lines to the system and shows a failure met meanwhile.
  void btRecordClick();
  void btFolderClick();
  void RecordTick();
  bool IsRecording() const;
  const std::string& RecordFolder() const { return recording_.folder; }

  TVaComm& VaComm1() { return *comm_; }

  // Every accepted reading with its time, and where the port closed: what the trend draws.
  TrendBuffer& Trend() { return trend_; }

  // When a reading's frame was decoded, on both clocks: the steady one places it in the trend
  // (TrendBuffer's seconds) and in the recording's seconds, the calendar one stamps its row.
  struct ReadingTime {
    std::chrono::steady_clock::time_point steady;
    std::chrono::system_clock::time_point wall;
  };
  static ReadingTime ReadingTimeNow();
  // The clock every reading is stamped by, once (ReadingTimeNow; tests give their own).
  void SetReadingClock(std::function<ReadingTime()> clock);
  // The clock of the form's waits, its recordings' start, its health line and (replacing
  // SetReadingClock's) its readings; the real one until this is called. It must outlive the
  // form.
  void SetClock(FormClock& clock);

 private:
  void CreatePort(std::shared_ptr<IGuiDispatcher> dispatcher);
  void SetStatus(int panel, const std::string& text);
  // Steps 1 to 3 of the preamble.
  void PrepareAction(bool stop);
  // The whole preamble; false when not connected (the box has been shown).
  bool Preamble(bool stop);
  void ClearReceived();
  void RunPasses(bool idPoll);
  void SendOnce(const std::string& text);
  void SendRawLine(FormControl field);
  void CopyFieldsToUserSet();
  void FillInformation(const std::string& reply);
  // Raises EAbort when the port's device was lost since `losses` was taken: nothing is sent
  // into a dead port, and the lost port's status text stays in view.
  void EndIfLost(uint64_t losses) const;
  void PortLost();
  void StopWaitingForPort();
  // Connect: the health line counts from zero, and its timer runs from now on.
  void RestartHealth();
  // Recording.cpp: the folder from the settings file (FormCreate); a reading to the file;
  // what the file holds handed to the system (port lost); the file closed (toggle off);
  // closed with a failure shown at once (window closing); a failed write ends recording.
  void LoadRecordSettings();
  void RecordReading(double value, const ReadingTime& at);
  void FlushRecording();
  void StopRecording();
  void EndRecording();
  // kept: the file that keeps the readings written before; empty: the writer's.
  void RecordingFailed(const EInOutError& error, std::string kept = {});
  void ShowRecordState();
  // A port opened by hand (its sensor not known yet), and the sensor that answered on it: a
  // file holds the readings of one port and one sensor ID, so another starts a new file.
  void RecordingPortOpened();
  void RecordingSensorIs(const std::string& id);
  void WriteHeldReadings(const std::string& id);
  void WriteReading(const Reading& reading);

  // The line holding a reply marker, caught as lines are delivered during an exchange's
  // wait: a streaming sensor overwrites LastLine with readings before the wait ends.
  struct ReplyWatch;
  std::vector<ReplyWatch*> replyWatches_;

  IFormWindow& window_;
  std::string appDir_;
  FormClock realClock_;
  FormClock* clock_ = &realClock_;
  // Set when the window closes: every running wait ends at once, and the window is not
  // closed (and the settings not saved) a second time.
  bool closing_ = false;
  // Set by the line-error notification when the device vanished; read by the close notification.
  bool deviceLost_ = false;
  // Counts device losses; a running exchange or pass loop ends when it changes under it.
  uint64_t losses_ = 0;
  // Continuous reading was asked for ("#READ") and not stopped since.
  bool reading_ = false;
  // The port whose device went away, while the form waits for it to come back.
  struct LostPort {
    int portNum = 0;
    std::string path;      // the device path it had been opened through: the only one tried
    std::string sensorId;  // lbeID when it was lost
    bool reading = false;
    int timer = 0;
  };
  std::optional<LostPort> lost_;
  bool reconnecting_ = false;  // a tick is reopening the port (its waits may run ticks)
  // While a returning device's ID is checked, what it sends goes here instead of into the
  // console (no list line, reading, trend or record): HeardWhileReturning.
  struct ReturnCheck;
  ReturnCheck* returnCheck_ = nullptr;
  bool HeardWhileReturning(const std::string& chunk);
  std::unique_ptr<RxDecoder> decoder_;
  // What came since the window last showed it, shown at the display's pace (FramePacer.h):
  // Memo1's new lines (the newest kMemoLineLimit of them; older ones would be cut at once)
  // and the newest angle. While a chunk from the port is taken in, the showing waits for its
  // end: a chunk's readings are one arrival.
  struct PendingView {
    std::vector<std::string> lines;
    std::optional<double> angle;
    bool takingIn = false;
  };
  PendingView pending_;
  FramePacer pacer_;
  // Something was added to pending_.
  void PendingChanged();
  // The pacer's frame: pending_ into the window.
  void ShowPending();
  // The health line: its figures, its timer (stopped with the form: the tick calls it), and
  // whether the readout is marked stale now.
  struct HealthLine {
    IFormWindow& window;
    HealthMeter meter{};
    int timer = 0;
    bool stale = false;
    ~HealthLine() {
      if (timer != 0) window.StopTimer(timer);
    }
  };
  HealthLine health_{window_};
  // Recording: the folder, the open file and the port and sensor it holds, the timer (stopped
  // with the form: the tick calls it), and a failure still to be shown in a box.
  struct Recording {
    explicit Recording(IFormWindow& w) : window(w) {}
    IFormWindow& window;
    std::string folder;
    ReadingCsvWriter writer;
    std::string port;
    std::string sensorId;  // empty: not known when the file started
    // The connected sensor's ID from its information; none from a Connect by hand until its
    // information came. Readings meanwhile wait in `held` (bounded), with their steady time.
    std::optional<std::string> connectedId = std::string();
    std::vector<std::pair<Reading, std::chrono::steady_clock::time_point>> held;
    int timer = 0;
    std::string failure;
    ~Recording() {
      if (timer != 0) window.StopTimer(timer);
    }
  };
  Recording recording_{window_};
  // The ID the running ID measurement polls (Edit1's): its readings are recorded under it.
  std::optional<std::string> polledId_;
  TrendBuffer trend_;
  std::function<ReadingTime()> readingClock_ = ReadingTimeNow;
  ReadingTime readingTime_{};  // the reading being raised now
  std::unique_ptr<TVaComm> comm_;
};

// Bytes from the wire as text, one character each: the sensor speaks ASCII, and stray bytes
// must still show rather than vanish in a UTF-8 decode.
std::string WireText(const std::string& bytes);

// A recording's file name: local start time and port, "2026-12-07_14-02-11_COM5.csv"; an
// attempt above 1 adds "-<attempt>" before ".csv".
std::string RecordFileName(std::chrono::system_clock::time_point start, const std::string& port,
                           int attempt = 1);
// The record label's text for a file and its count of readings, for a label widthPixels wide
// in the window's font: the count always whole; a name too long loses its start to "…".
std::string RecordLabelText(const std::string& fileName, uint64_t count, int widthPixels);

}  // namespace kelta

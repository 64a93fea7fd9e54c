#pragma once
// The console's main window: every control, the request flow, connect and the sensor
// information and configuration commands, start and close.
//
// Threading: everything here runs on the GUI thread. The serial port's worker threads never
// touch the window; they hand OnOpen/OnClose/OnRxChar/OnError to the GUI thread through the
// Qt dispatcher and block until the handler has run. The console takes no locks; because
// WaitWithMessages runs events, a click or a serial notification can run inside a waiting
// handler, and TryCount, LastLine and StopRequested are shared between them on purpose.

#include "console/ConsoleDialogs.h"
#include "console/Notification.h"
#include "console/core/UserSet.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace kelta::gfx {
class TImage32;
}
namespace kelta::sevenseg {
class TiSevenSegmentAnalog;
}

namespace kelta {
class AngleDisplay;
class ClickablePanel;
class LabeledEdit;
class RxDecoder;
class TVaComm;
class TfHelp;

class TFVANTORIS : public QWidget {
  Q_OBJECT
 public:
  // appDir: folder (with trailing '/') of "UserSet.dat", "LogFile.Log", "help.txt" and the
  // port map; the executable's folder in the program, a temporary folder in tests.
  // dialogs: the message and question boxes; nullptr means the real QMessageBox ones.
  explicit TFVANTORIS(std::string appDir, std::unique_ptr<ConsoleDialogs> dialogs = nullptr);
  ~TFVANTORIS() override;

  // Console notifications; later parts attach to them.
  Notification<double> AngleReceived;
  Notification<const QString&, const QString&> DialSettingsRead;  // positive range, mode

  // Application-wide exception handler: message + " - " + stamp into status panel 0 and
  // appended to "LogFile.Log".
  void AppException(const std::exception& error);
  // Runs one event handler; whatever it throws goes to AppException, nothing escapes. The
  // silent abort (EAbort) ends the handler without a report.
  void Guarded(const std::function<void()>& handler);

  QString StatusText(int panel) const;
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
  // group of handlers each (the group comments below name the file):
  //   UKELTA_Display.cpp  construction, start and close, exceptions, status panels, help
  //   WindowLayout.cpp    the controls and their places (Build*)
  //   SerialPort.cpp      the serial port object and its handlers (CreatePort)
  //   ConnectInfo.cpp     connect, the sensor's information and its configuration commands
  //   RequestFlow.cpp     requests and sends, waits, received lines, port open/close, Close
  //   LineErrors.cpp      errors the port reports on the line
  //   AngleDisplay.cpp    clearing the received list and the angle shown

  // Start, close and help (UKELTA_Display.cpp).
  void FormCreate();
  void FormClose();
  void btHelpClick();
  // Connect, sensor information and configuration (ConnectInfo.cpp).
  void Button3Click();
  void btn10Click();
  void btIDchangeClick();
  void Button25Click();
  void Button26Click();
  // Requests, sends, the Close button and the port's events (RequestFlow.cpp).
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
  // Line errors (LineErrors.cpp).
  void VaComm1Error(uint32_t errors);
  // Clearing the received list and the angle (AngleDisplay.cpp).
  void btClearClick();

  // Controls, named as the operator's screen names them (objectName is the same).
  QStatusBar* StatusBar1 = nullptr;
  std::array<QLabel*, 2> StatusPanels{};
  QFrame* Panel2 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* ePortNo = nullptr;
  QPushButton* Button3 = nullptr;
  ClickablePanel* Panel1 = nullptr;
  gfx::TImage32* ivBGR = nullptr;
  gfx::TImage32* Src = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  LabeledEdit* lbeCalDone = nullptr;
  LabeledEdit* lbeMVGain = nullptr;
  LabeledEdit* lbeMVOffset = nullptr;
  std::array<LabeledEdit*, 12> lbeCal{};
  QPushButton* btHelp = nullptr;
  QPushButton* btClose = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QPushButton* btn10 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* eID = nullptr;
  QPushButton* btIDchange = nullptr;
  QPushButton* btDATA = nullptr;
  QPushButton* btREAD = nullptr;
  QPushButton* btStop = nullptr;
  QPushButton* btn25 = nullptr;
  LabeledEdit* leRangeN = nullptr;
  QPushButton* Button25 = nullptr;
  LabeledEdit* leRangeP = nullptr;
  QPushButton* Button26 = nullptr;
  std::array<QLineEdit*, 3> ed360Send{};
  std::array<QPushButton*, 3> bt360Send{};
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* lCount = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* eCount = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* eInterval = nullptr;
  QLabel* Label7 = nullptr;
  QPushButton* btB105 = nullptr;
  QPushButton* btn28 = nullptr;
  LabeledEdit* lbeVersion = nullptr;
  LabeledEdit* lbeID = nullptr;
  LabeledEdit* lbeNRange = nullptr;
  LabeledEdit* lbePRange = nullptr;
  LabeledEdit* lbeMode = nullptr;
  LabeledEdit* lbeOffset = nullptr;
  QLabel* Label8 = nullptr;
  QPushButton* btClear = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  gfx::TImage32* Dst = nullptr;
  sevenseg::TiSevenSegmentAnalog* ssaValue = nullptr;

  TVaComm& VaComm1() { return *comm_; }
  TfHelp* fHelp = nullptr;
  AngleDisplay& Angles() { return *angleDisplay_; }

  // Lines kept in Memo1; older ones are dropped so that a day of continuous reading
  // cannot exhaust memory.
  static constexpr int kMemoLineLimit = 10000;
  // Characters of one line shown in Memo1 (sensor lines are tens of characters). A longer
  // line, such as bytes at the wrong speed that never end, is shown cut with a mark saying so;
  // LastLine keeps it whole. With the line limit this bounds the list's memory.
  static constexpr int kMemoLineChars = 1000;

 signals:
  // After the window has closed (the port is closed and FormClose ran); the program ends on it.
  void Closed();
  // Every text put into a status panel, also those replaced before a repaint could show them.
  void StatusTextSet(int panel, const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildConnectPanel();
  void BuildConsolePanel();
  void BuildCommandGroup();
  void BuildMeasureGroup();
  void BuildInfoFields();
  void BuildHiddenHolders();
  void WireHandlers();
  void CreatePort();

  void SetStatus(int panel, const QString& text);
  void SetStatus(int panel, const std::string& text);
  // Steps 1 to 3 of the preamble.
  void PrepareAction(bool stop);
  // The whole preamble; false when not connected (the box has been shown).
  bool Preamble(bool stop);
  void ClearReceived();
  void RunPasses(bool idPoll);
  void SendOnce(const std::string& text);
  void SendRawLine(int index);
  void CopyFieldsToUserSet();
  // FormClose; a failure is logged where the log can be written and shown in a box.
  void SaveAtClose();
  void FillInformation(const std::string& reply);

  // The line holding a reply marker, caught as lines are delivered during an exchange's
  // wait: a streaming sensor overwrites LastLine with readings before the wait ends.
  struct ReplyWatch;
  std::vector<ReplyWatch*> replyWatches_;

  std::string appDir_;
  // Set when the window closes: every running wait ends at once, and the window is not
  // closed (and the settings not saved) a second time.
  bool closing_ = false;
  // Set by the line-error notification when the device vanished; read by the close notification.
  bool deviceLost_ = false;
  std::unique_ptr<ConsoleDialogs> dialogs_;
  std::unique_ptr<RxDecoder> decoder_;
  std::unique_ptr<AngleDisplay> angleDisplay_;
  std::unique_ptr<TVaComm> comm_;
};

}  // namespace kelta

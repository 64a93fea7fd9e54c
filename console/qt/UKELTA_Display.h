#pragma once
// The console's main window in Qt: every control at its place, the boxes, the wait, the help
// window and the angle display; the behaviour is the form's (console/form/ConsoleForm.h),
// whose window interface this implements and whose handlers the controls run.
//
// Threading: everything here runs on the GUI thread; the serial port's workers reach it through
// Qt's blocking queued call (QtDispatcher).

#include "console/form/ConsoleForm.h"
#include "console/qt/ConsoleDialogs.h"

#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <string_view>

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
class TfHelp;
class TrendWindow;

class TFVANTORIS : public QWidget {
  Q_OBJECT
 public:
  // appDir: folder (with trailing '/') of "UserSet.dat", "LogFile.Log", "help.txt" and the
  // port map; the executable's folder in the program, a temporary folder in tests.
  // dialogs: the message and question boxes; nullptr means the real QMessageBox ones.
  explicit TFVANTORIS(std::string appDir, std::unique_ptr<ConsoleDialogs> dialogs = nullptr);
  // The folder of "help.txt" when it is not appDir (an installed program's share/kelta/).
  void SetHelpFolder(std::string dir) { helpDir_ = std::move(dir); }
  ~TFVANTORIS() override;

  // The behaviour behind the window.
  ConsoleForm& Form() { return *form_; }

  QString StatusText(int panel) const;
  // The widget of the layout table's row `name`; raises std::logic_error when there is none.
  QWidget* ControlNamed(std::string_view name) const;

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
  // Recording, in the band left of Help: the toggle, the folder chooser, the file named.
  QPushButton* btRecord = nullptr;
  QPushButton* btFolder = nullptr;
  QLabel* lRecord = nullptr;
  QLabel* lHealth = nullptr;       // the live health line, top left
  QPushButton* btTrend = nullptr;  // opens the trend window
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

  TfHelp* fHelp = nullptr;
  // The trend window, made on the first "Trend" click and shown again by later ones.
  TrendWindow* fTrend = nullptr;
  void OpenTrend();

 signals:
  // After the window has closed (the port is closed and FormClose ran); the program ends on it.
  void Closed();
  // Every text put into a status panel, also those replaced before a repaint could show them.
  void StatusTextSet(int panel, const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Every row of the layout table as a widget; then the members above point at them.
  void BuildControls();
  void TakeControls();
  // Binds every click handler of the layout table to its widget.
  void WireHandlers();

  // IFormWindow on the controls above (UKELTA_Display.cpp).
  class FormWindow;

  std::string appDir_;
  std::string helpDir_;  // empty: appDir_
  std::unique_ptr<ConsoleDialogs> dialogs_;
  std::unique_ptr<AngleDisplay> angleDisplay_;
  // The form goes first: closing its port still reports to the window.
  std::unique_ptr<FormWindow> formWindow_;
  std::unique_ptr<ConsoleForm> form_;
};

}  // namespace kelta

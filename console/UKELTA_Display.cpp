// The main window: construction, the wiring of controls to handlers, the one guard every
// handler runs in, the application exception handler, start and close.

#include "console/UKELTA_Display.h"

#include "console/AngleDisplay.h"
#include "console/AppIcon.h"
#include "console/ClickablePanel.h"
#include "console/LabeledEdit.h"
#include "console/core/ConsoleErrors.h"
#include "console/core/ErrorLog.h"
#include "console/core/PortList.h"
#include "console/core/RxDecoder.h"
#include "console/uHelp.h"
#include "serial/VaComm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <stdexcept>

namespace kelta {

TFVANTORIS::TFVANTORIS(std::string appDir, std::unique_ptr<ConsoleDialogs> dialogs)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      appDir_(std::move(appDir)),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<MessageBoxDialogs>(this)),
      decoder_(std::make_unique<RxDecoder>()) {
  setObjectName(QStringLiteral("FVANTORIS"));
  setWindowTitle(QStringLiteral("KELTA-RQ-7 Display Software Rev4.0용"));
  setWindowIcon(AppIcon());
  setFixedSize(618, 721);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }

  BuildControls();
  CreatePort();
  WireHandlers();
  Guarded([this] { FormCreate(); });
}

TFVANTORIS::~TFVANTORIS() = default;

void TFVANTORIS::WireHandlers() {
  const auto on = [this](QPushButton* button, void (TFVANTORIS::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  on(Button3, &TFVANTORIS::Button3Click);
  on(btn10, &TFVANTORIS::btn10Click);
  on(btIDchange, &TFVANTORIS::btIDchangeClick);
  on(btDATA, &TFVANTORIS::btDATAClick);
  on(btREAD, &TFVANTORIS::btREADClick);
  on(btStop, &TFVANTORIS::btStopClick);
  on(btn25, &TFVANTORIS::btn25Click);
  on(Button25, &TFVANTORIS::Button25Click);
  on(Button26, &TFVANTORIS::Button26Click);
  on(bt360Send[0], &TFVANTORIS::bt360Send1Click);
  on(bt360Send[1], &TFVANTORIS::bt360Send2Click);
  on(bt360Send[2], &TFVANTORIS::bt360Send3Click);
  on(btB105, &TFVANTORIS::btB105Click);
  on(btClear, &TFVANTORIS::btClearClick);
  on(btHelp, &TFVANTORIS::btHelpClick);
  on(btClose, &TFVANTORIS::btCloseClick);
  // A click on the console's bare background sends the first raw line.
  connect(Panel1, &ClickablePanel::clicked, this,
          [this] { Guarded([this] { bt360Send1Click(); }); });
}

void TFVANTORIS::Guarded(const std::function<void()>& handler) {
  try {
    try {
      handler();
    } catch (const EAbort&) {
      // Silent by definition: the handler was ended on purpose.
    } catch (const std::exception& e) {
      AppException(e);
    } catch (...) {
      AppException(std::runtime_error("Unknown exception"));
    }
  } catch (const std::exception& e) {
    // The log itself failed (AppException has already put its line into the status bar).
    // Nothing may reach Qt's event loop; stderr is all that is left.
    qWarning().noquote() << "LogFile.Log:" << e.what();
  }
}

void TFVANTORIS::AppException(const std::exception& error) {
  const std::string line = LogLine(error.what());
  SetStatus(0, line);
  WriteLogLine(appDir_, line);
}

QString TFVANTORIS::StatusText(int panel) const {
  return StatusPanels.at(static_cast<size_t>(panel))->text();
}

void TFVANTORIS::SetStatus(int panel, const QString& text) {
  StatusPanels.at(static_cast<size_t>(panel))->setText(text);
  emit StatusTextSet(panel, text);
}

void TFVANTORIS::SetStatus(int panel, const std::string& text) {
  SetStatus(panel, QString::fromStdString(text));
}

void TFVANTORIS::FormCreate() {
  LoadUserSet(UserSet, appDir_);
  ePortNo->setEditText(QString::fromStdString(UserSet.Read(UserSetField::PortName)));
  eCount->setText(QString::fromStdString(UserSet.Read(UserSetField::SendCount)));
  eInterval->setText(QString::fromStdString(UserSet.Read(UserSetField::SendInterval)));
  eID->setText(QString::fromStdString(UserSet.Read(UserSetField::SensorID)));

  const QString typed = ePortNo->currentText();
  ePortNo->clear();
  std::vector<std::string> names;
  PortRoots roots;
  roots.exeDir = appDir_;
  FillPortList(names, true, roots);
  for (const std::string& name : names) ePortNo->addItem(QString::fromStdString(name));
  // Adding the first item would otherwise replace the text the settings gave.
  ePortNo->setEditText(typed);
}

void TFVANTORIS::CopyFieldsToUserSet() {
  // Store() cuts each text to its field's capacity (6, 5, 10 and 3 characters).
  UserSet.Store(UserSetField::PortName, ePortNo->currentText().toStdString());
  UserSet.Store(UserSetField::SendCount, eCount->text().toStdString());
  UserSet.Store(UserSetField::SendInterval, eInterval->text().toStdString());
  UserSet.Store(UserSetField::SensorID, eID->text().toStdString());
}

void TFVANTORIS::FormClose() {
  CopyFieldsToUserSet();
  SaveUserSet(UserSet, appDir_);
}

void TFVANTORIS::SaveAtClose() {
  try {
    FormClose();
  } catch (const std::exception& e) {
    // The window is about to go: the status bar would never be seen again.
    Guarded([this, &e] { AppException(e); });
    dialogs_->ShowMessage(QStringLiteral("The settings were not saved.\n") +
                          QString::fromStdString(e.what()));
  }
}

void TFVANTORIS::closeEvent(QCloseEvent* event) {
  event->accept();
  // Closing again (the application closes its windows when it quits) changes nothing.
  if (closing_) return;
  // A counted reading or ID measurement may be waiting further down the stack (the title
  // bar's close runs inside its wait): its waits end from now on, and with the port closed
  // nothing holds the device once the window is gone.
  closing_ = true;
  StopRequested = true;
  Guarded([this] {
    if (Connected == 1) VaComm1().Close();
  });
  SaveAtClose();
  emit Closed();
}

void TFVANTORIS::btHelpClick() {
  // A new, independent window per click; the newest is kept in fHelp.
  // Guarded: a log that cannot be written must not keep the window from opening.
  fHelp = new TfHelp(this, appDir_,
                     [this](const std::exception& e) { Guarded([this, &e] { AppException(e); }); });
  fHelp->show();
}

}  // namespace kelta

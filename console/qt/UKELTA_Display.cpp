// The main window: construction, the wiring of controls to the form's handlers, the form's
// window interface on the Qt controls, close and help.

#include "console/qt/UKELTA_Display.h"

#include "console/qt/AngleDisplay.h"
#include "console/qt/AppIcon.h"
#include "console/qt/ClickablePanel.h"
#include "console/qt/LabeledEdit.h"
#include "console/qt/PortDescriptions.h"
#include "console/qt/TrendWindow.h"
#include "console/qt/WaitWithMessages.h"
#include "console/qt/uHelp.h"
#include "serial/qt/QtGuiDispatcher.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <map>
#include <stdexcept>

namespace kelta {

class TFVANTORIS::FormWindow final : public IFormWindow {
 public:
  explicit FormWindow(TFVANTORIS& w) : w_(w) {}

  std::string Text(FormControl control) const override {
    QWidget* c = Control(control);
    if (auto* edit = qobject_cast<QLineEdit*>(c)) return edit->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(c)) return combo->currentText().toStdString();
    if (auto* label = qobject_cast<QLabel*>(c)) return label->text().toStdString();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(c)) return memo->toPlainText().toStdString();
    return {};
  }

  void SetText(FormControl control, const std::string& text) override {
    const QString t = QString::fromStdString(text);
    QWidget* c = Control(control);
    if (auto* edit = qobject_cast<QLineEdit*>(c)) edit->setText(t);
    if (auto* combo = qobject_cast<QComboBox*>(c)) combo->setEditText(t);
    if (auto* label = qobject_cast<QLabel*>(c)) label->setText(t);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(c)) memo->setPlainText(t);
  }

  void SetItems(FormControl control, const std::vector<std::string>& items,
                const std::vector<std::string>& descriptions) override {
    auto* combo = qobject_cast<QComboBox*>(Control(control));
    if (!combo) return;
    QStringList names, texts;
    for (const std::string& item : items) names << QString::fromStdString(item);
    for (const std::string& text : descriptions) texts << QString::fromStdString(text);
    SetPortItems(*combo, names, texts);
  }

  std::string DescribePort(const std::string& devicePath) const override {
    return DescribeSerialDevice(QString::fromStdString(devicePath)).toStdString();
  }

  void SetVisible(FormControl control, bool visible) override {
    QWidget* c = Control(control);
    c->setVisible(visible);
    if (visible) c->raise();
  }

  void AddLine(FormControl control, const std::string& line) override {
    auto* memo = qobject_cast<QPlainTextEdit*>(Control(control));
    if (!memo) return;
    memo->appendPlainText(QString::fromStdString(line));
    // A long line (the information reply) scrolls the list sideways; the values that follow
    // are short, so bring the start of the lines back into view.
    memo->horizontalScrollBar()->setValue(0);
  }

  void SetStatus(int panel, const std::string& text) override {
    const QString t = QString::fromStdString(text);
    w_.StatusPanels.at(static_cast<size_t>(panel))->setText(t);
    emit w_.StatusTextSet(panel, t);
  }

  void SetChecked(FormControl control, bool checked) override {
    if (auto* button = qobject_cast<QPushButton*>(Control(control))) button->setChecked(checked);
  }
  std::string ChooseFolder(const std::string& start) override {
    return w_.dialogs_->ChooseFolder(&w_, QString::fromStdString(start)).toStdString();
  }

  void ShowMessage(const std::string& text) override {
    w_.dialogs_->ShowMessage(QString::fromStdString(text));
  }
  bool AskYesNo(const std::string& text) override {
    return w_.dialogs_->AskYesNo(QString::fromStdString(text));
  }

  bool WaitWithMessages(int ms, const std::function<bool()>& cancelled) override {
    return kelta::WaitWithMessages(ms, cancelled);
  }

  IAngleView& AngleView() override { return *w_.angleDisplay_; }

  int StartTimer(int ms, std::function<void()> tick) override {
    auto* timer = new QTimer(&w_);
    QObject::connect(timer, &QTimer::timeout, timer, std::move(tick));
    timer->start(ms);
    timers_[++lastTimer_] = timer;
    return lastTimer_;
  }
  void StopTimer(int id) override {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    // Later: this may run inside the timer's own tick.
    it->second->deleteLater();
    timers_.erase(it);
  }

  void OpenHelp() override {
    // A new, independent window per click; the newest is kept in fHelp.
    // Guarded: a log that cannot be written must not keep the window from opening.
    ConsoleForm& form = *w_.form_;
    const std::string& dir = w_.helpDir_.empty() ? form.AppDir() : w_.helpDir_;
    w_.fHelp = new TfHelp(&w_, dir, [&form](const std::exception& e) {
      form.Guarded([&form, &e] { form.AppException(e); });
    });
    w_.fHelp->show();
  }

  void CloseWindow() override { w_.close(); }

 private:
  QWidget* Control(FormControl control) const {
    switch (control) {
      case FormControl::Panel1:
        return w_.Panel1;
      case FormControl::Panel2:
        return w_.Panel2;
      case FormControl::ePortNo:
        return w_.ePortNo;
      case FormControl::eID:
        return w_.eID;
      case FormControl::Edit1:
        return w_.Edit1;
      case FormControl::eCount:
        return w_.eCount;
      case FormControl::eInterval:
        return w_.eInterval;
      case FormControl::lCount:
        return w_.lCount;
      case FormControl::leRangeN:
        return w_.leRangeN;
      case FormControl::leRangeP:
        return w_.leRangeP;
      case FormControl::ed360Send1:
        return w_.ed360Send[0];
      case FormControl::ed360Send2:
        return w_.ed360Send[1];
      case FormControl::ed360Send3:
        return w_.ed360Send[2];
      case FormControl::Memo1:
        return w_.Memo1;
      case FormControl::lbeVersion:
        return w_.lbeVersion;
      case FormControl::lbeID:
        return w_.lbeID;
      case FormControl::lbeMode:
        return w_.lbeMode;
      case FormControl::lbeCalDone:
        return w_.lbeCalDone;
      case FormControl::lbeOffset:
        return w_.lbeOffset;
      case FormControl::lbeNRange:
        return w_.lbeNRange;
      case FormControl::lbePRange:
        return w_.lbePRange;
      case FormControl::lbeMVGain:
        return w_.lbeMVGain;
      case FormControl::lbeMVOffset:
        return w_.lbeMVOffset;
      case FormControl::lHealth:
        return w_.lHealth;
      case FormControl::btRecord:
        return w_.btRecord;
      case FormControl::btFolder:
        return w_.btFolder;
      case FormControl::lRecord:
        return w_.lRecord;
      default:
        break;
    }
    const int cal = static_cast<int>(control) - static_cast<int>(FormControl::lbeCal0);
    if (cal >= 0 && cal < 12) return w_.lbeCal.at(static_cast<size_t>(cal));
    throw std::logic_error("FormControl without a widget");
  }

  TFVANTORIS& w_;
  std::map<int, QTimer*> timers_;
  int lastTimer_ = 0;
};

TFVANTORIS::TFVANTORIS(std::string appDir, std::unique_ptr<ConsoleDialogs> dialogs)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      appDir_(std::move(appDir)),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<MessageBoxDialogs>(this)) {
  setObjectName(QStringLiteral("FVANTORIS"));
  setWindowTitle(QStringLiteral("KELTA-RQ-7 Display Software Rev4.0용"));
  setWindowIcon(AppIcon());
  setFixedSize(618, 721);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }

  formWindow_ = std::make_unique<FormWindow>(*this);
  form_ = std::make_unique<ConsoleForm>(*formWindow_, appDir_, std::make_shared<QtDispatcher>());
  BuildControls();
  BuildTrendButton();
  WireHandlers();
  form_->Guarded([this] { form_->FormCreate(); });
}

TFVANTORIS::~TFVANTORIS() = default;

void TFVANTORIS::WireHandlers() {
  const auto on = [this](QPushButton* button, void (ConsoleForm::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { form_->Guarded([this, handler] { (*form_.*handler)(); }); });
  };
  on(Button3, &ConsoleForm::Button3Click);
  on(btn10, &ConsoleForm::btn10Click);
  on(btIDchange, &ConsoleForm::btIDchangeClick);
  on(btDATA, &ConsoleForm::btDATAClick);
  on(btREAD, &ConsoleForm::btREADClick);
  on(btStop, &ConsoleForm::btStopClick);
  on(btn25, &ConsoleForm::btn25Click);
  on(Button25, &ConsoleForm::Button25Click);
  on(Button26, &ConsoleForm::Button26Click);
  on(bt360Send[0], &ConsoleForm::bt360Send1Click);
  on(bt360Send[1], &ConsoleForm::bt360Send2Click);
  on(bt360Send[2], &ConsoleForm::bt360Send3Click);
  on(btB105, &ConsoleForm::btB105Click);
  on(btHelp, &ConsoleForm::btHelpClick);
  on(btClose, &ConsoleForm::btCloseClick);
  on(btClear, &ConsoleForm::btClearClick);
  on(btRecord, &ConsoleForm::btRecordClick);
  on(btFolder, &ConsoleForm::btFolderClick);
  connect(btTrend, &QPushButton::clicked, this,
          [this] { form_->Guarded([this] { OpenTrend(); }); });
  // A click on the console's bare background sends the first raw line.
  connect(Panel1, &ClickablePanel::clicked, this,
          [this] { form_->Guarded([this] { form_->bt360Send1Click(); }); });
}

void TFVANTORIS::BuildTrendButton() {
  btTrend = new QPushButton(QStringLiteral("Trend"), Panel1);
  btTrend->setObjectName(QStringLiteral("btTrend"));
  btTrend->setGeometry(152, 20, 64, 24);
}

void TFVANTORIS::OpenTrend() {
  if (!fTrend) {
    // The scale the sensor reported, else the range fields as typed.
    auto range = [this]() -> std::optional<std::pair<double, double>> {
      if (auto r = RangeScale(lbeNRange->text().toStdString(), lbePRange->text().toStdString()))
        return r;
      return RangeScale(leRangeN->text().toStdString(), leRangeP->text().toStdString());
    };
    fTrend = new TrendWindow(form_->Trend(), range, this);
  }
  fTrend->show();
  fTrend->raise();
  fTrend->activateWindow();
}

QString TFVANTORIS::StatusText(int panel) const {
  return StatusPanels.at(static_cast<size_t>(panel))->text();
}

void TFVANTORIS::closeEvent(QCloseEvent* event) {
  event->accept();
  if (form_->WindowClosing()) emit Closed();
}

}  // namespace kelta

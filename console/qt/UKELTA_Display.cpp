// The main window: construction, the binding of clicks to the form's handlers as the layout
// table names them, the form's window interface on the Qt controls, close and help.

#include "console/qt/UKELTA_Display.h"

#include "console/form/FormLayout.h"
#include "console/qt/AngleDisplay.h"
#include "console/qt/AppIcon.h"
#include "console/qt/ClickablePanel.h"
#include "console/qt/LabeledEdit.h"
#include "console/qt/PortDescriptions.h"
#include "console/qt/TrendWindow.h"
#include "console/qt/WaitWithMessages.h"
#include "console/qt/uHelp.h"
#include "serial/qt/QtGuiDispatcher.h"

#include <QAbstractButton>
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

#include <array>
#include <map>
#include <span>
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

  void AddLines(FormControl control, std::span<const std::string> lines) override {
    auto* memo = qobject_cast<QPlainTextEdit*>(Control(control));
    if (!memo || lines.empty()) return;
    // One text, one append: the list lays itself out, cuts its oldest lines and is drawn once.
    QString text = QString::fromStdString(lines.front());
    for (const std::string& line : lines.subspan(1))
      text += QLatin1Char('\n') + QString::fromStdString(line);
    memo->appendPlainText(text);
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

  void OpenTrend() override { w_.OpenTrend(); }

  void CloseWindow() override { w_.close(); }

 private:
  // The widget of the table's row named for `control`, found once by its name.
  QWidget* Control(FormControl control) const {
    QWidget*& c = controls_.at(static_cast<size_t>(control));
    if (c == nullptr) c = w_.ControlNamed(FormControlName(control));
    return c;
  }

  TFVANTORIS& w_;
  std::map<int, QTimer*> timers_;
  int lastTimer_ = 0;
  mutable std::array<QWidget*, kFormControlCount> controls_{};
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
  WireHandlers();
  form_->Guarded([this] { form_->FormCreate(); });
}

TFVANTORIS::~TFVANTORIS() = default;

QWidget* TFVANTORIS::ControlNamed(std::string_view name) const {
  auto* c =
      findChild<QWidget*>(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  if (c == nullptr) throw std::logic_error("No widget \"" + std::string(name) + "\" in the window");
  return c;
}

void TFVANTORIS::WireHandlers() {
  // Every row of the layout table with a handler: a button's click, or a click on a panel's
  // bare background.
  for (const ControlLayout& row : FormLayout()) {
    if (row.click == nullptr) continue;
    const FormClick handler = row.click;
    const auto run = [this, handler] { form_->Guarded([this, handler] { (*form_.*handler)(); }); };
    QWidget* c = ControlNamed(row.name);
    if (auto* button = qobject_cast<QAbstractButton*>(c)) {
      connect(button, &QAbstractButton::clicked, this, run);
    } else if (auto* panel = qobject_cast<ClickablePanel*>(c)) {
      connect(panel, &ClickablePanel::clicked, this, run);
    } else {
      throw std::logic_error("A click handler on \"" + std::string(row.name) +
                             "\", which takes no clicks in this window");
    }
  }
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

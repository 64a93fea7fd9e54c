#pragma once

#include <QString>

class QWidget;

namespace kelta {

// The console's modal boxes. One small interface so that tests can answer them; the window
// shows them on the GUI thread, and serial notifications keep running while one is open.
class ConsoleDialogs {
 public:
  virtual ~ConsoleDialogs() = default;
  // An information box with an OK button.
  virtual void ShowMessage(const QString& text) = 0;
  // A question with Yes and No; true only for Yes.
  virtual bool AskYesNo(const QString& text) = 0;
  // A folder chooser starting at `start`; the folder chosen, empty when cancelled. The
  // system's folder dialog unless a test answers.
  virtual QString ChooseFolder(QWidget* owner, const QString& start);
};

// The real boxes (QMessageBox), captioned with the application's name.
class MessageBoxDialogs final : public ConsoleDialogs {
 public:
  explicit MessageBoxDialogs(QWidget* owner) : owner_(owner) {}
  void ShowMessage(const QString& text) override;
  bool AskYesNo(const QString& text) override;

 private:
  QWidget* owner_;
};

}  // namespace kelta

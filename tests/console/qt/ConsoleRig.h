#pragma once
// What the console tests share: one QApplication per test program, a private folder per test
// (tests run in parallel), boxes the test answers, and helpers that act as the operator.

#include "console/qt/ClickablePanel.h"
#include "console/qt/ConsoleDialogs.h"
#include "console/qt/LabeledEdit.h"
#include "console/qt/UKELTA_Display.h"

#include "graphics/qt/Image32.h"
#include "sevenseg/qt/iSevenSegmentAnalog.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <ostream>

// Readable failures for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << '{';
  for (const QString& s : list) {
    PrintTo(s, os);
    *os << ' ';
  }
  *os << '}';
}

namespace kelta::test {

// Creates the program's QApplication on first use (offscreen in CTest) and makes the source
// folder current, where the console finds img/ as it does when started by tools/run.sh.
void EnsureApp();
// The repository's root folder (with a trailing '/').
std::string SourceDir();

std::vector<std::string> ReadLines(const std::string& path);  // CR LF or LF ended

// Records every box; questions take the queued answers in order (No when none is queued).
class ScriptedDialogs final : public ConsoleDialogs {
 public:
  struct Log {
    QStringList messages;
    QStringList questions;
    std::deque<bool> answers;
    QString folder;            // what the folder chooser answers; empty: cancelled
    QStringList folderStarts;  // where each folder chooser started
  };
  explicit ScriptedDialogs(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  void ShowMessage(const QString& text) override { log_->messages << text; }
  bool AskYesNo(const QString& text) override {
    log_->questions << text;
    if (log_->answers.empty()) return false;
    const bool yes = log_->answers.front();
    log_->answers.pop_front();
    return yes;
  }
  QString ChooseFolder(QWidget*, const QString& start) override {
    log_->folderStarts << start;
    return log_->folder;
  }

 private:
  std::shared_ptr<Log> log_;
};

// A main window in its own folder, with scripted boxes.
struct Console {
  explicit Console(const std::string& dir);
  ~Console();
  TFVANTORIS& operator*() { return *window; }
  TFVANTORIS* operator->() { return window.get(); }

  std::shared_ptr<ScriptedDialogs::Log> boxes = std::make_shared<ScriptedDialogs::Log>();
  std::unique_ptr<TFVANTORIS> window;
};

// The operator's actions, by objectName.
void Click(TFVANTORIS& w, const char* name);
void Type(TFVANTORIS& w, const char* name, const QString& text);
QString Text(TFVANTORIS& w, const char* name);  // edit, combo or label text
// Clicks `name` after `ms`, from inside whatever wait is running then.
void ClickLater(TFVANTORIS& w, const char* name, int ms);
QStringList MemoLines(TFVANTORIS& w);

// Every text put into status panel `panel` while it lives, in order.
class StatusRecorder {
 public:
  StatusRecorder(TFVANTORIS& w, int panel);
  ~StatusRecorder();
  const QStringList& Seen() const { return seen_; }

 private:
  QStringList seen_;
  QMetaObject::Connection connection_;
};

// Counts completed writes of one file in a folder (inotify IN_CLOSE_WRITE).
class WriteCounter {
 public:
  WriteCounter(const std::string& dir, const std::string& name);
  ~WriteCounter();
  int Count();

 private:
  int fd_ = -1;
  std::string name_;
  int count_ = 0;
};

// "<message> - yyyy-mm-dd hh:mm:ss"
bool IsStampedLine(const QString& line, const QString& message);

}  // namespace kelta::test

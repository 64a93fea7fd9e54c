#include "tests/console/qt/ConsoleRig.h"

#include "console/qt/ConsoleApplication.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace kelta::test {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "console_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    new ConsoleApplication(argc, argv);  // lives as long as the test program
    std::filesystem::current_path(SourceDir());
  }
}

std::string SourceDir() { return KELTA_TEST_SOURCE_DIR "/"; }

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

Console::Console(const std::string& dir) {
  EnsureApp();
  window = std::make_unique<TFVANTORIS>(dir, std::make_unique<ScriptedDialogs>(boxes));
  window->show();
}

Console::~Console() = default;

namespace {

template <class W>
W* Find(TFVANTORIS& w, const char* name) {
  W* found = w.findChild<W*>(QString::fromLatin1(name));
  if (found == nullptr) throw std::runtime_error(std::string("no control named ") + name);
  return found;
}

}  // namespace

void Click(TFVANTORIS& w, const char* name) { Find<QAbstractButton>(w, name)->click(); }

void Type(TFVANTORIS& w, const char* name, const QString& text) {
  if (auto* combo = w.findChild<QComboBox*>(QString::fromLatin1(name))) {
    combo->setEditText(text);
    return;
  }
  QLineEdit* edit = Find<QLineEdit>(w, name);
  edit->selectAll();
  edit->insert(text);  // as typed: through the edit's own input path
}

QString Text(TFVANTORIS& w, const char* name) {
  const QString n = QString::fromLatin1(name);
  if (auto* combo = w.findChild<QComboBox*>(n)) return combo->currentText();
  if (auto* edit = w.findChild<QLineEdit*>(n)) return edit->text();
  return Find<QLabel>(w, name)->text();
}

void ClickLater(TFVANTORIS& w, const char* name, int ms) {
  QAbstractButton* button = Find<QAbstractButton>(w, name);
  QTimer::singleShot(ms, button, [button] { button->click(); });
}

QStringList MemoLines(TFVANTORIS& w) {
  const QString text = w.Memo1->toPlainText();
  if (text.isEmpty() && w.Memo1->document()->blockCount() <= 1) return {};
  return text.split(QLatin1Char('\n'));
}

StatusRecorder::StatusRecorder(TFVANTORIS& w, int panel) {
  connection_ =
      QObject::connect(&w, &TFVANTORIS::StatusTextSet, [this, panel](int p, const QString& text) {
        if (p == panel) seen_ << text;
      });
}

StatusRecorder::~StatusRecorder() { QObject::disconnect(connection_); }

WriteCounter::WriteCounter(const std::string& dir, const std::string& name) : name_(name) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // The read-back after each save (IN_CLOSE_NOWRITE) also keeps inotify from merging two
  // back-to-back writes into one event.
  if (fd_ < 0 ||
      ::inotify_add_watch(fd_, dir.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_OPEN) < 0)
    throw std::system_error(errno, std::generic_category(), "inotify");
}

WriteCounter::~WriteCounter() { ::close(fd_); }

int WriteCounter::Count() {
  alignas(inotify_event) char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t off = 0; off < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
      if ((ev->mask & IN_CLOSE_WRITE) && ev->len > 0 && name_ == ev->name) ++count_;
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
    }
  }
  return count_;
}

bool IsStampedLine(const QString& line, const QString& message) {
  static const QRegularExpression stamp(
      QStringLiteral("^ - \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
  return line.startsWith(message) && stamp.match(line.mid(message.size())).hasMatch();
}

}  // namespace kelta::test

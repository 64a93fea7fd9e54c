#pragma once
// The help window: "help.txt" from the application's folder in an editable memo. Edits are
// never saved. GUI thread only.

#include <QWidget>

#include <exception>
#include <functional>
#include <string>

class QPlainTextEdit;

namespace kelta {

class TfHelp : public QWidget {
  Q_OBJECT
 public:
  // owner: the main window (the help window is its own top-level window, destroyed with the
  // owner); appDir: folder of "help.txt" with a trailing '/'; onError: where a failure to
  // read the file goes (the main window's exception handler); the window opens regardless.
  TfHelp(QWidget* owner, const std::string& appDir,
         const std::function<void(const std::exception&)>& onError);

  QPlainTextEdit* mHelp = nullptr;

 private:
  void FormCreate(const std::string& appDir);
};

// The whole of a text file, lines ending LF or CR LF joined with LF. Throws std::runtime_error
// naming the file and the system's reason when it cannot be opened or read.
QString ReadTextFileLines(const std::string& path);

}  // namespace kelta

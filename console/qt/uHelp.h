#pragma once
// The help window: "help.txt" from the application's folder in an editable memo. Edits are
// never saved. GUI thread only.

#include <QWidget>

#include <cstddef>
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

// What the help window reads at most: far more than any help text, little enough that a
// file of gigabytes in its place costs neither the memory nor the wait.
inline constexpr size_t kHelpReadLimit = size_t{4} << 20;

// A text file, lines ending LF or CR LF joined with LF. Of a file longer than `limit` bytes
// only the lines within the first `limit` bytes are kept, followed by a line that says the
// text was cut. Throws std::runtime_error naming the file and the reason when it cannot be
// opened (also when it is not a regular file: a FIFO, a device, a folder) or read.
QString ReadTextFileLines(const std::string& path, size_t limit = kHelpReadLimit);

}  // namespace kelta

#include "console/qt/uHelp.h"

#include "base/RegularFile.h"

#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace kelta {

QString ReadTextFileLines(const std::string& path, size_t limit) {
  // Plain reads, so that a failing read (an I/O error) is reported with its errno instead of
  // passing for an empty file; only a regular file is opened, so a FIFO or a device in its
  // place can neither block nor feed the window without end.
  const RegularFile file = OpenRegularFile(path, O_RDONLY);
  if (file.fd < 0) {
    const std::string reason = file.kind.empty() ? std::string(std::strerror(file.err))
                                                 : "Not a regular file (" + file.kind + ")";
    throw std::runtime_error("Cannot open file \"" + path + "\". " + reason);
  }
  std::string bytes;
  char buffer[65536];
  // One byte beyond the limit tells a file of exactly `limit` bytes from a longer one.
  while (bytes.size() <= limit) {
    const size_t want = std::min(sizeof buffer, limit + 1 - bytes.size());
    const ssize_t n = ::read(file.fd, buffer, want);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      ::close(file.fd);
      throw std::runtime_error("Cannot read file \"" + path + "\". " + std::strerror(err));
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(file.fd);
  const bool cut = bytes.size() > limit;
  if (cut) {
    // End on a whole line where there is one, so no character is split either.
    const size_t lastBreak = limit > 0 ? bytes.rfind('\n', limit - 1) : std::string::npos;
    bytes.resize(lastBreak == std::string::npos ? limit : lastBreak + 1);
  }
  QString text = QString::fromUtf8(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (cut) {
    if (!text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
    text +=
        QStringLiteral("[help.txt is longer: only its first %1 bytes are shown]").arg(bytes.size());
  }
  return text;
}

TfHelp::TfHelp(QWidget* owner, const std::string& appDir,
               const std::function<void(const std::exception&)>& onError)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("fHelp"));
  setWindowTitle(QStringLiteral("Help"));
  QFont f = font();
  f.setPixelSize(11);
  setFont(f);
  setFixedSize(710, 521);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  // 3 pixels wider than the client area, as the window was laid out.
  mHelp = new QPlainTextEdit(this);
  mHelp->setObjectName(QStringLiteral("mHelp"));
  mHelp->setGeometry(0, 0, 713, 521);
  mHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mHelp->setLineWrapMode(QPlainTextEdit::NoWrap);

  try {
    FormCreate(appDir);
  } catch (const std::exception& e) {
    onError(e);
  }
}

void TfHelp::FormCreate(const std::string& appDir) {
  mHelp->setPlainText(ReadTextFileLines(appDir + "help.txt"));
}

}  // namespace kelta

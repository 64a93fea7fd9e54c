#include "console/uHelp.h"

#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace kelta {

QString ReadTextFileLines(const std::string& path) {
  // Plain reads, so that a failing read (a folder in the file's place, an I/O error) is
  // reported with its errno instead of passing for an empty file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(err));
  }
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      ::close(fd);
      throw std::runtime_error("Cannot read file \"" + path + "\". " + std::strerror(err));
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  QString text = QString::fromUtf8(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
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

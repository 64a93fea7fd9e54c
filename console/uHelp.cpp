#include "console/uHelp.h"

#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kelta {

QString ReadTextFileLines(const std::string& path)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw std::runtime_error("Cannot open file \"" + path + "\". " +
                                 (err ? std::strerror(err) : "Unknown error"));
    }
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad())
        throw std::runtime_error("Cannot read file \"" + path + "\".");
    QString text = QString::fromUtf8(all.str());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

TfHelp::TfHelp(QWidget* owner, const std::string& appDir,
               const std::function<void(const std::exception&)>& onError)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
{
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

void TfHelp::FormCreate(const std::string& appDir)
{
    mHelp->setPlainText(ReadTextFileLines(appDir + "help.txt"));
}

} // namespace kelta

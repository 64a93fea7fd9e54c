// kelta-appicon OUTDIR: the console's icon as the PNG files a desktop looks up, drawn by the
// same code as the window's icon: OUTDIR/<n>x<n>/apps/kelta-display.png for the hicolor theme's
// sizes 16 to 256, and 512 for large views (software centres).
// Exit codes: 0 written, 1 a file could not be written, 2 wrong usage.

#include "console/qt/AppIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelta-appicon OUTDIR\n");
    return 2;
  }
  // Drawing needs no screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
    const QString file = dir + QStringLiteral("/kelta-display.png");
    if (!QDir().mkpath(dir) || !kelta::AppIconImage(size).save(file, "PNG")) {
      std::fprintf(stderr, "kelta-appicon: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}

// kelta-dialgen OUTDIR
// Draws img/arrow2.PNG (the needle) and img/Mode0.png .. img/Mode3.png (the dials) into
// OUTDIR. The pictures are committed; run this again only to change them.
#include "tools/dialgen/DialArt.h"
#include "tools/dialgen/NeedleArt.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

using namespace kelta::dialgen;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelta-dialgen OUTDIR\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir out(QString::fromLocal8Bit(argv[1]));

  struct DialFile {
    const char* Name;
    DialStyle Style;
  };
  // Modes 0 and 1 negate the reading before turning the needle, so their numbers run
  // clockwise; modes 0 and 2 are the full-turn sensors.
  const DialFile dials[] = {
      {"Mode0.png", {true, true}},
      {"Mode1.png", {false, true}},
      {"Mode2.png", {true, false}},
      {"Mode3.png", {false, false}},
  };
  bool ok = DrawNeedle().save(out.filePath("arrow2.PNG"), "PNG");
  for (const DialFile& d : dials) ok = DrawDial(d.Style).save(out.filePath(d.Name), "PNG") && ok;
  if (!ok) {
    std::fprintf(stderr, "Cannot write the pictures into \"%s\"\n", argv[1]);
    return 1;
  }
  return 0;
}

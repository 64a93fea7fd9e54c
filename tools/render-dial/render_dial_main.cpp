// kelta-render-dial --dial FILE --angle A --out PNG [--needle FILE]
// Renders the dial view as the console shows it: white, the needle turned by A degrees
// (positive: counter-clockwise, as the console passes it after its mode sign), the dial
// blended over it. The needle comes from img/arrow2.PNG in the current folder unless
// --needle names another. The view is written opaque, as the screen shows it.
// Exit codes: 0 written, 1 a picture failed to load or the output could not be written,
// 2 wrong usage.
#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngWriter.h"

#include <QApplication>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

using namespace kelta::gfx;

namespace {

struct TOptions {
  std::string Dial, Out, Needle = kNeedleFileName;
  float Angle = 0;
};

bool ParseAngle(const char* Text, float& Angle) {
  char* End = nullptr;
  errno = 0;
  const float V = std::strtof(Text, &End);
  if (End == Text || *End != '\0' || errno == ERANGE || !std::isfinite(V)) return false;
  Angle = V;
  return true;
}

bool Parse(int argc, char** argv, TOptions& O) {
  bool HaveAngle = false;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    if (I + 1 >= argc) return false;
    const char* V = argv[++I];
    if (A == "--dial")
      O.Dial = V;
    else if (A == "--out")
      O.Out = V;
    else if (A == "--needle")
      O.Needle = V;
    else if (A == "--angle" && ParseAngle(V, O.Angle))
      HaveAngle = true;
    else
      return false;
  }
  return HaveAngle && !O.Dial.empty() && !O.Out.empty();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions O;
  if (!Parse(argc, argv, O)) {
    std::fprintf(stderr,
                 "usage: kelta-render-dial --dial FILE --angle A --out PNG [--needle FILE]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  try {
    TImage32 Dst, Src, ivBGR;
    TDialComposer Composer({Dst, Src, ivBGR}, O.Needle);
    Composer.LoadDialImages(O.Dial);
    Composer.DrawDial(O.Angle);
    Dst.ComposeBuffer();
    TBitmap32 Frame;
    Frame.CopyFrom(Dst.Buffer());
    // The screen copy ignores alpha; so does this picture of it.
    Frame.ResetAlpha();
    SavePngFile(Frame, O.Out);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
  return 0;
}

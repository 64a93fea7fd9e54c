// kelta-render-dial --dial FILE --angle A --out PNG [--needle FILE] [--mode M]
// Renders the dial view as the console shows it: white, the needle turned by A degrees
// (positive: counter-clockwise, as the console passes it after its mode sign), the dial
// blended over it, and the seven-segment readout showing A on top. With --mode, A is the
// sensor's reading instead: the readout shows it as received and the needle turns as the
// console turns it for direction mode M (the other way in modes "0" and "1"). The needle
// comes from img/arrow2.PNG in the current folder unless --needle names another. The view
// is written opaque, as the screen shows it. No window system: the same picture on every system.
// Exit codes: 0 written, 1 a picture failed to load or the output could not be written,
// 2 wrong usage.
#include "graphics/dial/DialFrame.h"
#include "graphics/png/PngWriter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <optional>
#include <string>

using namespace kelta::gfx;

namespace {

struct TOptions {
  std::string Dial, Out, Needle = kNeedleFileName;
  double Angle = 0;
  std::optional<std::string> Mode;
};

bool ParseAngle(const char* Text, double& Angle) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(Text, &end);
  // The needle takes it as a float: it must be one.
  if (end == Text || *end != '\0' || errno == ERANGE || !std::isfinite(v) ||
      std::abs(v) > std::numeric_limits<float>::max())
    return false;
  Angle = v;
  return true;
}

bool Parse(int argc, char** argv, TOptions& O) {
  bool haveAngle = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    if (a == "--dial")
      O.Dial = v;
    else if (a == "--out")
      O.Out = v;
    else if (a == "--needle")
      O.Needle = v;
    else if (a == "--mode")
      O.Mode = v;
    else if (a == "--angle" && ParseAngle(v, O.Angle))
      haveAngle = true;
    else
      return false;
  }
  return haveAngle && !O.Dial.empty() && !O.Out.empty();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: kelta-render-dial --dial FILE --angle A --out PNG [--needle FILE] "
                 "[--mode M]\n");
    return 2;
  }
  try {
    DialFrame frame(o.Needle);
    frame.LoadDialImages(o.Dial);
    if (o.Mode)
      frame.ShowAngle(o.Angle, *o.Mode);
    else
      frame.ShowAngle(o.Angle);
    SavePngFile(frame.Compose(), o.Out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

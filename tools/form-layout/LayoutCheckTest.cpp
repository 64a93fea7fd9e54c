// The end-to-end test's measure of "the same controls in the same places", on a real screenshot
// of the Qt console (connected and after "#READ"/"#STOP", as the end-to-end test shoots it).

#include "tools/form-layout/LayoutCheck.h"

#include "graphics/png/PngDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>

namespace kelta {
namespace {

GreyPicture Screenshot() {
  const char* source = std::getenv("KELTA_SOURCE_DIR");
  return GreyOf(gfx::ReadPngFile(std::string(source ? source : ".") +
                                 "/tests/data/console-qt-connected.png"));
}

std::set<std::string> Placed(const GreyPicture& picture) {
  std::set<std::string> names;
  for (const Placement& p : CheckPlacement(picture)) {
    if (p.placed) names.emplace(p.name);
  }
  return names;
}

// Moved right by `dx` pixels, the uncovered strip grey.
GreyPicture Shifted(const GreyPicture& picture, int dx) {
  GreyPicture moved = picture;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      moved.pixels[static_cast<size_t>(y) * picture.width + x] =
          static_cast<std::uint8_t>(x < dx ? 128 : picture.At(x - dx, y));
    }
  }
  return moved;
}

TEST(LayoutCheck, TheQtWindowShowsItsControlsWhereTheTablePutsThem) {
  const GreyPicture shot = Screenshot();
  ASSERT_GE(shot.width, kFormWidth);
  ASSERT_GE(shot.height, kFormHeight);
  const std::set<std::string> placed = Placed(shot);
  // Controls nested two and three deep, the list and the group boxes.
  for (const char* name : {"btREAD", "btStop", "eInterval", "ed360Send3", "bt360Send3", "Memo1",
                           "GroupBox1", "GroupBox2", "lbeVersion", "btHelp"}) {
    EXPECT_TRUE(placed.count(name)) << name;
  }
  // Connected: the connect panel with the port box and Connect is hidden.
  for (const char* name : {"Panel2", "ePortNo", "Button3"})
    EXPECT_FALSE(placed.count(name)) << name;
  EXPECT_GE(placed.size(), 30u);
}

TEST(LayoutCheck, ControlsOffTheirPlaceAreNotCounted) {
  const GreyPicture shot = Screenshot();
  const size_t inPlace = Placed(shot).size();
  EXPECT_GE(Placed(Shifted(shot, 1)).size(), inPlace - 2);  // within the slack
  EXPECT_LT(Placed(Shifted(shot, 6)).size(), inPlace / 2);
  GreyPicture blank = shot;
  std::fill(blank.pixels.begin(), blank.pixels.end(), std::uint8_t{230});
  EXPECT_TRUE(Placed(blank).empty());
}

}  // namespace
}  // namespace kelta

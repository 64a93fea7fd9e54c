#pragma once
// The application's icon as a colour at each point, with no system calls: the window's icon
// (AppIcon.cpp) and the icon file built into the program for Explorer, the Start menu and the
// installer (appicon_ico_main.cpp, run on the build machine) are the same drawing.

#include <cstdint>

namespace kelta::win32 {

// The icon's colour at (x, y) of a 64-unit square, as 0xAARRGGBB (the same drawing as the Qt
// console's icon: a light face with a dark rim and ticks, the needle at 60 degrees, a hub).
std::uint32_t IconPixel(double x, double y);

}  // namespace kelta::win32

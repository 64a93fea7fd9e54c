#pragma once

#include <QIcon>
#include <QImage>

namespace kelta {

// The window's icon: a dial with a needle, drawn at start in the sizes window managers ask for.
QIcon AppIcon();

// The same dial, size x size pixels with a transparent background: the installed icons
// (kelta-appicon) are these pictures.
QImage AppIconImage(int size);

}  // namespace kelta

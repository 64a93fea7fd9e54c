#pragma once

#include <QIcon>

namespace kelta {

// The window's icon: a dial with a needle, drawn at start in the sizes window managers ask for.
QIcon AppIcon();

}  // namespace kelta

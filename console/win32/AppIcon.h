#pragma once
// The application's icon, drawn rather than loaded: a dial with its scale and a red needle.

#include <windows.h>

namespace kelta::win32 {

// An icon `size` pixels square; the caller destroys it (DestroyIcon).
HICON MakeAppIcon(int size);

}  // namespace kelta::win32

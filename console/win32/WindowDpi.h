#pragma once
// The density of the screen a window is on, and the frame around a client area at a density.
// Through the calls Windows 10 brought for screens of different densities where the system has
// them; elsewhere (Windows 7 and 8) the system's one density, so the program still starts
// there.

#include <windows.h>

namespace kelta::win32 {

// The DPI of the screen `window` is on; with no window, the system's (the main screen's).
int WindowDpi(HWND window);

// The window rectangle (its top-left at 0, 0 less the frame) whose client area is
// width x height with the given styles at `dpi`: the frame and title bar measured at that DPI.
RECT FrameForClient(int width, int height, DWORD style, DWORD exStyle, int dpi);

}  // namespace kelta::win32

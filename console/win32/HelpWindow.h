#pragma once
// The help window: a window of its own showing "help.txt" from beside the program in a
// read-only list of lines, independent of the main window once open. GUI thread only.

#include <windows.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <string>

namespace kelta::win32 {

// Bytes of the help file shown at most; a longer file is cut after its last whole line.
inline constexpr size_t kHelpReadLimit = size_t{4} << 20;

// The text of a UTF-8 file with line ends as an edit control wants them. Of a file longer
// than `limit` bytes only the lines within the first `limit` bytes, and a line saying so.
// Raises std::runtime_error naming the file when it cannot be opened or read.
std::wstring ReadHelpText(const std::string& path, size_t limit = kHelpReadLimit);

// Opens a new help window owned by `owner` with the file at `path`; a file that cannot be read
// goes to onError and the window opens empty. Its size is the one laid out for 96 DPI times
// dpi / 96 (the owner's screen's). Returns the window.
HWND OpenHelpWindow(HINSTANCE instance, HWND owner, const std::string& path, HFONT font,
                    const std::function<void(const std::exception&)>& onError, int dpi = 96);

}  // namespace kelta::win32

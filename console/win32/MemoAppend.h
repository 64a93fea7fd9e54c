#pragma once
// Appending to a multi-line edit as an editor's list does: the operator's selection and the
// lines they look at stay where they are while lines arrive; only a list showing its last line
// follows the new ones, as the list always did. GUI thread only.

#include <windows.h>

#include <string>

namespace kelta::win32 {

// Appends `lines` (CR LF between lines, none at the end) to `memo` as new lines, then cuts the
// oldest so that at most lineLimit remain. A selection (or a caret) anywhere but at the end
// stays on the same characters, moved with the cut and shortened by it where it began in the
// lines cut; the first line shown stays the same line unless the list showed its last one,
// which then shows the newest line, scrolled back to the start of the lines.
void AppendKeepingView(HWND memo, const std::wstring& lines, int lineLimit);

}  // namespace kelta::win32

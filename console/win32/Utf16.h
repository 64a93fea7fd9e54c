#pragma once
// The form's UTF-8 texts and the Windows API's UTF-16, and its line ends.

#include <string>

namespace kelta::win32 {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// "\n" line ends as an edit control wants them ("\r\n"), and back. A lone "\r" is kept.
std::wstring ToControlLines(const std::wstring& text);
std::wstring FromControlLines(const std::wstring& text);

}  // namespace kelta::win32

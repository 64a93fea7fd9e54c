#pragma once
// UTF-8 (the recorder's paths and names) to the UTF-16 the Windows API takes. Windows only.

#include <string>

namespace kelta::record {

std::wstring WideText(const std::string& text);

}  // namespace kelta::record

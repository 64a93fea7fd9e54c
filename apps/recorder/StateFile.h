#pragma once
// A small file of the recorder's state folder read whole and replaced whole, so that however a
// run ends the file holds one whole version: written beside it, put on the disk, renamed over
// it, the rename put on the disk.

#include <cstddef>
#include <optional>
#include <string>

#include "apps/recorder/RecordSystem.h"

namespace kelta::record {

// The whole of name in the folder, at most maxBytes + 1 bytes of it (so a longer one shows);
// nullopt when it is not there. Throws std::system_error when it cannot be read, UnsafeState
// when it is not the user's regular file.
std::optional<std::string> ReadStateFile(const StateFolder& folder, const char* name,
                                         size_t maxBytes);
// Replaces name's content with text, through temp beside it. 0 or the errno of the failure
// (name unchanged then).
int ReplaceStateFile(const StateFolder& folder, const char* name, const char* temp,
                     const std::string& text);

}  // namespace kelta::record

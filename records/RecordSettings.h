#pragma once
// Where recordings go: the operator's choice, kept in a small settings file of the console's
// own beside the executable ("Recording.ini": one line "Folder=<UTF-8 path>"), and the
// default, the user's documents folder with a sub-folder "KELTA". "UserSet.dat" is never
// touched for this. GUI thread only.

#include <string>

namespace kelta {

inline constexpr const char* kRecordSettingsFileName = "Recording.ini";

// The user's documents folder, UTF-8, without a trailing separator: on Linux
// $XDG_DOCUMENTS_DIR, else $HOME/Documents; on Windows the Documents known folder.
// DocumentsFolder_linux.cpp and DocumentsFolder_win32.cpp hold the two systems' ways.
std::string DocumentsFolder();

// DocumentsFolder() + "/KELTA" ("\\KELTA" on Windows).
std::string DefaultRecordFolder();

// The folder stored in dir + "Recording.ini" (dir ends with its separator); the default when
// the file is missing, unreadable or names none.
std::string LoadRecordFolder(const std::string& dir);
// Replaces dir + "Recording.ini"; EInOutError when that fails.
void SaveRecordFolder(const std::string& dir, const std::string& folder);

}  // namespace kelta

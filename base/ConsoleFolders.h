#pragma once
// Where the console's files live. A portable copy (the build folder, an unpacked zip) keeps
// them beside the executable, as it always did. An installed program cannot write there
// (/usr/bin, Program Files) or must not (its setup program removes that folder): its own files
// go to the user's data folder instead, and the read-only ones ("help.txt", img/) come from the
// installed data folder <prefix>/share/kelta, or from beside it when its installer put them there.
// Every file of the console, and the simulator's port links, are found through ConsoleFoldersFor.

#include <string>

namespace kelta {

struct ConsoleFolders {
  // "UserSet.dat", "LogFile.Log", "Recording.ini" and the port map (ports/): written.
  std::string files;
  // "help.txt" and the dial pictures (img/): only read.
  std::string data;
};

// Whether a file can be made in dir (with its trailing separator): a probe file is created
// and removed, so read-only mounts, permissions and access lists all count, and root's
// licence to write past permissions too.
bool FolderWritable(const std::string& dir);

// The user's data folder for the console, with its trailing separator:
//   Linux: $XDG_DATA_HOME/kelta/ ($XDG_DATA_HOME only when absolute), else
//   $HOME/.local/share/kelta/ Windows: %LOCALAPPDATA%\KELTA\ .
// Empty when the environment names no such folder. Not made here.
std::string UserDataFolder();

// The file a setup program writes beside the executable it installed (the Windows installer
// does): that folder is the program's, never the user's, even where the user may write in it
// (a per-user installation in %LOCALAPPDATA%\Programs).
inline constexpr char kInstalledMarker[] = "installed.txt";

// The rule, for an executable folder exeDir (with its trailing separator; empty: the current
// folder) and a user data folder userDir (as UserDataFolder gives it). exeDir is an
// installation when it holds kInstalledMarker (its help and pictures beside it), or when it has
// no "help.txt" but exeDir "../share/kelta/help.txt" exists.
//   exeDir empty, or writable and no installation -> files and data both exeDir (as before);
//   otherwise files = userDir, made with its parents when missing; exeDir when userDir is
//   empty or cannot be made, so the files' own failures are reported as they always were;
//   data = exeDir "../share/kelta/" for an installation with a shared folder, else exeDir.
ConsoleFolders ChooseConsoleFolders(const std::string& exeDir, const std::string& userDir);

// ChooseConsoleFolders(exeDir, UserDataFolder()).
ConsoleFolders ConsoleFoldersFor(const std::string& exeDir);

}  // namespace kelta

// The recorder's state folder on Windows (see RecordSystem.h): held open for the recorder's
// lifetime without sharing its deletion, so it cannot be renamed or removed under it, and its
// files opened inside it. A link (a reparse point: symbolic link or junction) as the folder or
// as one of its files is refused, never followed. Who may write there is the folder's access
// list: the default one, below %LOCALAPPDATA%, is the user's alone.
#include <io.h>
#include <windows.h>

#include <fcntl.h>
#include <cerrno>
#include <string>
#include <system_error>

#include "apps/recorder/RecordSystem.h"
#include "apps/recorder/WideText_win32.h"

namespace kelta::record {

namespace {

constexpr char kWhy[] =
    "refused: a link could lead the recorder's writing elsewhere, or hand it readings that are "
    "not its own";

[[noreturn]] void Throw(DWORD error, const std::string& what) {
  throw std::system_error(static_cast<int>(error), std::system_category(), what);
}

// Each missing folder on the way to path (which ends in a separator). A step that cannot be
// made is left to the opening of the last one to report.
void MakeFolders(const std::wstring& path) {
  for (size_t at = path.find_first_of(L"\\/"); at != std::wstring::npos;
       at = path.find_first_of(L"\\/", at + 1)) {
    if (at == 0 || path[at - 1] == L':' || path[at - 1] == L'\\' || path[at - 1] == L'/') {
      continue;  // a root, a drive, or the start of a network name
    }
    ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
}

// A regular file, not a link or folder: what the handle holds.
bool IsPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         ::GetFileType(file) == FILE_TYPE_DISK;
}

}  // namespace

StateFolder::StateFolder(const std::string& folder)
    : path_(EndsWithSeparator(folder) ? folder : folder + '\\') {
  const std::wstring wide = WideText(path_);
  MakeFolders(wide);
  // Opened as itself (a reparse point is not followed), its deletion not shared.
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) Throw(::GetLastError(), "cannot create or open " + path_);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    Throw(error, "cannot read " + path_);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::CloseHandle(handle);
    throw UnsafeState(path_ + " is a link: " + kWhy +
                      " (give the folder itself, one only this user can write)");
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::CloseHandle(handle);
    Throw(ERROR_DIRECTORY, path_ + " is not a folder");
  }
  fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
  if (fd_ < 0) {
    ::CloseHandle(handle);
    throw std::system_error(errno, std::generic_category(), "cannot open " + path_);
  }
}

StateFolder::~StateFolder() { _close(fd_); }

void StateFolder::Check(const std::string& name) const {
  const DWORD attributes = ::GetFileAttributesW(WideText(path_ + name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    Throw(error, "cannot read " + path_ + name);
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw UnsafeState(path_ + name + " is a link: " + kWhy + " (remove it)");
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw UnsafeState(path_ + name +
                      " is a folder, not a regular file (remove it, or choose another queue "
                      "folder)");
  }
}

int StateFolder::Open(const std::string& name, int flags) const {
  Check(name);
  const bool readOnly = (flags & (_O_WRONLY | _O_RDWR)) == 0;
  DWORD disposition = OPEN_EXISTING;
  if ((flags & _O_CREAT) != 0) disposition = (flags & _O_EXCL) != 0 ? CREATE_NEW : OPEN_ALWAYS;
  // Deletion shared, so the queue's compaction can rename a new file over an open one.
  const HANDLE file = ::CreateFileW(WideText(path_ + name).c_str(),
                                    readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS  ? EEXIST
                                                                           : EACCES;
    return -1;
  }
  if (!IsPlainFile(file)) {
    // A link or folder put there since the look.
    ::CloseHandle(file);
    throw UnsafeState(path_ + name + " is a link or not a regular file: " + kWhy + " (remove it)");
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                 _O_BINARY | (readOnly ? _O_RDONLY : _O_RDWR));
  if (fd < 0) ::CloseHandle(file);
  return fd;
}

// Renames are written through (MOVEFILE_WRITE_THROUGH); a folder has no buffers of its own to
// flush on Windows.
int StateFolder::Sync() const { return 0; }

}  // namespace kelta::record

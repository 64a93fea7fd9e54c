// The disk queue's POSIX file calls made from the Windows API (see PosixFiles_win32.h).
#include "apps/recorder/PosixFiles_win32.h"
#include "apps/recorder/WideText_win32.h"

#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kelta::record {

namespace {

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

int Failed(DWORD error) {
  errno = ErrnoOf(error);
  return -1;
}

HANDLE HandleOf(int fd) {
  const intptr_t handle = _get_osfhandle(fd);
  return handle == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED At(off_t offset) {
  OVERLAPPED at{};
  const auto where = static_cast<uint64_t>(offset);
  at.Offset = static_cast<DWORD>(where);
  at.OffsetHigh = static_cast<DWORD>(where >> 32);
  return at;
}

// One call moves at most this much; the callers loop until all is done.
DWORD Part(size_t size) { return static_cast<DWORD>(std::min<size_t>(size, 1u << 30)); }

// The full path of name in the folder the descriptor holds open; empty (errno set) when the
// descriptor is no folder's or the name is not a plain one.
std::wstring InFolder(int dirFd, const char* name) {
  const HANDLE folder = HandleOf(dirFd);
  if (folder == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return {};
  }
  const std::wstring leaf = WideText(name);
  if (leaf.empty() || leaf.find_first_of(L"\\/:") != std::wstring::npos) {
    errno = EINVAL;
    return {};
  }
  std::vector<wchar_t> path(MAX_PATH + 1);
  DWORD size = ::GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (size >= path.size()) {
    path.resize(size + 1);
    size = ::GetFinalPathNameByHandleW(folder, path.data(), static_cast<DWORD>(path.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (size == 0 || size >= path.size()) {
    Failed(::GetLastError());
    return {};
  }
  std::wstring full(path.data(), size);
  if (full.back() != L'\\') full += L'\\';
  return full + leaf;
}

}  // namespace

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
  const HANDLE file = HandleOf(fd);
  if (file == INVALID_HANDLE_VALUE) return Failed(ERROR_INVALID_HANDLE);
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  if (!::ReadFile(file, data, Part(size), &done, &at)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_HANDLE_EOF ? 0 : Failed(error);
  }
  return static_cast<ssize_t>(done);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  const HANDLE file = HandleOf(fd);
  if (file == INVALID_HANDLE_VALUE) return Failed(ERROR_INVALID_HANDLE);
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  if (!::WriteFile(file, data, Part(size), &done, &at)) return Failed(::GetLastError());
  return static_cast<ssize_t>(done);
}

int fdatasync(int fd) {
  const HANDLE file = HandleOf(fd);
  if (file == INVALID_HANDLE_VALUE) return Failed(ERROR_INVALID_HANDLE);
  return ::FlushFileBuffers(file) ? 0 : Failed(::GetLastError());
}

int unlinkat(int dirFd, const char* name, int flags) {
  if (flags != 0) {
    errno = EINVAL;
    return -1;
  }
  const std::wstring path = InFolder(dirFd, name);
  if (path.empty()) return -1;
  return ::DeleteFileW(path.c_str()) ? 0 : Failed(::GetLastError());
}

int renameat(int fromDirFd, const char* from, int toDirFd, const char* to) {
  const std::wstring source = InFolder(fromDirFd, from);
  const std::wstring target = InFolder(toDirFd, to);
  if (source.empty() || target.empty()) return -1;
  // With POSIX semantics (Windows 10 and later) a file still open elsewhere is replaced as on
  // Linux; the handle is the name's own, never a link's target.
  const HANDLE file = ::CreateFileW(source.c_str(), DELETE | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(::GetLastError());
  const size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<unsigned char> info(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
  const DWORD flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  std::memcpy(info.data(), &flags, sizeof flags);  // the Flags member, where ReplaceIfExists is
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(rename->FileName, target.data(), nameBytes);
  // FileRenameInfoEx, which the headers name for Windows 10 builds only.
  const auto renameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  const bool renamed = ::SetFileInformationByHandle(file, renameInfoEx, info.data(),
                                                    static_cast<DWORD>(info.size())) != 0;
  ::CloseHandle(file);
  if (renamed) return 0;
  // Earlier systems: replaced when the file there is not open.
  if (::MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return Failed(::GetLastError());
}

ssize_t getrandom(void* data, size_t size, unsigned int flags) {
  if (flags != 0) {
    errno = EINVAL;
    return -1;
  }
  const auto part = static_cast<ULONG>(Part(size));
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, static_cast<PUCHAR>(data), part,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    errno = EIO;
    return -1;
  }
  return static_cast<ssize_t>(part);
}

}  // namespace kelta::record

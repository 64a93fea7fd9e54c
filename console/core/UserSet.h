#pragma once
// "UserSet.dat": the 61-byte settings record, stored byte for byte as the whole file.
// GUI thread only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelta {

inline constexpr size_t kUserSetSize = 61;
inline constexpr const char* kUserSetFileName = "UserSet.dat";

// Length-prefixed text fields: a length byte, then room for `capacity` characters.
enum class UserSetField { PortName, SendCount, SendInterval, SensorID, Spare1, Spare2, Spare3 };

struct UserSetFieldLayout {
  size_t offset;
  size_t capacity;
};
UserSetFieldLayout LayoutOf(UserSetField field);

struct TUserSet {
  std::array<uint8_t, kUserSetSize> bytes{};  // zero at start, as the file format expects

  // Writes the length byte and the characters, cut to the capacity. Bytes after the new
  // length keep what they held (an earlier, longer value) and go to the file as they are.
  void Store(UserSetField field, std::string_view text);
  // The length byte's number of characters; a length above the capacity (a damaged or
  // foreign file) is taken as the capacity.
  std::string Read(UserSetField field) const;
};

// Reads dir + "UserSet.dat" (dir ends with '/'). When the file is missing, the defaults
// (COM1, 1, 200, 1; only length bytes and characters are touched) are stored and saved.
// Throws EInOutError on any failed file step and for a file shorter than 61 bytes; the
// record is then unchanged and no handle stays open.
void LoadUserSet(TUserSet& record, const std::string& dir);

// Writes the 61 bytes to dir + "UserSet.dat" (created or truncated), then LoadUserSet.
void SaveUserSet(TUserSet& record, const std::string& dir);

// The record as read from bytes (the reader LoadUserSet uses once the file is open). Throws
// EInOutError naming `source` when fewer than 61 bytes are given; extra bytes are ignored.
TUserSet UserSetFromBytes(std::string_view bytes, const std::string& source);

}  // namespace kelta

// The settings reader fed arbitrary file contents through a real file, then the field rules
// and a save round trip.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Errors.h"
#include "console/core/UserSet.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

const std::string& Folder() {
  // Removed with the static objects when the fuzzer ends.
  static const kelta::test::TempDir folder;
  return folder.Path();
}

constexpr kelta::UserSetField kFields[] = {
    kelta::UserSetField::PortName,     kelta::UserSetField::SendCount,
    kelta::UserSetField::SendInterval, kelta::UserSetField::SensorID,
    kelta::UserSetField::Spare1,       kelta::UserSetField::Spare2,
    kelta::UserSetField::Spare3};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = Folder();
  const std::string path = dir + kelta::kUserSetFileName;
  const std::string content(reinterpret_cast<const char*>(data), size);
  kelta::test::WriteFile(path, content);

  kelta::TUserSet record;
  record.Store(kelta::UserSetField::PortName, "COM9");
  const kelta::TUserSet before = record;
  try {
    kelta::LoadUserSet(record, dir);
  } catch (const kelta::EInOutError&) {
    Check(size < kelta::kUserSetSize, "only a short file fails");
    Check(record.bytes == before.bytes, "failed load leaves the record");
    return 0;
  }
  Check(size >= kelta::kUserSetSize, "short file is refused");
  Check(std::memcmp(record.bytes.data(), data, kelta::kUserSetSize) == 0, "record is the file");

  for (const kelta::UserSetField field : kFields) {
    const std::string text = record.Read(field);
    Check(text.size() <= kelta::LayoutOf(field).capacity, "field within its capacity");
    kelta::TUserSet copy = record;
    copy.Store(field, text);
    Check(copy.Read(field) == text, "stored text reads back");
  }

  kelta::SaveUserSet(record, dir);
  const std::string saved = kelta::test::ReadFile(path);
  Check(saved.size() == kelta::kUserSetSize &&
            std::memcmp(saved.data(), record.bytes.data(), kelta::kUserSetSize) == 0,
        "save writes the record byte for byte");
  return 0;
}

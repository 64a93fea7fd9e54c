// The receive decoder over arbitrary bytes cut into arbitrary chunks, and the angle reader
// checked against the C library's reading in the "C" locale.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/core/AngleText.h"
#include "console/core/RxDecoder.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

void CheckAngle(const std::string& text) {
  const double value = kelta::AngleFromText(text);
  Check(std::isfinite(value), "angle is finite");
  if (value == 0.0) return;
  // A non-zero result must be what strtod reads from the whole trimmed text.
  const size_t first = text.find_first_not_of(' ');
  const size_t last = text.find_last_not_of(' ');
  const std::string trimmed = text.substr(first, last - first + 1);
  char* end = nullptr;
  const double expected = std::strtod(trimmed.c_str(), &end);
  Check(end == trimmed.c_str() + trimmed.size(), "whole text is a number");
  Check(expected == value, "same value as strtod");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  kelta::RxDecoder decoder;
  size_t lines = 0;
  const kelta::RxSink sink{
      [&](const std::string& line) {
        ++lines;
        Check(line.size() <= kelta::RxDecoder::kRxBufferCap, "line within the cap");
        Check(line.find_first_of(std::string("\r\n\x02\x17", 4)) == std::string::npos,
              "no control bytes in a line");
        Check(decoder.RxBuffer().empty(), "line has left the buffer");
      },
      [&](double value) { Check(std::isfinite(value), "angle is finite"); }};
  while (input.remaining_bytes() > 0) {
    const size_t chunkSize = input.ConsumeIntegralInRange<size_t>(0, 64);
    if (chunkSize == 0 && input.ConsumeBool()) decoder.ClearRxBuffer();
    const std::string chunk = input.ConsumeBytesAsString(chunkSize);
    const size_t before = decoder.RxBuffer().size();
    decoder.Feed(chunk, sink);
    Check(decoder.RxBuffer().size() <= kelta::RxDecoder::kRxBufferCap, "buffer within the cap");
    Check(decoder.RxBuffer().size() <= before + chunk.size(), "buffer grows only by input");
  }
  (void)lines;
  CheckAngle(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}

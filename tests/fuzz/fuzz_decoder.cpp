// The receive decoder over arbitrary bytes cut into arbitrary chunks, the decoder over a
// well-formed sensor stream cut and cleared anywhere, and the angle reader checked against the
// C library's reading in the "C" locale.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/AngleText.h"
#include "protocol/RxDecoder.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

void CheckAngle(const std::string& text) {
  const std::optional<double> angle = kelta::AngleFromText(text);
  if (!angle) return;
  const double value = *angle;
  Check(std::isfinite(value), "angle is finite");
  // A result must be what strtod reads from the whole trimmed text.
  const size_t first = text.find_first_not_of(' ');
  const size_t last = text.find_last_not_of(' ');
  const std::string trimmed = text.substr(first, last - first + 1);
  char* end = nullptr;
  const double expected = std::strtod(trimmed.c_str(), &end);
  Check(end == trimmed.c_str() + trimmed.size(), "whole text is a number");
  Check(expected == value, "same value as strtod");
}

// A well-formed sensor stream (frames "STX text ETB 2 characters $" and "OK" lines) cut into
// any chunks, with RxBuffer cleared between any of them: every reading shown is one the
// sensor sent, in order, and without a clear every one of them is shown.
void CheckSensorStream(const uint8_t* data, size_t size) {
  FuzzedDataProvider plan(data, size);
  std::string stream;
  std::vector<std::string> sent;
  const int items = plan.ConsumeIntegralInRange<int>(0, 40);
  for (int i = 0; i < items; ++i) {
    if (plan.ConsumeBool()) {
      stream += "OK\r\n";
      continue;
    }
    const int tenths = plan.ConsumeIntegralInRange<int>(-3600, 3600);
    std::string text = std::to_string(tenths / 10) + "." + std::to_string(std::abs(tenths % 10));
    if (tenths < 0 && tenths > -10) text = "-" + text;
    stream += "\x02" + text + "\x17" + "3A$";
    sent.push_back(text);
  }
  kelta::RxDecoder decoder;
  std::string lastLine;
  std::vector<std::string> shown;
  const kelta::RxSink sink{[&](const std::string& line) { lastLine = line; },
                           [&](double) { shown.push_back(lastLine); }};
  bool cleared = false;
  for (size_t at = 0; at < stream.size();) {
    const size_t length =
        plan.remaining_bytes() > 0 ? plan.ConsumeIntegralInRange<size_t>(1, 32) : stream.size();
    decoder.Feed(std::string_view(stream).substr(at, length), sink);
    at += length;
    if (plan.ConsumeBool()) {
      decoder.ClearRxBuffer();
      cleared = true;
    }
  }
  size_t next = 0;
  for (const std::string& reading : shown) {
    while (next < sent.size() && sent[next] != reading) ++next;
    Check(next < sent.size(), "every reading shown was sent, in order");
    ++next;
  }
  if (!cleared) Check(shown == sent, "without a clear every reading is shown");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckSensorStream(data, size);
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

#include "console/core/RxDecoder.h"

#include <exception>

#include "console/core/AngleText.h"

namespace kelta {

namespace {
constexpr unsigned char kStx = 0x02;
constexpr unsigned char kLf = 0x0A;
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kEtb = 0x17;
constexpr unsigned char kFrameEnd = '$';
}  // namespace

std::string RxDecoder::TakeBuffer() {
  std::string line;
  line.swap(buffer_);
  return line;
}

void RxDecoder::Feed(std::string_view chunk, const RxSink& sink) {
  // Kept exactly as the sensors were built against: the running XOR only ever takes in the
  // ETBs themselves, so a "$" passes with zero or an odd number of ETBs before it in this
  // chunk and fails after an even number. A failed frame's text stays and leads the next line.
  unsigned char running = 0;
  size_t lastEtb = 0;  // 1-based position in the chunk, 0: none yet
  for (size_t i = 1; i <= chunk.size(); ++i) {
    const auto byte = static_cast<unsigned char>(chunk[i - 1]);
    if (byte == kEtb) lastEtb = i;
    if (i <= lastEtb) running ^= byte;
    switch (byte) {
      case kStx:
      case kLf:
      case kEtb:
        break;
      case kCr:
        if (sink.deliverLine) sink.deliverLine(TakeBuffer());
        break;
      case kFrameEnd: {
        const bool passes =
            lastEtb == 0 || running == static_cast<unsigned char>(chunk[lastEtb - 1]);
        if (!passes) break;
        std::string line = TakeBuffer();
        line.resize(line.size() > 2 ? line.size() - 2 : 0);
        if (sink.deliverLine) sink.deliverLine(line);
        try {
          const double value = AngleFromText(line);
          if (sink.angleReceived) sink.angleReceived(value);
        } catch (const std::exception&) {
          // A reading that cannot be shown is dropped; the stream goes on.
        }
        break;
      }
      default:
        if (buffer_.size() >= kRxBufferCap) {
          std::string line = TakeBuffer();
          if (sink.deliverLine) sink.deliverLine(line);
        }
        buffer_.push_back(static_cast<char>(byte));
        break;
    }
  }
}

}  // namespace kelta

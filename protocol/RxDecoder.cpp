#include "protocol/RxDecoder.h"

#include <exception>
#include <optional>

#include "protocol/AngleText.h"

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

void RxDecoder::ClearRxBuffer() {
  // An empty buffer cuts nothing: the next text byte starts a line or frame of its own.
  // Clearing twice keeps the first cut.
  if (!buffer_.empty()) cut_ = true;
  buffer_.clear();
}

void RxDecoder::Feed(std::string_view chunk, const RxSink& sink) {
  // The block check is kept as the sensors were built against: the running XOR only ever
  // takes in the ETBs themselves, so a "$" passes with zero or an odd number of ETBs in its
  // frame and fails after an even number; a failed frame's text stays and leads the next line.
  // Both start again after every "$" and CR, so each frame of a chunk is checked on its own
  // (counting over the whole chunk failed every second frame when two came together). An ETB
  // of an earlier chunk is not counted, so such a frame passes.
  unsigned char running = 0;
  size_t lastEtb = 0;  // 1-based position in the chunk, 0: none in this frame yet
  for (size_t i = 1; i <= chunk.size(); ++i) {
    const auto byte = static_cast<unsigned char>(chunk[i - 1]);
    if (byte == kEtb) lastEtb = i;
    if (i <= lastEtb) running ^= byte;
    switch (byte) {
      case kStx:
        // A frame begins: what a clear left of the one before is not part of it.
        if (cut_) buffer_.clear();
        cut_ = false;
        break;
      case kLf:
      case kEtb:
        break;
      case kCr:
        running = 0;
        lastEtb = 0;
        cut_ = false;
        if (sink.deliverLine) sink.deliverLine(TakeBuffer());
        break;
      case kFrameEnd: {
        const bool passes =
            lastEtb == 0 || running == static_cast<unsigned char>(chunk[lastEtb - 1]);
        running = 0;
        lastEtb = 0;
        if (cut_) {
          // The tail of a frame whose head was cleared away: not a reading.
          cut_ = false;
          buffer_.clear();
          break;
        }
        if (!passes) {
          ++dropped_;
          break;
        }
        std::string line = TakeBuffer();
        line.resize(line.size() > 2 ? line.size() - 2 : 0);
        if (sink.deliverLine) sink.deliverLine(line);
        const std::optional<double> value = AngleFromText(line);
        if (!value) {
          ++dropped_;
          break;
        }
        try {
          if (sink.angleReceived) sink.angleReceived(*value);
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

#pragma once
// Cuts the received byte stream into reply lines (ended by CR) and data frames (ended by "$"
// with the ETB/XOR block check). Runs on the GUI thread only; not thread-safe. Feed may be
// re-entered from a callback (the buffer is shared, as the console's state is).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kelta {

struct RxSink {
  // The line or frame text has already left RxBuffer when a callback runs, so the callbacks
  // need not (and must not, for later bytes of the chunk) clear it.
  // Every line: reply lines and the text of accepted data frames. An exception leaves the
  // decoder consistent and ends Feed; the rest of that chunk is not decoded.
  std::function<void(const std::string& line)> deliverLine;
  // After deliverLine, for each accepted data frame whose text is a number, with that number.
  // A frame whose text is not a number is delivered as a line only, and counted as dropped:
  // it is not a reading. Exceptions from it are swallowed: a value that cannot be shown is
  // dropped and decoding goes on with the next byte.
  std::function<void(double value)> angleReceived;
};

class RxDecoder {
 public:
  // Longest text RxBuffer holds. A text byte arriving when it is full first delivers the
  // buffer as a reply line (as if CR had come), so nothing is lost and memory stays bounded
  // when a sender never sends CR or "$". Sensor lines are tens of characters.
  static constexpr size_t kRxBufferCap = 64 * 1024;

  // Decodes one chunk: all bytes of one receive notification. The block check counts the
  // ETBs of one frame: those since the last "$" or CR of this chunk (or its start).
  void Feed(std::string_view chunk, const RxSink& sink);

  const std::string& RxBuffer() const { return buffer_; }
  // Empties RxBuffer. Text thrown away here was the head of a line or frame whose tail is
  // still to come: until the next STX, CR or "$" the decoder treats what arrives as that tail,
  // and a "$" drops it instead of showing a reading the sensor never sent ("4" of "123.4").
  // A CR still delivers it, as a reply line.
  void ClearRxBuffer();

  // Data frames that gave no reading since the last reset: the block check failed (a "$"
  // that was not accepted), or the frame's text is not a number.
  uint64_t DroppedFrames() const { return dropped_; }
  void ResetDroppedFrames() { dropped_ = 0; }

 private:
  std::string TakeBuffer();

  std::string buffer_;
  bool cut_ = false;  // the text gathering now lost its head to ClearRxBuffer
  uint64_t dropped_ = 0;
};

}  // namespace kelta

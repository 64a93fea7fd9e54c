#pragma once
// Write queue of one open port: a fixed area allocated once, queued bytes always at its front.
// Not locked itself: the write thread's WriteLock guards it (see VaCommThreads.h).

#include <cstdint>
#include <memory>

namespace kelta {

class TVaCommBuffer {
 public:
  explicit TVaCommBuffer(std::uint32_t capacity);

  std::uint32_t Capacity() const { return capacity_; }
  std::uint32_t Size() const { return size_; }
  const std::uint8_t* Data() const { return data_.get(); }

  // The caller guarantees room (count <= Capacity() - Size()).
  void Append(const void* data, std::uint32_t count);
  // Drops the first count bytes (count <= Size()) and moves the rest to the front.
  void Consume(std::uint32_t count);

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::uint32_t capacity_;
  std::uint32_t size_ = 0;
};

}  // namespace kelta

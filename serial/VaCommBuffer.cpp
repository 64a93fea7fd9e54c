#include "serial/VaCommBuffer.h"

#include <cstring>

namespace kelta {

TVaCommBuffer::TVaCommBuffer(std::uint32_t capacity)
    : data_(new std::uint8_t[capacity == 0 ? 1 : capacity]), capacity_(capacity) {}

void TVaCommBuffer::Append(const void* data, std::uint32_t count) {
  if (count == 0) return;
  std::memcpy(data_.get() + size_, data, count);
  size_ += count;
}

void TVaCommBuffer::Consume(std::uint32_t count) {
  if (count > size_) count = size_;
  std::memmove(data_.get(), data_.get() + count, size_ - count);
  size_ -= count;
}

}  // namespace kelta

#pragma once
// Bytes this program holds through the global operator new, for tests that memory stays flat
// over many repetitions. Only a program that compiles HeapCounter.cpp among its sources counts
// (the file replaces operator new and delete there); C libraries calling malloc are not seen.
// Safe on any thread.

#include <cstddef>

namespace kelta::test {

// Bytes handed out by operator new and not deleted yet, as the allocator sized the blocks.
std::size_t HeapBytesInUse();

}  // namespace kelta::test

// A ByteAllocator over malloc that keeps the current and peak number of bytes
// handed out, so a benchmark can report what a decode needs at its worst.
#pragma once

#include <cstddef>

#include "heap_buffer.h"

class CountingAllocator {
public:
  CountingAllocator();

  const ByteAllocator& Allocator() const { return allocator_; }
  size_t Current() const { return current_; }
  size_t Peak() const { return peak_; }
  void ResetPeak() { peak_ = current_; }

private:
  static void* Allocate(void* context, size_t size);
  static void Release(void* context, void* block);

  ByteAllocator allocator_;
  size_t current_ = 0;
  size_t peak_ = 0;
};

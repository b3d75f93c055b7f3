// Heap blocks for payload decoding, from an allocator that may say no.
//
// The decoder needs up to three blocks at once that together can approach the
// size of a 32-bit address space (a declared size near 4 GiB asks for exactly
// that). operator new would end the stub's process on such a request, without
// the launcher's clean-up; these blocks come from an allocator that returns
// null instead, so the caller can report the failure and clean up normally.
#pragma once

#include <cstddef>
#include <cstdint>

// A source of heap blocks. `allocate` returns null when it cannot supply
// `size` bytes; `release` frees a block from `allocate` and accepts null.
// `context` is handed back unchanged to both.
struct ByteAllocator {
  void* (*allocate)(void* context, size_t size);
  void (*release)(void* context, void* block);
  void* context;
};

// The C run time's malloc and free. Lives for the whole process.
const ByteAllocator& SystemAllocator();

// Owns one block from a ByteAllocator and gives it back exactly once.
class HeapBuffer {
public:
  HeapBuffer() = default;
  ~HeapBuffer() { Reset(); }

  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;
  HeapBuffer(HeapBuffer&& other) noexcept;
  HeapBuffer& operator=(HeapBuffer&& other) noexcept;

  // Releases any block held, then takes a new one of `size` bytes (contents
  // undefined; a zero size still yields a valid, distinct block). False, with
  // the buffer empty, when the allocator refuses. `allocator` must outlive the
  // block.
  bool Allocate(const ByteAllocator& allocator, size_t size);

  // Gives the block back; the buffer is empty afterwards.
  void Reset();

  uint8_t* Data() { return data_; }
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  bool Empty() const { return data_ == nullptr; }

private:
  const ByteAllocator* allocator_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

#include "heap_buffer.h"

#include <cstdlib>

namespace {

void* MallocBlock(void*, size_t size) { return std::malloc(size); }
void FreeBlock(void*, void* block) { std::free(block); }

const ByteAllocator kSystemAllocator = {MallocBlock, FreeBlock, nullptr};

}  // namespace

const ByteAllocator& SystemAllocator() { return kSystemAllocator; }

HeapBuffer::HeapBuffer(HeapBuffer&& other) noexcept
    : allocator_(other.allocator_), data_(other.data_), size_(other.size_) {
  other.allocator_ = nullptr;
  other.data_ = nullptr;
  other.size_ = 0;
}

HeapBuffer& HeapBuffer::operator=(HeapBuffer&& other) noexcept {
  if (this != &other) {
    Reset();
    allocator_ = other.allocator_;
    data_ = other.data_;
    size_ = other.size_;
    other.allocator_ = nullptr;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

bool HeapBuffer::Allocate(const ByteAllocator& allocator, size_t size) {
  Reset();
  // malloc(0) may answer null, which would read as a refusal.
  void* block = allocator.allocate(allocator.context, size != 0 ? size : 1);
  if (block == nullptr) return false;
  allocator_ = &allocator;
  data_ = static_cast<uint8_t*>(block);
  size_ = size;
  return true;
}

void HeapBuffer::Reset() {
  if (data_ != nullptr) allocator_->release(allocator_->context, data_);
  allocator_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

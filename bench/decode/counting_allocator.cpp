#include "counting_allocator.h"

#include <cstdlib>
#include <cstring>

namespace {

// Each block carries its size in front, kept aligned for any type.
constexpr size_t kPrefix = alignof(std::max_align_t);

}  // namespace

CountingAllocator::CountingAllocator() : allocator_{Allocate, Release, this} {}

void* CountingAllocator::Allocate(void* context, size_t size) {
  if (size > SIZE_MAX - kPrefix) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kPrefix));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  auto* self = static_cast<CountingAllocator*>(context);
  self->current_ += size;
  if (self->current_ > self->peak_) self->peak_ = self->current_;
  return block + kPrefix;
}

void CountingAllocator::Release(void* context, void* block) {
  if (block == nullptr) return;
  unsigned char* start = static_cast<unsigned char*>(block) - kPrefix;
  size_t size;
  std::memcpy(&size, start, sizeof size);
  static_cast<CountingAllocator*>(context)->current_ -= size;
  std::free(start);
}

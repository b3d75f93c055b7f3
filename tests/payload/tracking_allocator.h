// A ByteAllocator for tests: remembers every request, can refuse one chosen
// request or anything over a byte limit, and counts the bytes still held.
#pragma once

#include <cstdlib>
#include <map>
#include <vector>

#include "heap_buffer.h"

class TrackingAllocator {
public:
  static constexpr size_t kNever = static_cast<size_t>(-1);

  // Refuses request number `failAt` (counted from 0), and any request that
  // would take the bytes held past `limit`.
  explicit TrackingAllocator(size_t failAt = kNever, size_t limit = kNever)
      : allocator_{Allocate, Release, this}, failAt_(failAt), limit_(limit) {}

  ~TrackingAllocator() {
    for (const auto& block : live_) std::free(block.first);
  }

  const ByteAllocator& Allocator() const { return allocator_; }
  const std::vector<size_t>& Requests() const { return requests_; }
  size_t Held() const { return held_; }
  size_t Peak() const { return peak_; }

private:
  static void* Allocate(void* context, size_t size) {
    auto* self = static_cast<TrackingAllocator*>(context);
    const size_t index = self->requests_.size();
    self->requests_.push_back(size);
    if (index == self->failAt_ || size > self->limit_ - self->held_) return nullptr;
    void* block = std::malloc(size);
    if (block == nullptr) return nullptr;
    self->live_[block] = size;
    self->held_ += size;
    if (self->held_ > self->peak_) self->peak_ = self->held_;
    return block;
  }

  static void Release(void* context, void* block) {
    if (block == nullptr) return;
    auto* self = static_cast<TrackingAllocator*>(context);
    auto found = self->live_.find(block);
    if (found == self->live_.end()) std::abort();  // not ours, or freed twice
    self->held_ -= found->second;
    self->live_.erase(found);
    std::free(block);
  }

  ByteAllocator allocator_;
  size_t failAt_;
  size_t limit_;
  std::vector<size_t> requests_;
  std::map<void*, size_t> live_;
  size_t held_ = 0;
  size_t peak_ = 0;
};

#include "payload_layout.h"

bool ReadFilteredLayout(const uint8_t* filtered, uint32_t size, FilteredLayout& layout) {
  if (size < kStreamHeaderSize) return false;
  layout.archiveSize = ReadLe32(filtered);
  uint64_t offset = kStreamHeaderSize;
  for (int stream = 0; stream < 4; ++stream) {
    const uint32_t streamSize = ReadLe32(filtered + 4 + 4 * stream);
    layout.streamOffset[stream] = static_cast<uint32_t>(offset);
    layout.streamSize[stream] = streamSize;
    // 64-bit sums of four 32-bit sizes cannot wrap.
    offset += streamSize;
    if (offset > size) return false;
  }
  return true;
}

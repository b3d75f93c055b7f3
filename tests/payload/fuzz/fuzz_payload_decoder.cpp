// libFuzzer target for payload decoding. The first input byte picks the
// entry point, so the fuzzer reaches the BCJ2 stage without first having to
// produce valid LZMA data:
//   even: the rest is a payload resource, decoded by DecodePayload;
//   odd:  the rest is a filtered archive (stream header and four streams),
//         checked by ReadFilteredLayout and decoded by DecodeBcj2Stage.
// Memory comes from an allocator limited to what a 32-bit stub could get in
// practice, so huge declared sizes take the refused-allocation path.
#include <cstdint>
#include <cstdlib>

#include "bcj2_stage.h"
#include "decode_payload.h"
#include "payload_layout.h"
#include "tracking_allocator.h"

namespace {

constexpr size_t kMemoryLimit = size_t{4} << 20;

void Require(bool condition) {
  if (!condition) std::abort();
}

void FuzzPayload(const uint8_t* data, uint32_t size) {
  TrackingAllocator allocator(TrackingAllocator::kNever, kMemoryLimit);
  {
    HeapBuffer archive;
    const int32_t result = DecodePayload(data, size, archive, allocator.Allocator());
    Require(result == kPayloadDecoded || result == kPayloadLzmaFailed || result == kPayloadBcj2Failed);
    Require((result == kPayloadDecoded) != archive.Empty());
    // Only the archive is still held.
    Require(allocator.Held() == (archive.Empty() ? 0 : (archive.Size() != 0 ? archive.Size() : 1)));
    if (result == kPayloadDecoded) {
      // The archive size comes from a stream header that the LZMA stage wrote
      // in full; touch every byte so ASan sees any read of unwritten memory.
      volatile uint8_t sink = 0;
      for (size_t i = 0; i < archive.Size(); ++i) sink = static_cast<uint8_t>(sink ^ archive.Data()[i]);
    }
  }
  Require(allocator.Held() == 0);
}

void FuzzFilteredArchive(const uint8_t* data, uint32_t size) {
  FilteredLayout layout;
  if (!ReadFilteredLayout(data, size, layout)) return;
  for (int stream = 0; stream < 4; ++stream) {
    Require(layout.streamOffset[stream] >= kStreamHeaderSize);
    Require(uint64_t{layout.streamOffset[stream]} + layout.streamSize[stream] <= size);
  }
  if (layout.archiveSize > kMemoryLimit) return;
  // An exact-size block, so ASan catches any write past the archive.
  uint8_t* archive = static_cast<uint8_t*>(std::malloc(layout.archiveSize != 0 ? layout.archiveSize : 1));
  if (archive == nullptr) return;
  DecodeBcj2Stage(data, layout, archive);
  std::free(archive);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size - 1 > UINT32_MAX) return 0;
  const uint32_t rest = static_cast<uint32_t>(size - 1);
  if (data[0] % 2 == 0) {
    FuzzPayload(data + 1, rest);
  } else {
    FuzzFilteredArchive(data + 1, rest);
  }
  return 0;
}

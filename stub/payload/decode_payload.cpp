#include "decode_payload.h"

#include "bcj2_stage.h"
#include "lzma_stage.h"
#include "payload_layout.h"

int32_t DecodePayload(const uint8_t* payload, uint32_t length, HeapBuffer& archive,
                      const ByteAllocator& allocator) {
  archive.Reset();
  HeapBuffer filtered;
  if (!DecodeLzmaStage(payload, length, allocator, filtered)) return kPayloadLzmaFailed;

  FilteredLayout layout;
  if (!ReadFilteredLayout(filtered.Data(), static_cast<uint32_t>(filtered.Size()), layout)) {
    return kPayloadBcj2Failed;
  }
  if (!archive.Allocate(allocator, layout.archiveSize)) return kPayloadLzmaFailed;
  if (!DecodeBcj2Stage(filtered.Data(), layout, archive.Data())) {
    archive.Reset();
    return kPayloadBcj2Failed;
  }
  return kPayloadDecoded;
}

// Decoding the payload resource into memory: LZMA, then BCJ2.
#pragma once

#include <cstdint>

#include "heap_buffer.h"

// Result codes, shared with DecodePayloadToFile.
constexpr int32_t kPayloadDecoded = 0;
constexpr int32_t kPayloadLzmaFailed = -1;  // also: too short, or out of memory
constexpr int32_t kPayloadBcj2Failed = 1;

// Decodes `payload` (`length` bytes, read in place) into `archive`, a new
// block of exactly N bytes, N being the archive size from the stream header.
// All blocks come from `allocator`, which must outlive `archive`; only
// `archive` is still held on return.
//
// Returns kPayloadDecoded (0) on success. kPayloadLzmaFailed (-1) when the
// payload is shorter than 13 bytes, the LZMA stage fails (bad properties,
// data error, a stream that does not yield exactly the declared size), or an
// allocation is refused. kPayloadBcj2Failed (1) when the filtered archive
// does not hold its stream header and the four streams it announces, or the
// BCJ2 stage reports a data error. `archive` is empty on every failure.
int32_t DecodePayload(const uint8_t* payload, uint32_t length, HeapBuffer& archive,
                      const ByteAllocator& allocator = SystemAllocator());

// First decoding stage: LZMA-alone payload to the filtered archive.
#pragma once

#include <cstdint>

#include "heap_buffer.h"

// Decodes the LZMA-alone `payload` of `length` bytes (length >= 13) into
// `filtered`, a new block of exactly the declared size D (the lower 32 bits
// of the size field). Decoder tables, dictionary and `filtered` come from
// `allocator`; the tables and dictionary are released before returning.
//
// True when the decoder reports success, produced all D bytes (so every byte
// of `filtered` was written by it) and the stream ends right there, with a
// clean end of the range coder or an end marker; input after that end is
// ignored. False (with `filtered` empty) for a properties byte of 225 or
// more, a refused allocation, a data error, LZMA data that goes on past its
// D-th byte, or a stream that stops short of D bytes (input used up, or an
// end marker first).
bool DecodeLzmaStage(const uint8_t* payload, uint32_t length, const ByteAllocator& allocator,
                     HeapBuffer& filtered);

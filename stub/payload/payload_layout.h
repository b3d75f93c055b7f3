// Layout of the payload: an LZMA-alone header and data, which decode to the
// filtered archive (a 20-byte stream header and the four BCJ2 streams).
#pragma once

#include <cstdint>

#include "../byte_order.h"

// LZMA-alone header: properties byte, 32-bit dictionary size, 64-bit size.
constexpr uint32_t kLzmaPropertiesSize = 5;
constexpr uint32_t kLzmaSizeFieldOffset = 5;
constexpr uint32_t kLzmaHeaderSize = 13;

// Stream header of the filtered archive: N, M, C, J, R, each 32-bit.
constexpr uint32_t kStreamHeaderSize = 20;

// Where the four BCJ2 streams lie inside a filtered archive.
struct FilteredLayout {
  uint32_t archiveSize;  // N: bytes the BCJ2 stage produces
  uint32_t streamOffset[4];  // main, call, jump, range coder; from the archive's start
  uint32_t streamSize[4];    // M, C, J, R
};

// Reads the stream header of a filtered archive of `size` bytes at
// `filtered`. True, with `layout` filled, when the archive holds a whole
// header and the four streams it announces fit inside the archive (the sum is
// taken without wrap-around). False when size is below 20 or the streams run
// past the end; `layout` is then unspecified. Reads only the first 20 bytes.
bool ReadFilteredLayout(const uint8_t* filtered, uint32_t size, FilteredLayout& layout);

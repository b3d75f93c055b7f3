// Second decoding stage: the four BCJ2 streams to the archive.
#pragma once

#include <cstdint>

#include "payload_layout.h"

// Runs the BCJ2 decoder once over the four whole streams that `layout`
// places inside `filtered` (as checked by ReadFilteredLayout) and writes
// layout.archiveSize bytes to `archive`, which must have room for them.
//
// True when exactly that many bytes came out. False (a data error) when the
// main stream ends first, when the call or jump stream holds fewer than 4
// bytes for a converted branch, or when the range-coder stream runs out.
// Bytes left over in any stream are no error. Reads nothing outside the four
// streams; `archive` may be partly written on failure.
bool DecodeBcj2Stage(const uint8_t* filtered, const FilteredLayout& layout, uint8_t* archive);

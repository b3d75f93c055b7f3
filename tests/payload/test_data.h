// Test contents for payload round trips.
#pragma once

#include <cstddef>
#include <string>

// `size` pseudo-random bytes; the same size and seed give the same bytes.
std::string PatternData(size_t size, unsigned seed = 0);

// `size` bytes that look like 32-bit x86 code to the BCJ2 filter: filler
// with E8 calls, E9 jumps and 0F 8x conditional jumps whose 32-bit relative
// targets mostly land inside the data (so the encoder converts them and the
// call and jump streams fill up), some landing far outside (left alone).
std::string X86LikeCode(size_t size, unsigned seed = 0);

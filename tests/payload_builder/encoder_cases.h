// Inputs for the encoder round trips: each stresses one part of BCJ2 or LZMA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EncoderCase {
  std::string name;
  std::vector<uint8_t> data;
  // The last byte is a branch opcode: the range coder carries one more flag
  // than the 9.22 one-call decoder reads (see Bcj2Encode).
  bool endsInBranchOpcode = false;
};

std::vector<EncoderCase> EncoderCases();

// The case's name as a test name: letters and digits, '_' for the rest.
std::string TestNameFor(const EncoderCase& c);

// Deterministic x86-like code: filler bytes with E8 and E9 branches and 0F 8x
// conditional jumps, most of them aimed inside the buffer, some far outside.
std::vector<uint8_t> SyntheticCode(size_t size, uint32_t seed);

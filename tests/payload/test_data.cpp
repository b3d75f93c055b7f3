#include "test_data.h"

#include <cstdint>

namespace {

class Random {
public:
  explicit Random(unsigned seed) : state_(0x9E3779B9u ^ seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

private:
  uint32_t state_;
};

}  // namespace

std::string PatternData(size_t size, unsigned seed) {
  Random random(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(random.Next());
  return data;
}

std::string X86LikeCode(size_t size, unsigned seed) {
  Random random(seed);
  std::string code;
  code.reserve(size + 8);
  while (code.size() < size) {
    const uint32_t choice = random.Next() % 16;
    if (choice < 3) {
      // A branch: E8, E9, or 0F 8x, then a little-endian relative target.
      if (choice == 0) code += '\xE8';
      if (choice == 1) code += '\xE9';
      if (choice == 2) {
        code += '\x0F';
        code += static_cast<char>(0x80 | (random.Next() & 0x0F));
      }
      const bool inside = random.Next() % 8 != 0;
      const int64_t here = static_cast<int64_t>(code.size()) + 4;
      const int64_t target = inside ? static_cast<int64_t>(random.Next() % (size + 1)) : 0x40000000 + random.Next();
      const uint32_t relative = static_cast<uint32_t>(target - here);
      for (int i = 0; i < 4; ++i) code += static_cast<char>(relative >> (8 * i));
    } else {
      // Filler that is never an opcode of interest by itself.
      uint8_t byte = static_cast<uint8_t>(random.Next());
      if (byte == 0xE8 || byte == 0xE9 || byte == 0x0F) byte = 0x90;
      code += static_cast<char>(byte);
    }
  }
  code.resize(size);
  return code;
}

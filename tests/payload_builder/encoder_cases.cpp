#include "encoder_cases.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <random>

namespace {

void PutLe32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

std::vector<uint8_t> ReadFileOrEmpty(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<uint8_t> SyntheticCode(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> code;
  code.reserve(size + 6);
  while (code.size() < size) {
    const uint32_t pick = random() % 16;
    const auto here = static_cast<int64_t>(code.size());
    // Near targets convert; a target far outside the buffer must not.
    const int64_t target = pick == 15 ? here + 0x40000000 : static_cast<int64_t>(random() % (size + 1));
    if (pick < 3) {
      code.push_back(0xE8);
      PutLe32(code, static_cast<uint32_t>(target - (here + 5)));
    } else if (pick < 4) {
      code.push_back(0xE9);
      PutLe32(code, static_cast<uint32_t>(target - (here + 5)));
    } else if (pick < 5) {
      code.push_back(0x0F);
      code.push_back(static_cast<uint8_t>(0x80 | (random() & 0x0F)));
      PutLe32(code, static_cast<uint32_t>(target - (here + 6)));
    } else {
      code.push_back(static_cast<uint8_t>(random() % 8 == 0 ? 0xE8 : random()));
    }
  }
  code.resize(size);
  return code;
}

std::vector<EncoderCase> EncoderCases() {
  std::vector<EncoderCase> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"one byte", {0x42}});
  cases.push_back({"zeros", std::vector<uint8_t>(20000, 0)});
  {
    std::mt19937 random(7);
    std::vector<uint8_t> noise(100000);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    cases.push_back({"random bytes", noise});
  }
  cases.push_back({"synthetic code", SyntheticCode(300000, 1)});
  {
    // Calls converted or kept at random: a flag of about one bit each, more
    // range-coder output than the encoder first makes room for.
    std::mt19937 random(11);
    std::vector<uint8_t> calls;
    while (calls.size() < 200000) {
      const auto here = static_cast<uint32_t>(calls.size());
      calls.push_back(0xE8);
      PutLe32(calls, (random() & 1) != 0 ? 0u - here - 5 : 0x7FFF0000u);
    }
    cases.push_back({"unpredictable calls", calls});
  }
  // A call whose target is the buffer's last byte converts; one byte further does not.
  cases.push_back({"targets at the edge", {0xE8, 0x06, 0x00, 0x00, 0x00, 0xE8, 0x02, 0x00, 0x00, 0x00, 0x90, 0x90}});
  // An opcode within the last four bytes has no room for a target: one flag, no conversion.
  cases.push_back({"opcode near the end", {0x90, 0x90, 0xE8, 0x01, 0x02}});
  cases.push_back({"call opcode at the end", {0x90, 0x90, 0x90, 0xE8}, true});
  cases.push_back({"jcc at the end", {0x90, 0x0F, 0x84}, true});
  // The 0F that ends an unconverted call's offset pairs with the 85 after it.
  cases.push_back(
      {"jcc inside a call's offset", {0xE8, 0x00, 0x00, 0x00, 0x0F, 0x85, 0x01, 0x00, 0x00, 0x00, 0x90, 0x90}});
  std::vector<uint8_t> dll = ReadFileOrEmpty("/usr/lib/i386-linux-gnu/wine/i386-windows/version.dll");
  if (!dll.empty()) cases.push_back({"i386 DLL", dll});
  return cases;
}

std::string TestNameFor(const EncoderCase& c) {
  std::string name;
  for (char ch : c.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

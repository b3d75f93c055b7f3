// libFuzzer target for the tar header decisions. Input: one header block (a
// shorter input is padded with zeros), then 4 bytes of the position where the
// member's data would start.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tar_header.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// What a safe name never contains, checked independently of the rules' code.
void CheckSafeName(const std::string& name) {
  Require(!name.empty());
  Require(!IsSeparator(name[0]));
  Require(name.find(':') == std::string::npos);
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      // No component that the platform's trimming of trailing dots and
      // blanks would turn into "..".
      const std::string component = name.substr(start, i - start);
      const bool dotsAndBlanks = component.find_first_not_of(". ") == std::string::npos;
      Require(!(dotsAndBlanks && component.find('.') != component.rfind('.')));
      start = i + 1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t block[kTarBlockSize] = {};
  std::memcpy(block, data, size < kTarBlockSize ? size : kTarBlockSize);
  uint32_t dataStart = 0;
  if (size >= kTarBlockSize + 4) std::memcpy(&dataStart, data + kTarBlockSize, 4);

  const TarBlockKind kind = ClassifyTarBlock(block);
  if (kind == TarBlockKind::kMember) Require(std::memcmp(block + 257, "ustar", 5) == 0);
  if (kind == TarBlockKind::kEndOfArchive) Require(block[257] == 0 && block[260] == 0);

  const size_t nameLength = TarNameLength(block);
  Require(nameLength <= kTarNameSize);
  Require(std::memchr(block, 0, nameLength) == nullptr);
  Require(nameLength == kTarNameSize || block[nameLength] == 0);

  uint32_t memberSize = 0;
  if (ParseTarSize(block, memberSize)) {
    Require(memberSize < 0x80000000u);
    uint32_t next = 0;
    if (NextTarHeaderOffset(dataStart, memberSize, next)) {
      const uint64_t step = uint64_t{next} - dataStart;
      Require(next >= dataStart && step >= memberSize && step < uint64_t{memberSize} + kTarBlockSize &&
              step % kTarBlockSize == 0);
    } else {
      Require(uint64_t{dataStart} + memberSize > UINT32_MAX - kTarBlockSize);
    }
  }

  const std::string name(reinterpret_cast<const char*>(block), nameLength);
  const std::u16string wide(name.begin(), name.end());  // zero-extended bytes
  const bool safe = IsSafeMemberName(name.c_str(), name.size());
  Require(safe == IsSafeMemberName(wide.c_str(), wide.size()));
  if (safe) CheckSafeName(name);
  return 0;
}

#include "tar_header.h"

#include <cstring>

namespace {

constexpr size_t kMagicOffset = 257;
constexpr size_t kSizeOffset = 124;
constexpr size_t kSizeFieldWidth = 12;
constexpr uint32_t kSizeLimit = 0x80000000u;

bool IsBlank(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <typename Char>
bool IsSeparator(Char c) {
  return c == '\\' || c == '/';
}

template <typename Char>
Char AsciiUpper(Char c) {
  return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c;
}

// A component made only of dots and blanks with two dots or more: "..", and
// the spellings that the platform's trimming of trailing dots and blanks
// turns into "..".
template <typename Char>
bool IsParentLike(const Char* component, size_t length) {
  size_t dots = 0;
  for (size_t i = 0; i < length; ++i) {
    if (component[i] == '.') {
      ++dots;
    } else if (component[i] != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// The device names stay devices whatever extension follows and with blanks
// before it, so compare the part before the first dot, less trailing blanks.
template <typename Char>
bool IsDeviceName(const Char* component, size_t length) {
  size_t stem = 0;
  while (stem < length && component[stem] != '.') ++stem;
  while (stem > 0 && component[stem - 1] == ' ') --stem;

  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    const size_t deviceLength = std::strlen(device);
    if (stem != deviceLength) continue;
    size_t i = 0;
    while (i < stem && AsciiUpper(component[i]) == static_cast<Char>(device[i])) ++i;
    if (i == stem) return true;
  }
  if (stem == 4 && component[3] >= '0' && component[3] <= '9') {
    const Char a = AsciiUpper(component[0]);
    const Char b = AsciiUpper(component[1]);
    const Char c = AsciiUpper(component[2]);
    if ((a == 'C' && b == 'O' && c == 'M') || (a == 'L' && b == 'P' && c == 'T')) return true;
  }
  return false;
}

template <typename Char>
bool IsSafeName(const Char* name, size_t length) {
  if (length == 0 || IsSeparator(name[0])) return false;
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && name[i] == ':') return false;
    if (i == length || IsSeparator(name[i])) {
      if (IsParentLike(name + start, i - start) || IsDeviceName(name + start, i - start)) {
        return false;
      }
      start = i + 1;
    }
  }
  return true;
}

}  // namespace

TarBlockKind ClassifyTarBlock(const uint8_t* block) {
  static const uint8_t kZero[4] = {0, 0, 0, 0};
  if (std::memcmp(block + kMagicOffset, kZero, sizeof kZero) == 0) return TarBlockKind::kEndOfArchive;
  // Byte 262 is not looked at: POSIX puts a NUL there, GNU tar a blank.
  if (std::memcmp(block + kMagicOffset, "ustar", 5) == 0) return TarBlockKind::kMember;
  return TarBlockKind::kInvalid;
}

size_t TarNameLength(const uint8_t* block) {
  size_t length = 0;
  while (length < kTarNameSize && block[length] != 0) ++length;
  return length;
}

bool ParseTarSize(const uint8_t* block, uint32_t& size) {
  const uint8_t* field = block + kSizeOffset;
  size_t i = 0;
  while (i < kSizeFieldWidth && IsBlank(field[i])) ++i;
  if (i < kSizeFieldWidth && (field[i] == '+' || field[i] == '-')) return false;
  uint64_t value = 0;
  for (; i < kSizeFieldWidth && field[i] >= '0' && field[i] <= '7'; ++i) {
    value = value * 8 + static_cast<uint64_t>(field[i] - '0');
    // Checked every digit, so the value stays far from wrapping.
    if (value >= kSizeLimit) return false;
  }
  size = static_cast<uint32_t>(value);
  return true;
}

bool NextTarHeaderOffset(uint32_t dataStart, uint32_t size, uint32_t& next) {
  const uint64_t blocks = (static_cast<uint64_t>(size) + kTarBlockSize - 1) / kTarBlockSize;
  const uint64_t offset = dataStart + blocks * kTarBlockSize;
  if (offset > UINT32_MAX) return false;
  next = static_cast<uint32_t>(offset);
  return true;
}

bool IsSafeMemberName(const wchar_t* name, size_t length) { return IsSafeName(name, length); }
bool IsSafeMemberName(const char16_t* name, size_t length) { return IsSafeName(name, length); }
bool IsSafeMemberName(const char* name, size_t length) { return IsSafeName(name, length); }

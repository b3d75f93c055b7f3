#include "der.h"

#include <string>

#include "tag_error.h"

DerElement ReadDerElement(const std::vector<uint8_t>& bytes, size_t at, size_t limit, const char* what) {
  auto malformed = [&](const char* why) { return TagError(std::string("malformed signature: ") + what + " " + why); };
  if (limit > bytes.size() || at + 2 > limit) throw malformed("is truncated");
  DerElement element;
  element.offset = at;
  element.tag = bytes[at];
  if ((element.tag & 0x1F) == 0x1F) throw malformed("has a multi-byte tag");
  const uint8_t first = bytes[at + 1];
  if (first < 0x80) {
    element.headerSize = 2;
    element.contentSize = first;
  } else {
    const size_t count = first & 0x7F;
    if (count == 0) throw malformed("has an indefinite length");
    if (count > 4) throw malformed("has a length of more than four bytes");
    if (at + 2 + count > limit) throw malformed("is truncated");
    element.headerSize = 2 + count;
    for (size_t i = 0; i < count; ++i) element.contentSize = element.contentSize << 8 | bytes[at + 2 + i];
  }
  if (element.contentSize > limit - at - element.headerSize) throw malformed("runs past its enclosing element");
  return element;
}

std::vector<uint8_t> DerHeader(uint8_t tag, size_t contentSize) {
  std::vector<uint8_t> header{tag};
  if (contentSize < 0x80) {
    header.push_back(static_cast<uint8_t>(contentSize));
    return header;
  }
  std::vector<uint8_t> length;
  for (size_t rest = contentSize; rest != 0; rest >>= 8) length.insert(length.begin(), static_cast<uint8_t>(rest));
  header.push_back(static_cast<uint8_t>(0x80 | length.size()));
  header.insert(header.end(), length.begin(), length.end());
  return header;
}

bool DerSetOrderLess(const uint8_t* a, size_t aSize, const uint8_t* b, size_t bSize) {
  const size_t size = aSize > bSize ? aSize : bSize;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t x = i < aSize ? a[i] : 0;
    const uint8_t y = i < bSize ? b[i] : 0;
    if (x != y) return x < y;
  }
  return false;
}

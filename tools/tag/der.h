// Just enough DER to walk a PKCS#7 ContentInfo and rebuild it with one more
// element: definite lengths of up to four bytes, no indefinite forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DerElement {
  uint8_t tag = 0;
  size_t offset = 0;       // the tag byte
  size_t headerSize = 0;   // tag and length bytes
  size_t contentSize = 0;

  size_t ContentOffset() const { return offset + headerSize; }
  size_t End() const { return offset + headerSize + contentSize; }
};

// Reads the element that starts at `at` and must end by `limit`. Throws
// TagError naming `what` for a truncated or malformed header or an element
// that runs past `limit`.
DerElement ReadDerElement(const std::vector<uint8_t>& bytes, size_t at, size_t limit, const char* what);

// The tag and minimal definite-length bytes for `contentSize` bytes.
std::vector<uint8_t> DerHeader(uint8_t tag, size_t contentSize);

// The order of a DER SET OF: encodings compared as octet strings, the shorter
// one padded with zero bytes at its end. True when `a` sorts before `b`.
bool DerSetOrderLess(const uint8_t* a, size_t aSize, const uint8_t* b, size_t bSize);

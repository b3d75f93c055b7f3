// Reading a payload back the way the stub does, for tests: LZMA SDK 9.22's
// LzmaDec (LZMA_FINISH_END) and its one-call Bcj2_Decode, then a walk over the
// ustar headers by the stub's rules. Builds for the host and for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedPayload {
  uint8_t properties = 0;
  uint32_t dictionarySize = 0;
  uint64_t declaredSize = 0;      // all 64 bits of the LZMA-alone size field
  size_t lzmaInputUsed = 0;       // LZMA data bytes the decoder consumed
  std::vector<uint8_t> filtered;  // declaredSize bytes
  uint32_t archiveSize = 0, mainSize = 0, callSize = 0, jumpSize = 0, rcSize = 0;
  std::vector<uint8_t> archive;
};

// Decodes `payload` in full. Returns an empty string on success, else what
// failed. Stricter than the stub: the filtered archive must hold the 20-byte
// header and all four streams, and the LZMA decoder must end exactly at its
// declared size.
std::string DecodePayload922(const std::vector<uint8_t>& payload, DecodedPayload& decoded);

// Returns an empty string when Bcj2_Decode needs every byte of every stream:
// shortening any non-empty stream by one byte makes it fail. Otherwise names
// the stream with bytes to spare.
std::string CheckStreamsUsedUp922(const DecodedPayload& decoded);

struct TarHeader {
  std::string name;     // name field up to its first NUL, at most 100 bytes
  std::string prefix;   // prefix field up to its first NUL
  char typeflag = 0;
  std::string magic;    // the 6 magic bytes and the 2 version bytes
  uint64_t size = 0;
  size_t dataOffset = 0;
};

// Walks `archive` as the stub's reader does, up to the end marker (a header
// whose bytes 257..260 are zero). Returns an empty string, or why the walk
// failed (short header or data, bad magic). `endOffset` is where the end
// marker starts.
std::string WalkTar(const std::vector<uint8_t>& archive, std::vector<TarHeader>& headers, size_t& endOffset);

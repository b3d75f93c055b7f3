// The payload encoder: turns a tar archive into the bytes of the stub's payload
// resource (type "B", id 102).
//
// Payload layout, multi-byte fields little-endian:
//   LZMA-alone header (13 bytes): properties byte lc + 9 * (lp + 5 * pb),
//     dictionary size (32 bits), exact size of the filtered archive (64 bits,
//     upper 32 bits zero); then the LZMA data, without an end marker.
//   The filtered archive it decodes to: N, M, C, J, R (32 bits each: archive,
//     main, call, jump and range-coder stream sizes), then the four BCJ2 streams
//     in that order with nothing between them.
//
// The result decodes with LZMA SDK 9.22 (LzmaDec with LZMA_FINISH_END, then the
// one-call Bcj2_Decode) as well as with the current SDK's LzmaDec and the
// streaming Bcj2Dec_*, and both use every stream to its last byte (the one
// exception is noted at Bcj2Encode).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kLzmaAloneHeaderSize = 13;
constexpr size_t kFilteredHeaderSize = 20;

// Encodes `archive` (`size` bytes, may be empty) into a complete payload.
// Settings: BCJ2 over the whole archive as one file starting at offset 0; LZMA
// with lc 3, lp 0, pb 2 and the dictionary size PayloadDictionarySize gives for
// the filtered archive.
// Returns true and replaces `payload` with the payload bytes. Returns false with
// a one-line reason in `error` (and `payload` unspecified) when the archive or
// the filtered archive does not fit the 32-bit size fields, or when memory runs
// out. Throws nothing.
bool EncodePayload(const uint8_t* archive, size_t size, std::vector<uint8_t>& payload, std::string& error);

// The four output streams of the BCJ2 x86 branch converter.
struct Bcj2Streams {
  std::vector<uint8_t> main;  // the input without the 4 target bytes of each converted branch
  std::vector<uint8_t> call;  // big-endian absolute targets of converted E8 calls
  std::vector<uint8_t> jump;  // big-endian absolute targets of converted E9 and 0F 8x jumps
  std::vector<uint8_t> rc;    // range-coded flags: which branch opcodes were converted
};

// Runs the SDK's BCJ2 encoder over `data` (`size` bytes, may be null when size
// is 0) as one stream, finished and flushed. Addresses count from the start of
// `data`; a branch is converted only when its target lies inside `data` and its
// relative offset is within the SDK's default limit (240 MiB), which also keeps
// a converted branch from overlapping the next opcode.
// Guarantees main + call + jump sizes == size. Every stream is used to its last
// byte by both SDK decoders, except when the last byte of `data` is itself a
// branch opcode (E8, E9, or 8x after 0F): the range coder then carries one more
// flag, which the 9.22 one-call decoder stops short of and may leave one byte
// of the range-coder stream unread (still a correct decode). A tar archive ends
// in zero blocks and never meets that case.
// Throws std::bad_alloc when memory runs out.
Bcj2Streams Bcj2Encode(const uint8_t* data, size_t size);

// Builds the filtered archive: the header N (= `archiveSize`), M, C, J, R, then
// the four streams. `archiveSize` is written as given, so a test can make it
// disagree with the streams.
// Throws std::length_error when a stream size does not fit in 32 bits, and
// std::bad_alloc when memory runs out.
std::vector<uint8_t> MakeFilteredArchive(const Bcj2Streams& streams, uint32_t archiveSize);

struct LzmaOptions {
  unsigned lc = 3;  // 0..8
  unsigned lp = 0;  // 0..4
  unsigned pb = 2;  // 0..4
  uint32_t dictionarySize = 1u << 23;  // 4096 .. 1 << 27
};

// Compresses `data` with the SDK's LZMA encoder (best settings, one thread, no
// end marker) into LZMA-alone with the exact size of `data` in the header.
// The header's dictionary size is options.dictionarySize as the SDK records it:
// rounded up to 2^n or 3 * 2^n below 2 MiB, to a multiple of 1 MiB from 2 MiB
// on (PayloadDictionarySize already gives such values).
// Returns true and replaces `out`; returns false with `error` set when the SDK
// refuses the options or runs out of memory. Throws nothing.
bool LzmaAloneEncode(const uint8_t* data, size_t size, const LzmaOptions& options, std::vector<uint8_t>& out,
                     std::string& error);

// The dictionary size the payload uses for a filtered archive of
// `filteredSize` bytes: the smallest 2^n or 3 * 2^n that holds the whole
// filtered archive, at least 4096 and at most 8 MiB. The stub allocates the
// whole dictionary whatever the data size, so nothing larger helps; above 8 MiB
// the stub's memory need is held at what the delivered stub already asked for.
uint32_t PayloadDictionarySize(size_t filteredSize);

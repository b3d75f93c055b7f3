#include "payload_reader.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include "Bcj2.h"
#include "LzmaDec.h"
}

namespace {

void* Alloc922(void*, size_t size) { return std::malloc(size); }
void Free922(void*, void* address) { std::free(address); }
ISzAlloc kAlloc922 = {Alloc922, Free922};

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

class Decoder922 {
 public:
  Decoder922() { LzmaDec_Construct(&state_); }
  ~Decoder922() { LzmaDec_Free(&state_, &kAlloc922); }
  Decoder922(const Decoder922&) = delete;
  Decoder922& operator=(const Decoder922&) = delete;
  CLzmaDec* get() { return &state_; }

 private:
  CLzmaDec state_;
};

struct StreamView {
  const uint8_t* data;
  size_t size;
};

int RunBcj2(const StreamView (&streams)[4], std::vector<uint8_t>& out) {
  return Bcj2_Decode(streams[0].data, streams[0].size, streams[1].data, streams[1].size, streams[2].data,
                     streams[2].size, streams[3].data, streams[3].size, out.data(), out.size());
}

void Streams(const DecodedPayload& d, StreamView (&streams)[4]) {
  const uint8_t* at = d.filtered.data() + 20;
  const uint32_t sizes[4] = {d.mainSize, d.callSize, d.jumpSize, d.rcSize};
  for (int i = 0; i < 4; ++i) {
    streams[i] = {at, sizes[i]};
    at += sizes[i];
  }
}

uint64_t ParseOctal(const uint8_t* field, size_t width) {
  uint64_t value = 0;
  size_t i = 0;
  while (i < width && (field[i] == ' ' || field[i] == '\t')) ++i;
  for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i) value = value * 8 + (field[i] - '0');
  return value;
}

std::string FieldText(const uint8_t* field, size_t width) {
  size_t n = 0;
  while (n < width && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace

std::string DecodePayload922(const std::vector<uint8_t>& payload, DecodedPayload& d) {
  if (payload.size() < 13) return "payload shorter than 13 bytes";
  d.properties = payload[0];
  d.dictionarySize = Le32(&payload[1]);
  d.declaredSize = uint64_t{Le32(&payload[5])} | uint64_t{Le32(&payload[9])} << 32;
  if (d.declaredSize < 20 || d.declaredSize > 0xFFFFFFFFu) return "declared size out of range";

  Decoder922 decoder;
  if (LzmaDec_Allocate(decoder.get(), payload.data(), LZMA_PROPS_SIZE, &kAlloc922) != SZ_OK)
    return "LzmaDec_Allocate failed";
  LzmaDec_Init(decoder.get());
  d.filtered.assign(static_cast<size_t>(d.declaredSize), 0);
  SizeT outSize = d.filtered.size();
  SizeT inSize = payload.size() - 13;
  ELzmaStatus status;
  const SRes res = LzmaDec_DecodeToBuf(decoder.get(), d.filtered.data(), &outSize, payload.data() + 13, &inSize,
                                       LZMA_FINISH_END, &status);
  if (res != SZ_OK) return "LZMA decoding failed with " + std::to_string(res);
  if (outSize != d.filtered.size()) return "LZMA data ended before the declared size";
  d.lzmaInputUsed = inSize;

  const uint8_t* h = d.filtered.data();
  d.archiveSize = Le32(h);
  d.mainSize = Le32(h + 4);
  d.callSize = Le32(h + 8);
  d.jumpSize = Le32(h + 12);
  d.rcSize = Le32(h + 16);
  const uint64_t streamsEnd = 20 + uint64_t{d.mainSize} + d.callSize + d.jumpSize + d.rcSize;
  if (streamsEnd > d.filtered.size()) return "streams run past the filtered archive";

  StreamView streams[4];
  Streams(d, streams);
  d.archive.assign(d.archiveSize, 0);
  if (RunBcj2(streams, d.archive) != SZ_OK) return "Bcj2_Decode failed";
  return "";
}

std::string CheckStreamsUsedUp922(const DecodedPayload& d) {
  static const char* const kNames[4] = {"main", "call", "jump", "range-coder"};
  StreamView streams[4];
  Streams(d, streams);
  std::vector<uint8_t> scratch(d.archiveSize);
  for (int i = 0; i < 4; ++i) {
    if (streams[i].size == 0) continue;
    StreamView shortened[4];
    std::memcpy(shortened, streams, sizeof streams);
    --shortened[i].size;
    if (RunBcj2(shortened, scratch) == SZ_OK) return std::string("the ") + kNames[i] + " stream has bytes to spare";
  }
  return "";
}

std::string WalkTar(const std::vector<uint8_t>& archive, std::vector<TarHeader>& headers, size_t& endOffset) {
  headers.clear();
  size_t at = 0;
  for (;;) {
    if (at > archive.size() || archive.size() - at < 512) return "archive ends without an end marker";
    const uint8_t* block = archive.data() + at;
    if (Le32(block + 257) == 0) {
      endOffset = at;
      return "";
    }
    if (std::memcmp(block + 257, "ustar", 5) != 0) return "bad magic at offset " + std::to_string(at);
    TarHeader header;
    header.name = FieldText(block, 100);
    header.prefix = FieldText(block + 345, 155);
    header.typeflag = static_cast<char>(block[156]);
    header.magic.assign(reinterpret_cast<const char*>(block + 257), 8);
    header.size = ParseOctal(block + 124, 12);
    header.dataOffset = at + 512;
    if (header.size > archive.size() - header.dataOffset) return "member data runs past the archive";
    at = header.dataOffset + static_cast<size_t>((header.size + 511) / 512 * 512);
    headers.push_back(header);
  }
}

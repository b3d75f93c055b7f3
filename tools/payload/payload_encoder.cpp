#include "payload_encoder.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

extern "C" {
#include "Bcj2.h"
#include "LzmaEnc.h"
}

namespace {

constexpr uint32_t kMinDictionary = 1u << 12;
constexpr uint32_t kMaxDictionary = 1u << 23;

void* SdkAlloc(ISzAllocPtr, size_t size) { return std::malloc(size); }
void SdkFree(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kSdkAlloc = {SdkAlloc, SdkFree};

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t CheckedSize32(size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) throw std::length_error("BCJ2 stream larger than 4 GiB");
  return static_cast<uint32_t>(size);
}

// The SDK's input stream over a memory block. `vt` must stay the first member:
// the SDK hands back a pointer to it.
struct MemoryInStream {
  ISeqInStream vt;
  const uint8_t* data;
  size_t remaining;

  static SRes Read(ISeqInStreamPtr p, void* buf, size_t* size) {
    auto* self = reinterpret_cast<MemoryInStream*>(const_cast<ISeqInStream*>(p));
    size_t n = *size < self->remaining ? *size : self->remaining;
    if (n != 0) std::memcpy(buf, self->data, n);
    self->data += n;
    self->remaining -= n;
    *size = n;
    return SZ_OK;
  }
};

// The SDK's output stream appending to a vector. A failed append reports a
// short write (the SDK then fails with SZ_ERROR_WRITE) instead of letting an
// exception cross the SDK's C frames.
struct VectorOutStream {
  ISeqOutStream vt;
  std::vector<uint8_t>* out;

  static size_t Write(ISeqOutStreamPtr p, const void* buf, size_t size) {
    auto* self = reinterpret_cast<VectorOutStream*>(const_cast<ISeqOutStream*>(p));
    try {
      const auto* bytes = static_cast<const uint8_t*>(buf);
      self->out->insert(self->out->end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
      return 0;
    }
    return size;
  }
};

// Owns a CLzmaEncHandle.
class LzmaEncoder {
 public:
  LzmaEncoder() : handle_(LzmaEnc_Create(&kSdkAlloc)) {}
  ~LzmaEncoder() {
    if (handle_ != nullptr) LzmaEnc_Destroy(handle_, &kSdkAlloc, &kSdkAlloc);
  }
  LzmaEncoder(const LzmaEncoder&) = delete;
  LzmaEncoder& operator=(const LzmaEncoder&) = delete;
  CLzmaEncHandle get() const { return handle_; }

 private:
  CLzmaEncHandle handle_;
};

std::string SdkErrorText(SRes res) {
  switch (res) {
    case SZ_ERROR_MEM: return "out of memory";
    case SZ_ERROR_PARAM: return "invalid LZMA settings";
    case SZ_ERROR_WRITE: return "out of memory for the compressed data";
    default: return "LZMA encoder error " + std::to_string(res);
  }
}

// Points the encoder's output window for one stream at the unused part of
// `buffer`, whose first `used` bytes are already written.
void SetOutputWindow(CBcj2Enc& enc, unsigned stream, std::vector<uint8_t>& buffer, size_t used) {
  enc.bufs[stream] = buffer.data() + used;
  enc.lims[stream] = buffer.data() + buffer.size();
}

}  // namespace

Bcj2Streams Bcj2Encode(const uint8_t* data, size_t size) {
  Bcj2Streams streams;
  std::vector<uint8_t>* buffers[BCJ2_NUM_STREAMS] = {&streams.main, &streams.call, &streams.jump, &streams.rc};
  // Starting capacities that are enough for typical code; a full stream is
  // grown and the encoder resumed. Call and jump windows stay multiples of 4.
  streams.main.resize(size + 16);
  streams.call.resize((size / 16 + 4) * 4);
  streams.jump.resize((size / 32 + 4) * 4);
  streams.rc.resize(size / 64 + 64);

  CBcj2Enc enc;
  Bcj2Enc_Init(&enc);
  for (unsigned s = 0; s < BCJ2_NUM_STREAMS; ++s) SetOutputWindow(enc, s, *buffers[s], 0);
  enc.src = data;
  enc.srcLim = data + size;
  enc.finishMode = BCJ2_ENC_FINISH_MODE_END_STREAM;
  enc.fileIp64 = 0;
  Bcj2Enc_SET_FileSize(&enc, size)
  enc.relatLimit = BCJ2_ENC_RELAT_LIMIT_DEFAULT;

  for (;;) {
    Bcj2Enc_Encode(&enc);
    if (enc.state == BCJ2_ENC_STATE_FINISHED) break;
    if (enc.state >= BCJ2_NUM_STREAMS) {
      // With the whole input given and END_STREAM, the encoder only stops for
      // output space; anything else is a broken SDK contract.
      throw std::logic_error("BCJ2 encoder stopped before the end of its input");
    }
    std::vector<uint8_t>& full = *buffers[enc.state];
    const size_t used = static_cast<size_t>(enc.bufs[enc.state] - full.data());
    full.resize(full.size() * 2);
    SetOutputWindow(enc, enc.state, full, used);
  }
  for (unsigned s = 0; s < BCJ2_NUM_STREAMS; ++s)
    buffers[s]->resize(static_cast<size_t>(enc.bufs[s] - buffers[s]->data()));
  return streams;
}

std::vector<uint8_t> MakeFilteredArchive(const Bcj2Streams& streams, uint32_t archiveSize) {
  const std::vector<uint8_t>* parts[] = {&streams.main, &streams.call, &streams.jump, &streams.rc};
  size_t total = kFilteredHeaderSize;
  for (const auto* part : parts) total += part->size();

  std::vector<uint8_t> filtered(kFilteredHeaderSize);
  filtered.reserve(total);
  PutLe32(&filtered[0], archiveSize);
  for (size_t i = 0; i < 4; ++i) PutLe32(&filtered[4 + 4 * i], CheckedSize32(parts[i]->size()));
  for (const auto* part : parts) filtered.insert(filtered.end(), part->begin(), part->end());
  return filtered;
}

bool LzmaAloneEncode(const uint8_t* data, size_t size, const LzmaOptions& options, std::vector<uint8_t>& out,
                     std::string& error) {
  // The SDK refuses these too, but without saying which.
  if (options.lc > 8 || options.lp > 4 || options.pb > 4) {
    error = "LZMA settings out of range: lc " + std::to_string(options.lc) + ", lp " + std::to_string(options.lp) +
            ", pb " + std::to_string(options.pb) + " (limits 8, 4, 4)";
    return false;
  }
  LzmaEncoder encoder;
  if (encoder.get() == nullptr) {
    error = "out of memory for the LZMA encoder";
    return false;
  }
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = 9;
  props.fb = 273;
  props.lc = static_cast<int>(options.lc);
  props.lp = static_cast<int>(options.lp);
  props.pb = static_cast<int>(options.pb);
  props.dictSize = options.dictionarySize;
  props.numThreads = 1;
  props.writeEndMark = 0;
  SRes res = LzmaEnc_SetProps(encoder.get(), &props);
  if (res != SZ_OK) {
    error = SdkErrorText(res);
    return false;
  }

  try {
    out.assign(kLzmaAloneHeaderSize, 0);
    out.reserve(kLzmaAloneHeaderSize + size / 4 + 1024);
  } catch (const std::bad_alloc&) {
    error = "out of memory for the compressed data";
    return false;
  }
  SizeT propsSize = LZMA_PROPS_SIZE;
  res = LzmaEnc_WriteProperties(encoder.get(), out.data(), &propsSize);
  if (res != SZ_OK) {
    error = SdkErrorText(res);
    return false;
  }
  const uint64_t size64 = size;
  for (int i = 0; i < 8; ++i) out[5 + static_cast<size_t>(i)] = static_cast<uint8_t>(size64 >> (8 * i));

  MemoryInStream in{{MemoryInStream::Read}, data, size};
  VectorOutStream sink{{VectorOutStream::Write}, &out};
  res = LzmaEnc_Encode(encoder.get(), &sink.vt, &in.vt, nullptr, &kSdkAlloc, &kSdkAlloc);
  if (res != SZ_OK) {
    error = SdkErrorText(res);
    return false;
  }
  return true;
}

uint32_t PayloadDictionarySize(size_t filteredSize) {
  if (filteredSize >= kMaxDictionary) return kMaxDictionary;
  uint32_t power = kMinDictionary;
  for (;;) {
    if (power >= filteredSize) return power;
    const uint32_t oneAndHalf = power / 2 * 3;
    if (oneAndHalf >= filteredSize) return oneAndHalf;
    power *= 2;
  }
}

bool EncodePayload(const uint8_t* archive, size_t size, std::vector<uint8_t>& payload, std::string& error) {
  constexpr size_t kMax32 = std::numeric_limits<uint32_t>::max();
  if (size > kMax32) {
    error = "archive of " + std::to_string(size) + " bytes is too large: the payload records its size in 32 bits";
    return false;
  }
  try {
    std::vector<uint8_t> filtered;
    {
      const Bcj2Streams streams = Bcj2Encode(archive, size);
      if (streams.main.size() + streams.call.size() + streams.jump.size() != size) {
        error = "BCJ2 encoder produced inconsistent streams";
        return false;
      }
      filtered = MakeFilteredArchive(streams, static_cast<uint32_t>(size));
    }
    if (filtered.size() > kMax32) {
      error = "filtered archive of " + std::to_string(filtered.size()) +
              " bytes is too large: the stub reads only the lower 32 bits of its size";
      return false;
    }
    LzmaOptions options;
    options.dictionarySize = PayloadDictionarySize(filtered.size());
    if (!LzmaAloneEncode(filtered.data(), filtered.size(), options, payload, error)) return false;
    if (payload.size() > kMax32) {
      error = "payload of " + std::to_string(payload.size()) + " bytes is too large for a resource";
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    error = "out of memory while encoding an archive of " + std::to_string(size) + " bytes";
  } catch (const std::exception& e) {
    error = e.what();
  }
  return false;
}

#include "lzma_stage.h"

#include "LzmaDec.h"
#include "payload_layout.h"

namespace {

// Recent SDK releases hand the callbacks the ISzAlloc record as a pointer to
// const, older ones as void*; take whichever the SDK in use declares, so this
// file builds against both (the benchmark compares them).
template <typename Callback>
struct FirstParameter;
template <typename Result, typename First, typename Second>
struct FirstParameter<Result (*)(First, Second)> {
  using Type = First;
};
using AllocRecord = FirstParameter<decltype(ISzAlloc::Alloc)>::Type;

// ISzAlloc record that routes the decoder's requests to a ByteAllocator. The
// record must stay the first member: the callbacks get its address back.
struct AllocBridge {
  ISzAlloc record;
  const ByteAllocator* allocator;
};

const ByteAllocator& AllocatorOf(AllocRecord record) {
  return *reinterpret_cast<const AllocBridge*>(record)->allocator;
}

void* BridgeAlloc(AllocRecord record, size_t size) {
  const ByteAllocator& allocator = AllocatorOf(record);
  return allocator.allocate(allocator.context, size);
}

void BridgeFree(AllocRecord record, void* block) {
  const ByteAllocator& allocator = AllocatorOf(record);
  allocator.release(allocator.context, block);
}

// Owns the decoder's probability table and dictionary. LzmaDec_Free runs on
// every path; on a decoder that holds nothing it releases two null blocks.
class DecoderState {
public:
  explicit DecoderState(const ByteAllocator& allocator) {
    bridge_.record.Alloc = BridgeAlloc;
    bridge_.record.Free = BridgeFree;
    bridge_.allocator = &allocator;
    LzmaDec_Construct(&decoder_);
  }
  ~DecoderState() { LzmaDec_Free(&decoder_, &bridge_.record); }
  DecoderState(const DecoderState&) = delete;
  DecoderState& operator=(const DecoderState&) = delete;

  // False for a properties byte of 225 or more or a refused allocation.
  bool Allocate(const uint8_t* properties) {
    return LzmaDec_Allocate(&decoder_, properties, kLzmaPropertiesSize, &bridge_.record) == SZ_OK;
  }

  CLzmaDec* Decoder() { return &decoder_; }

private:
  AllocBridge bridge_;
  CLzmaDec decoder_;
};

}  // namespace

bool DecodeLzmaStage(const uint8_t* payload, uint32_t length, const ByteAllocator& allocator,
                     HeapBuffer& filtered) {
  filtered.Reset();
  if (length < kLzmaHeaderSize) return false;

  bool decoded = false;
  {
    DecoderState state(allocator);
    if (!state.Allocate(payload)) return false;
    LzmaDec_Init(state.Decoder());

    // Only the lower half of the 64-bit size field counts.
    const uint32_t declaredSize = ReadLe32(payload + kLzmaSizeFieldOffset);
    if (!filtered.Allocate(allocator, declaredSize)) return false;

    SizeT produced = declaredSize;
    SizeT consumed = length - kLzmaHeaderSize;
    ELzmaStatus status;
    const SRes result = LzmaDec_DecodeToBuf(state.Decoder(), filtered.Data(), &produced,
                                            payload + kLzmaHeaderSize, &consumed,
                                            LZMA_FINISH_END, &status);
    // SZ_OK alone does not mean the stream ended at D bytes. Input that runs
    // out, or an end marker, before D bytes also gives SZ_OK and leaves the
    // rest of the block unwritten. And at D bytes, when the input left over
    // is too short to hold one more whole symbol, the end check gives up with
    // "needs more input" instead of a data error, although the stream goes
    // on past D. Only the two finished states mean it ended right there.
    decoded = result == SZ_OK && produced == declaredSize &&
              (status == LZMA_STATUS_FINISHED_WITH_MARK || status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);
  }  // Probability table and dictionary are released here, before the check.
  if (!decoded) filtered.Reset();
  return decoded;
}

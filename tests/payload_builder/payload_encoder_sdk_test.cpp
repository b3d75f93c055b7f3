// The payload encoder against the current LZMA SDK's decoders: LzmaDec and the
// streaming Bcj2Dec, which report exactly how much of each stream they used.
#include <gtest/gtest.h>

#include <cstdlib>

#include "encoder_cases.h"
#include "payload_encoder.h"

extern "C" {
#include "Bcj2.h"
#include "LzmaDec.h"
}

namespace {

void* Alloc(ISzAllocPtr, size_t size) { return std::malloc(size); }
void Free(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kAlloc = {Alloc, Free};

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

class RoundTripSdk : public testing::TestWithParam<EncoderCase> {};

TEST_P(RoundTripSdk, EveryStreamIsUsedToItsLastByte) {
  const EncoderCase& c = GetParam();
  std::vector<uint8_t> payload;
  std::string error;
  ASSERT_TRUE(EncodePayload(c.data.data(), c.data.size(), payload, error)) << error;
  ASSERT_GE(payload.size(), kLzmaAloneHeaderSize);

  const uint32_t declared = Le32(&payload[5]);
  ASSERT_EQ(Le32(&payload[9]), 0u);
  std::vector<uint8_t> filtered(declared);
  SizeT outSize = filtered.size();
  SizeT inSize = payload.size() - kLzmaAloneHeaderSize;
  ELzmaStatus status;
  ASSERT_EQ(LzmaDecode(filtered.data(), &outSize, payload.data() + kLzmaAloneHeaderSize, &inSize, payload.data(),
                       LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &kAlloc),
            SZ_OK);
  EXPECT_EQ(outSize, filtered.size());
  EXPECT_EQ(inSize, payload.size() - kLzmaAloneHeaderSize);
  EXPECT_EQ(status, LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);

  ASSERT_GE(filtered.size(), kFilteredHeaderSize);
  const uint32_t n = Le32(&filtered[0]);
  uint32_t sizes[BCJ2_NUM_STREAMS];
  for (int i = 0; i < BCJ2_NUM_STREAMS; ++i) sizes[i] = Le32(&filtered[4 + 4 * static_cast<size_t>(i)]);

  CBcj2Dec dec;
  Bcj2Dec_Init(&dec);
  const uint8_t* at = filtered.data() + kFilteredHeaderSize;
  for (int i = 0; i < BCJ2_NUM_STREAMS; ++i) {
    dec.bufs[i] = at;
    dec.lims[i] = at + sizes[i];
    at += sizes[i];
  }
  ASSERT_EQ(at, filtered.data() + filtered.size());
  std::vector<uint8_t> archive(n);
  dec.dest = archive.data();
  dec.destLim = archive.data() + archive.size();
  ASSERT_EQ(Bcj2Dec_Decode(&dec), SZ_OK);

  EXPECT_EQ(dec.dest, dec.destLim);
  for (int i = 0; i < BCJ2_NUM_STREAMS; ++i) EXPECT_EQ(dec.bufs[i], dec.lims[i]) << "stream " << i;
  EXPECT_TRUE(Bcj2Dec_IsMaybeFinished(&dec));
  EXPECT_EQ(archive, c.data);
}

INSTANTIATE_TEST_SUITE_P(Cases, RoundTripSdk, testing::ValuesIn(EncoderCases()),
                         [](const testing::TestParamInfo<EncoderCase>& param) { return TestNameFor(param.param); });

}  // namespace

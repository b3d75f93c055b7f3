// The payload encoder against the decoders the stub uses (LZMA SDK 9.22), and
// against xz as an outside reader of LZMA-alone.
#include "payload_encoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "encoder_cases.h"
#include "payload_reader.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
  return uint32_t{v[at]} | uint32_t{v[at + 1]} << 8 | uint32_t{v[at + 2]} << 16 | uint32_t{v[at + 3]} << 24;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> payload;
  std::string error;
  EXPECT_TRUE(EncodePayload(data.data(), data.size(), payload, error)) << error;
  return payload;
}

class RoundTrip : public testing::TestWithParam<EncoderCase> {};

TEST_P(RoundTrip, DecodesToTheInputWithEveryStreamUsed) {
  const EncoderCase& c = GetParam();
  const std::vector<uint8_t> payload = Encode(c.data);

  DecodedPayload d;
  ASSERT_EQ(DecodePayload922(payload, d), "");
  EXPECT_EQ(d.archive, c.data);

  EXPECT_EQ(d.properties, 0x5D);  // lc 3, lp 0, pb 2
  EXPECT_EQ(d.dictionarySize, PayloadDictionarySize(d.filtered.size()));
  EXPECT_EQ(d.declaredSize, d.filtered.size());  // exact, upper 32 bits zero
  EXPECT_EQ(d.lzmaInputUsed, payload.size() - kLzmaAloneHeaderSize);

  EXPECT_EQ(d.archiveSize, c.data.size());
  EXPECT_EQ(uint64_t{d.mainSize} + d.callSize + d.jumpSize, d.archiveSize);
  EXPECT_EQ(kFilteredHeaderSize + d.mainSize + d.callSize + d.jumpSize + d.rcSize, d.filtered.size());
  EXPECT_EQ(d.callSize % 4, 0u);
  EXPECT_EQ(d.jumpSize % 4, 0u);
  if (!c.endsInBranchOpcode) {
    EXPECT_EQ(CheckStreamsUsedUp922(d), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RoundTrip, testing::ValuesIn(EncoderCases()),
                         [](const testing::TestParamInfo<EncoderCase>& param) { return TestNameFor(param.param); });

TEST(Bcj2Encode, ConvertsBranchesWithTargetsInsideTheData) {
  // 23 bytes. At 0 a call to 22, the last byte: converted. At 5 a call to 23,
  // just past the end: kept. At 10 a jump to 3 and at 15 a jz to 0: converted.
  const std::vector<uint8_t> code = {0xE8, 0x11, 0x00, 0x00, 0x00,        //
                                     0xE8, 0x0D, 0x00, 0x00, 0x00,        //
                                     0xE9, 0xF4, 0xFF, 0xFF, 0xFF,        //
                                     0x0F, 0x84, 0xEB, 0xFF, 0xFF, 0xFF,  //
                                     0x90, 0x90};
  const Bcj2Streams s = Bcj2Encode(code.data(), code.size());
  EXPECT_EQ(s.main, (std::vector<uint8_t>{0xE8, 0xE8, 0x0D, 0x00, 0x00, 0x00, 0xE9, 0x0F, 0x84, 0x90, 0x90}));
  EXPECT_EQ(s.call, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x16}));  // big-endian absolute targets
  EXPECT_EQ(s.jump, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_GE(s.rc.size(), 5u);
}

TEST(Bcj2Encode, EmptyInputGivesOnlyTheRangeCoderFlush) {
  const Bcj2Streams s = Bcj2Encode(nullptr, 0);
  EXPECT_TRUE(s.main.empty());
  EXPECT_TRUE(s.call.empty());
  EXPECT_TRUE(s.jump.empty());
  EXPECT_EQ(s.rc.size(), 5u);
}

TEST(MakeFilteredArchive, WritesTheHeaderThenTheStreamsInOrder) {
  Bcj2Streams s;
  s.main = {1, 2, 3};
  s.call = {4, 4, 4, 4};
  s.jump = {};
  s.rc = {5, 6};
  const std::vector<uint8_t> f = MakeFilteredArchive(s, 0x01020304);
  ASSERT_EQ(f.size(), 20u + 3 + 4 + 0 + 2);
  EXPECT_EQ(Le32(f, 0), 0x01020304u);
  EXPECT_EQ(Le32(f, 4), 3u);
  EXPECT_EQ(Le32(f, 8), 4u);
  EXPECT_EQ(Le32(f, 12), 0u);
  EXPECT_EQ(Le32(f, 16), 2u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 20, f.end()), (std::vector<uint8_t>{1, 2, 3, 4, 4, 4, 4, 5, 6}));
}

TEST(PayloadDictionarySize, SmallestSizeThatHoldsTheDataWithinLimits) {
  const struct {
    size_t filtered;
    uint32_t dictionary;
  } rows[] = {
      {0, 4096},
      {4096, 4096},
      {4097, 6144},
      {6145, 8192},
      {1u << 20, 1u << 20},
      {(1u << 20) + 1, 3u << 19},
      {5389917, 6u << 20},  // the size of the delivered payload's filtered archive
      {(6u << 20) + 1, 8u << 20},
      {8u << 20, 8u << 20},
      {100u << 20, 8u << 20},
  };
  for (const auto& row : rows) EXPECT_EQ(PayloadDictionarySize(row.filtered), row.dictionary) << row.filtered;
}

TEST(LzmaAloneEncode, RecordsTheGivenSettings) {
  const std::vector<uint8_t> data = SyntheticCode(50000, 3);
  LzmaOptions options;
  options.lc = 0;
  options.lp = 2;
  options.pb = 0;
  options.dictionarySize = 1u << 16;
  std::vector<uint8_t> payload;
  std::string error;
  ASSERT_TRUE(LzmaAloneEncode(data.data(), data.size(), options, payload, error)) << error;
  EXPECT_EQ(payload[0], 0 + 9 * (2 + 5 * 0));
  EXPECT_EQ(Le32(payload, 1), 1u << 16);
  EXPECT_EQ(Le32(payload, 5), data.size());
  EXPECT_EQ(Le32(payload, 9), 0u);
}

TEST(LzmaAloneEncode, RefusesSettingsOutOfRange) {
  const uint8_t byte = 0;
  const struct { unsigned lc, lp, pb; } rows[] = {{9, 0, 2}, {3, 5, 2}, {3, 0, 5}};
  for (const auto& row : rows) {
    LzmaOptions options;
    options.lc = row.lc;
    options.lp = row.lp;
    options.pb = row.pb;
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(LzmaAloneEncode(&byte, 1, options, out, error));
    EXPECT_NE(error.find("out of range"), std::string::npos) << error;
  }
}

TEST(EncodePayload, RefusesAnArchiveOf4GiBOrMore) {
  if (sizeof(size_t) < 8) GTEST_SKIP() << "needs a 64-bit size_t";
  // The size is refused before any byte is read.
  const uint8_t byte = 0;
  std::vector<uint8_t> payload;
  std::string error;
  EXPECT_FALSE(EncodePayload(&byte, size_t{0xFFFFFFFF} + 1, payload, error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

// liblzma's xz reads LZMA-alone on its own terms: a second, independent
// decoder for the LZMA stage.
TEST(EncodePayload, LzmaStageDecodesWithXz) {
  const std::vector<uint8_t> data = SyntheticCode(200000, 9);
  const std::vector<uint8_t> payload = Encode(data);
  DecodedPayload d;
  ASSERT_EQ(DecodePayload922(payload, d), "");

  char dir[] = "/tmp/payload_xz_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string in = std::string(dir) + "/p.lzma";
  const std::string out = std::string(dir) + "/p";
  std::ofstream(in, std::ios::binary)
      .write(reinterpret_cast<const char*>(payload.data()), static_cast<std::streamsize>(payload.size()));
  const std::string command = "xz --format=lzma --decompress --stdout '" + in + "' > '" + out + "'";
  const int status = std::system(command.c_str());
  std::ifstream result(out, std::ios::binary);
  const std::vector<uint8_t> decoded((std::istreambuf_iterator<char>(result)), std::istreambuf_iterator<char>());
  std::remove(in.c_str());
  std::remove(out.c_str());
  rmdir(dir);
  ASSERT_EQ(status, 0) << command;
  EXPECT_EQ(decoded, d.filtered);
}

}  // namespace

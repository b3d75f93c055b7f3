// Payload decoding in memory (LZMA, then BCJ2): round trips through the
// publisher's encoder, the result codes, and the faults of damaged payloads.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decode_payload.h"
#include "payload_encoder.h"
#include "tar_builder.h"
#include "test_data.h"
#include "tracking_allocator.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe32(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const Bytes& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
  return value;
}

Bytes Encode(const std::string& archive) {
  Bytes payload;
  std::string error;
  EXPECT_TRUE(EncodePayload(reinterpret_cast<const uint8_t*>(archive.data()), archive.size(), payload, error))
      << error;
  return payload;
}

Bytes Compress(const Bytes& filtered, const LzmaOptions& options = LzmaOptions()) {
  Bytes payload;
  std::string error;
  EXPECT_TRUE(LzmaAloneEncode(filtered.data(), filtered.size(), options, payload, error)) << error;
  return payload;
}

// Decodes through a tracking allocator and checks that nothing but the
// archive is held afterwards, and nothing at all after a failure.
int32_t Decode(const Bytes& payload, std::string* archive = nullptr, TrackingAllocator* tracker = nullptr) {
  TrackingAllocator own;
  TrackingAllocator& allocator = tracker != nullptr ? *tracker : own;
  HeapBuffer out;
  const int32_t result =
      DecodePayload(payload.data(), static_cast<uint32_t>(payload.size()), out, allocator.Allocator());
  if (result == kPayloadDecoded) {
    EXPECT_EQ(allocator.Held(), out.Size() != 0 ? out.Size() : 1u);
    if (archive != nullptr) archive->assign(reinterpret_cast<const char*>(out.Data()), out.Size());
  } else {
    EXPECT_TRUE(out.Empty());
    EXPECT_EQ(allocator.Held(), 0u);
  }
  out.Reset();
  EXPECT_EQ(allocator.Held(), 0u);
  return result;
}

std::string TarWithCode() {
  const Bytes bytes = TarBuilder()
                          .Member("ZinUpdate.exe", X86LikeCode(150000, 1))
                          .Member("readme.txt", "plain text\n")
                          .Member("data.bin", PatternData(40000, 2))
                          .End()
                          .Bytes();
  return std::string(bytes.begin(), bytes.end());
}

TEST(DecodePayload, RoundTripsWhatTheEncoderMakes) {
  const struct {
    const char* what;
    std::string archive;
  } cases[] = {
      {"empty archive", ""},
      {"one byte", "x"},
      {"branch opcode as the very last byte", "abc\xE8"},
      {"x86 code", X86LikeCode(300000, 3)},
      {"incompressible data", PatternData(100000, 4)},
      {"tar archive with code and data", TarWithCode()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string archive;
    EXPECT_EQ(Decode(Encode(c.archive), &archive), kPayloadDecoded);
    EXPECT_TRUE(archive == c.archive);
  }
}

TEST(DecodePayload, HoldsNoMoreThanTheTwoStagesNeed) {
  const std::string original = X86LikeCode(200000, 5);
  const Bytes payload = Encode(original);
  const uint32_t filteredSize = GetLe32(payload, 5);
  const uint32_t dictionary = GetLe32(payload, 1);
  const size_t table = (1846 + (768u << 3)) * 2;  // lc 3, lp 0

  TrackingAllocator tracker;
  std::string archive;
  ASSERT_EQ(Decode(payload, &archive, &tracker), kPayloadDecoded);
  // LZMA stage: filtered archive, dictionary, probability table; then the
  // filtered archive and the archive. Nothing else, and no copies.
  EXPECT_EQ(tracker.Peak(), std::max<size_t>(filteredSize + dictionary + table, filteredSize + original.size()));
  EXPECT_EQ(tracker.Requests().size(), 4u);
}

TEST(DecodePayload, RefusesPayloadsShorterThanTheLzmaHeader) {
  const Bytes full = Encode("some archive");
  for (size_t length : {0, 1, 5, 12}) {
    SCOPED_TRACE(length);
    TrackingAllocator tracker;
    EXPECT_EQ(Decode(Bytes(full.begin(), full.begin() + length), nullptr, &tracker), kPayloadLzmaFailed);
    EXPECT_TRUE(tracker.Requests().empty());
  }
}

TEST(DecodePayload, PropertiesByteMustBeBelow225) {
  const std::string original = X86LikeCode(20000, 6);
  const Bytes filtered = [&] {
    const Bcj2Streams streams = Bcj2Encode(reinterpret_cast<const uint8_t*>(original.data()), original.size());
    return MakeFilteredArchive(streams, static_cast<uint32_t>(original.size()));
  }();
  LzmaOptions widest;
  widest.lc = 8;
  widest.lp = 4;
  widest.pb = 4;
  const Bytes payload224 = Compress(filtered, widest);
  ASSERT_EQ(payload224[0], 224);
  std::string archive;
  EXPECT_EQ(Decode(payload224, &archive), kPayloadDecoded);
  EXPECT_TRUE(archive == original);

  for (int properties : {225, 226, 255}) {
    SCOPED_TRACE(properties);
    Bytes payload = payload224;
    payload[0] = static_cast<uint8_t>(properties);
    TrackingAllocator tracker;
    EXPECT_EQ(Decode(payload, nullptr, &tracker), kPayloadLzmaFailed);
    // Refused before anything is allocated or decoded.
    EXPECT_TRUE(tracker.Requests().empty());
  }
}

TEST(DecodePayload, DictionaryIsTheFieldRaisedTo4096) {
  const std::string original = PatternData(3000, 7);
  LzmaOptions options;
  options.dictionarySize = 4096;
  const Bytes filtered = MakeFilteredArchive(
      Bcj2Encode(reinterpret_cast<const uint8_t*>(original.data()), original.size()),
      static_cast<uint32_t>(original.size()));
  const Bytes encoded = Compress(filtered, options);

  const struct {
    uint32_t field;
    size_t dictionary;
  } cases[] = {{0, 4096}, {1, 4096}, {4095, 4096}, {4096, 4096}, {5000, 5000}, {1u << 20, 1u << 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    Bytes payload = encoded;
    PutLe32(payload, 1, c.field);
    TrackingAllocator tracker;
    std::string archive;
    EXPECT_EQ(Decode(payload, &archive, &tracker), kPayloadDecoded);
    EXPECT_TRUE(archive == original);
    // Probability table, then the dictionary of exactly that size.
    ASSERT_GE(tracker.Requests().size(), 2u);
    EXPECT_EQ(tracker.Requests()[1], c.dictionary);
  }
}

TEST(DecodePayload, OnlyTheLowerHalfOfTheDeclaredSizeCounts) {
  const std::string original = X86LikeCode(10000, 8);
  Bytes payload = Encode(original);
  for (size_t i = 9; i < 13; ++i) payload[i] = 0xFF;
  std::string archive;
  EXPECT_EQ(Decode(payload, &archive), kPayloadDecoded);
  EXPECT_TRUE(archive == original);
}

TEST(DecodePayload, LzmaStreamMustYieldExactlyTheDeclaredSize) {
  const Bytes good = Encode(X86LikeCode(50000, 9));
  const uint32_t declared = GetLe32(good, 5);
  const struct {
    const char* what;
    int64_t sizeChange;
    size_t cut;
  } cases[] = {
      // Not D - 1: the data ends in a zero byte, which costs the range coder
      // nothing, so stopping just before it looks like a clean end (the byte
      // missing from the filtered archive is then caught by its layout).
      {"data goes on past the declared size", -2, 0},
      {"declared size far below the data", -1000, 0},
      {"input runs out before the declared size", +1, 0},
      {"input truncated", 0, 100},
      {"only the header", 0, good.size() - 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes payload(good.begin(), good.end() - static_cast<ptrdiff_t>(c.cut));
    PutLe32(payload, 5, static_cast<uint32_t>(declared + c.sizeChange));
    EXPECT_EQ(Decode(payload), kPayloadLzmaFailed);
  }
}

// Builds a filtered archive from BCJ2 streams and wraps it in LZMA.
Bytes PayloadFromStreams(const Bcj2Streams& streams, uint32_t archiveSize) {
  return Compress(MakeFilteredArchive(streams, archiveSize));
}

TEST(DecodePayload, Bcj2StreamFaultsAndLeftovers) {
  const std::string original = X86LikeCode(120000, 10);
  const uint32_t size = static_cast<uint32_t>(original.size());
  const Bcj2Streams streams = Bcj2Encode(reinterpret_cast<const uint8_t*>(original.data()), original.size());
  // The data has to exercise both target streams for the cases to mean anything.
  ASSERT_GE(streams.call.size(), 64u);
  ASSERT_GE(streams.jump.size(), 64u);

  const struct {
    const char* what;
    int stream;      // 0 main, 1 call, 2 jump, 3 range coder
    int64_t change;  // bytes added (positive) or cut from the end (negative)
    int64_t archiveSizeChange;
    int32_t expected;
  } cases[] = {
      {"main stream ends first", 0, -1, 0, kPayloadBcj2Failed},
      {"call stream one target short", 1, -4, 0, kPayloadBcj2Failed},
      {"call stream 3 bytes for the last target", 1, -1, 0, kPayloadBcj2Failed},
      {"jump stream one target short", 2, -4, 0, kPayloadBcj2Failed},
      {"jump stream 2 bytes for the last target", 2, -2, 0, kPayloadBcj2Failed},
      {"range coder runs out", 3, -static_cast<int64_t>(streams.rc.size() / 2), 0, kPayloadBcj2Failed},
      {"range coder empty", 3, -static_cast<int64_t>(streams.rc.size()), 0, kPayloadBcj2Failed},
      {"archive size beyond the streams", 0, 0, +1, kPayloadBcj2Failed},
      {"main stream leftover", 0, +7, 0, kPayloadDecoded},
      {"call stream leftover", 1, +5, 0, kPayloadDecoded},
      {"call stream leftover, whole target", 1, +4, 0, kPayloadDecoded},
      {"jump stream leftover", 2, +3, 0, kPayloadDecoded},
      {"range coder leftover", 3, +9, 0, kPayloadDecoded},
      {"archive size below the streams", 0, 0, -1, kPayloadDecoded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bcj2Streams changed = streams;
    std::vector<uint8_t>* parts[] = {&changed.main, &changed.call, &changed.jump, &changed.rc};
    std::vector<uint8_t>& part = *parts[c.stream];
    if (c.change < 0) {
      part.resize(part.size() - static_cast<size_t>(-c.change));
    } else {
      part.insert(part.end(), static_cast<size_t>(c.change), 0xA5);
    }
    const uint32_t archiveSize = static_cast<uint32_t>(size + c.archiveSizeChange);
    std::string archive;
    EXPECT_EQ(Decode(PayloadFromStreams(changed, archiveSize), &archive), c.expected);
    if (c.expected == kPayloadDecoded) {
      EXPECT_TRUE(archive == original.substr(0, archiveSize));
    }
  }
}

TEST(DecodePayload, StreamHeaderMustFitTheFilteredArchive) {
  const std::string original = X86LikeCode(30000, 11);
  const Bytes filtered = MakeFilteredArchive(
      Bcj2Encode(reinterpret_cast<const uint8_t*>(original.data()), original.size()),
      static_cast<uint32_t>(original.size()));
  const uint32_t main = GetLe32(filtered, 4);

  const struct {
    const char* what;
    size_t keep;             // bytes of the filtered archive kept (its declared size)
    int field;               // header field to set (1 M .. 4 R), or 0 for none
    uint32_t value;
    int32_t expected;
  } cases[] = {
      {"nothing at all", 0, 0, 0, kPayloadBcj2Failed},
      {"half a stream header", 10, 0, 0, kPayloadBcj2Failed},
      {"header one byte short", 19, 0, 0, kPayloadBcj2Failed},
      {"streams one byte past the end", filtered.size() - 1, 0, 0, kPayloadBcj2Failed},
      {"main stream one byte too long", filtered.size(), 1, main + 1, kPayloadBcj2Failed},
      {"sizes that wrap round 32 bits", filtered.size(), 1, 0xFFFFFFF0u, kPayloadBcj2Failed},
      {"range coder size all ones", filtered.size(), 4, 0xFFFFFFFFu, kPayloadBcj2Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes changed(filtered.begin(), filtered.begin() + static_cast<ptrdiff_t>(c.keep));
    if (c.field != 0) PutLe32(changed, 4 * static_cast<size_t>(c.field), c.value);
    EXPECT_EQ(Decode(Compress(changed)), c.expected);
  }

  // Bytes after the last stream are allowed.
  Bytes padded = filtered;
  padded.insert(padded.end(), 100, 0x5A);
  std::string archive;
  EXPECT_EQ(Decode(Compress(padded), &archive), kPayloadDecoded);
  EXPECT_TRUE(archive == original);
}

TEST(DecodePayload, RefusedAllocationsFailCleanly) {
  const Bytes payload = Encode(X86LikeCode(20000, 12));
  // Requests in order: probability table, dictionary, filtered archive, archive.
  for (size_t failAt = 0; failAt < 4; ++failAt) {
    SCOPED_TRACE(failAt);
    TrackingAllocator tracker(failAt);
    EXPECT_EQ(Decode(payload, nullptr, &tracker), kPayloadLzmaFailed);
    EXPECT_EQ(tracker.Requests().size(), failAt + 1);
  }
}

TEST(DecodePayload, HugeSizesFailWithoutCrashing) {
  const Bytes good = Encode(X86LikeCode(20000, 13));
  const struct {
    const char* what;
    size_t offset;
    uint32_t value;
  } cases[] = {
      {"declared size near 4 GiB", 5, 0xFFFFFFF0u},
      {"declared size all ones (the format's 'unknown')", 5, 0xFFFFFFFFu},
      {"dictionary near 4 GiB", 1, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes payload = good;
    PutLe32(payload, c.offset, c.value);
    // What a 32-bit process could plausibly get.
    TrackingAllocator tracker(TrackingAllocator::kNever, 1u << 30);
    EXPECT_EQ(Decode(payload, nullptr, &tracker), kPayloadLzmaFailed);
  }

  // A huge archive size in the stream header fails at its allocation too.
  const std::string original = X86LikeCode(5000, 14);
  const Bytes filtered = MakeFilteredArchive(
      Bcj2Encode(reinterpret_cast<const uint8_t*>(original.data()), original.size()), 0xFFFFFFF0u);
  TrackingAllocator tracker(TrackingAllocator::kNever, 1u << 30);
  EXPECT_EQ(Decode(Compress(filtered), nullptr, &tracker), kPayloadLzmaFailed);
}

// An LZMA-alone stream from an encoder other than the SDK's: xz writes the
// size as unknown and ends with an end marker.
class XzStream : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::system("xz --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xz is not installed";
    original_ = X86LikeCode(60000, 15);
    filtered_ = MakeFilteredArchive(Bcj2Encode(reinterpret_cast<const uint8_t*>(original_.data()), original_.size()),
                                    static_cast<uint32_t>(original_.size()));
    const std::string stem = ::testing::TempDir() + "payload_xz_" + std::to_string(getpid());
    const std::string in = stem + ".in";
    const std::string out = stem + ".lzma";
    {
      std::ofstream file(in, std::ios::binary);
      file.write(reinterpret_cast<const char*>(filtered_.data()), static_cast<std::streamsize>(filtered_.size()));
    }
    ASSERT_EQ(std::system(("xz --format=lzma -c '" + in + "' > '" + out + "'").c_str()), 0);
    std::ifstream file(out, std::ios::binary);
    xz_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    std::remove(in.c_str());
    std::remove(out.c_str());
    ASSERT_GT(xz_.size(), 13u);
  }

  std::string original_;
  Bytes filtered_;
  Bytes xz_;
};

TEST_F(XzStream, DecodesWithItsSizeFieldSetToTheRealLength) {
  Bytes payload = xz_;
  PutLe32(payload, 5, static_cast<uint32_t>(filtered_.size()));
  PutLe32(payload, 9, 0);
  std::string archive;
  EXPECT_EQ(Decode(payload, &archive), kPayloadDecoded);
  EXPECT_TRUE(archive == original_);
}

TEST_F(XzStream, EndMarkerCutShortIsAFailure) {
  // Every data byte is there; only the marker after them is incomplete, so
  // the stream does not end where its D-th byte comes out.
  Bytes payload(xz_.begin(), xz_.end() - 1);
  PutLe32(payload, 5, static_cast<uint32_t>(filtered_.size()));
  PutLe32(payload, 9, 0);
  EXPECT_EQ(Decode(payload), kPayloadLzmaFailed);
}

TEST_F(XzStream, EndMarkerBeforeTheDeclaredSizeIsAFailure) {
  Bytes payload = xz_;
  PutLe32(payload, 5, static_cast<uint32_t>(filtered_.size() + 1));
  PutLe32(payload, 9, 0);
  EXPECT_EQ(Decode(payload), kPayloadLzmaFailed);
}

}  // namespace

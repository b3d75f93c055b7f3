// The tag reader over crafted images written to real files: one table of
// images and the tag each must give (or none), then the size-probe protocol
// and the reader's life cycle. The same source runs on the host (mmap) and on
// Windows under Wine (the stub's Win32 mapping).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tag/read_tag.h"
#include "test_image.h"

namespace fs = std::filesystem;

namespace {

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};
using TagText = std::unique_ptr<char, FreeDeleter>;

// A private directory for one test's files, removed afterwards.
class TagFiles : public ::testing::Test {
protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::ostringstream name;
#if defined(_WIN32)
    name << "tag-reader-" << GetCurrentProcessId();
#else
    name << "tag-reader-" << getpid();
#endif
    name << "-" << info->name();
    std::string leaf = name.str();
    for (char& c : leaf) {
      if (c == '/') c = '_';
    }
    directory_ = fs::temp_directory_path() / leaf;
    fs::create_directories(directory_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  fs::path Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = directory_ / name;
    EXPECT_TRUE(WriteBytes(path, bytes)) << path.string();
    return path;
  }

  fs::path directory_;
};

// True when no handle, descriptor or mapping of `path` is left in this
// process. On Windows a file that is still open without FILE_SHARE_DELETE, or
// still mapped, cannot be deleted; on the host the descriptor table and the
// memory map are listed directly.
#if defined(_WIN32)
bool NothingHeld(const fs::path& path, size_t) { return DeleteFileW(path.c_str()) != 0; }
size_t OpenDescriptors() { return 0; }
#else
size_t OpenDescriptors() {
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}
bool Mapped(const fs::path& path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(path.string()) != std::string::npos) return true;
  }
  return false;
}
bool NothingHeld(const fs::path& path, size_t descriptorsBefore) {
  return !Mapped(path) && OpenDescriptors() == descriptorsBefore;
}
#endif

// ---------------------------------------------------------------------------
// The table of images.

constexpr uint32_t kPage = 4096;

Bytes Signed(const Bytes& table, uint16_t machine = kMachineI386, const Bytes& program = {}) {
  ImageSpec spec;
  spec.machine = machine;
  spec.program = program;
  spec.table = table;
  return MakeImage(spec);
}

// A table whose DER blob carries the record after some certificate bytes.
Bytes RecordInBlob(const Bytes& record) {
  return CertificateEntry(SignatureBlob(Concat({Filler(300), record, Filler(40, 0)})));
}

// A table with the record appended after the blob's entry.
Bytes RecordAfterBlob(const Bytes& record) { return Concat({CertificateEntry(SignatureBlob(Filler(300))), record}); }

// An image whose table ends `cut` bytes before the end of a record that
// follows the blob; the record's bytes are all in the file.
Bytes TableEndingBeforeRecordEnd(const std::string& text, uint32_t cut) {
  Bytes image = Signed(RecordAfterBlob(TagRecord(text)));
  SetSecurityEntry(image, SecurityOffset(image), SecuritySize(image) - cut);
  return image;
}

Bytes WithNtOffset(Bytes image, uint32_t offset) {
  PutLe32(image, 60, offset);
  return image;
}

Bytes WithSecurityEntry(Bytes image, uint32_t offset, uint32_t size) {
  SetSecurityEntry(image, offset, size);
  return image;
}

struct Row {
  std::string name;
  Bytes file;
  bool found;
  std::string tag;
};

std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.name; }

std::vector<Row> ReaderRows() {
  const std::string longest(kMaxTagLength, 'x');
  const Bytes tagged = Signed(RecordInBlob(TagRecord("appguid={1}&lang=en")));

  // A file shorter than a page whose table runs into the zeros past its end.
  Bytes pastEnd = Signed(CertificateEntry(SignatureBlob(Filler(100))));
  const uint32_t pastEndTable = SecurityOffset(pastEnd);
  const Bytes shortRecord = TagRecord(6, "ab");  // four text bytes lie past the end
  pastEnd.insert(pastEnd.end(), shortRecord.begin(), shortRecord.end());
  const uint32_t pastEndSize = static_cast<uint32_t>(pastEnd.size()) - pastEndTable + 4;
  SetSecurityEntry(pastEnd, pastEndTable, pastEndSize);

  return {
      {"empty file", {}, false, ""},
      {"smaller than a DOS header", {'M', 'Z', 0, 0}, false, ""},
      {"no MZ", [&] { Bytes b = tagged; b[0] = 'X'; return b; }(), false, ""},
      {"no PE signature", [&] { Bytes b = tagged; b[kNtOffset + 2] = 1; return b; }(), false, ""},
      {"record in the DER blob", tagged, true, "appguid={1}&lang=en"},
      {"record after the blob", Signed(RecordAfterBlob(TagRecord("after"))), true, "after"},
      {"AMD64 image", Signed(RecordInBlob(TagRecord("x")), kMachineAmd64), false, ""},
      {"other machine read with the 32-bit layout", Signed(RecordInBlob(TagRecord("arm")), kMachineArmNt), true,
       "arm"},
      {"no certificate table", WithSecurityEntry(tagged, 0, SecuritySize(tagged)), false, ""},
      {"table not beginning 0x30 0x82",
       Signed(CertificateEntry(Concat({{0x30, 0x83, 0x00}, Filler(50), TagRecord("t")}))), false, ""},
      {"table under 12 bytes",
       WithSecurityEntry(tagged, SecurityOffset(tagged), 11), false, ""},
      {"record ending at the table's last byte", TableEndingBeforeRecordEnd("end", 0), true, "end"},
      {"text one byte past the table", TableEndingBeforeRecordEnd("end", 1), false, ""},
      {"length field past the table", TableEndingBeforeRecordEnd("end", 4), false, ""},
      {"magic ending at the table's last byte", TableEndingBeforeRecordEnd("end", 5), false, ""},
      {"first magic empty, second with text",
       Signed(RecordInBlob(Concat({TagRecord(0, ""), TagRecord("second")}))), false, ""},
      {"length 65,534", Signed(RecordAfterBlob(TagRecord(longest))), true, longest},
      {"length 65,535", Signed(RecordAfterBlob(TagRecord(0xFFFF, longest + "x"))), false, ""},
      {"double quote", Signed(RecordInBlob(TagRecord("a=\"b\""))), false, ""},
      {"NUL then double quote", Signed(RecordInBlob(TagRecord(std::string("ab\0\"c", 5)))), true, "ab"},
      {"8-bit text kept as it is", Signed(RecordInBlob(TagRecord("caf\xE9&x=\xFF"))), true, "caf\xE9&x=\xFF"},
      {"magic among the program's bytes only",
       Signed(CertificateEntry(SignatureBlob(Filler(64))), kMachineI386, Concat({{0xC3}, TagRecord("prog")})), false,
       ""},
      {"magic in the program and in the table",
       Signed(RecordInBlob(TagRecord("table")), kMachineI386, Concat({{0xC3}, TagRecord("prog")})), true, "table"},
      {"headers past the view", WithNtOffset(tagged, kPage - 200), false, ""},
      {"NT offset + 248 wraps", WithNtOffset(tagged, 0xFFFFFFF0u), false, ""},
      {"table offset + 12 wraps", WithSecurityEntry(tagged, 0xFFFFFFF8u, 64), false, ""},
      {"table offset + size wraps", WithSecurityEntry(tagged, SecurityOffset(tagged), 0xFFFFFFFFu), false, ""},
      {"table past the view", WithSecurityEntry(tagged, SecurityOffset(tagged), kPage), false, ""},
      {"text in the zeros past the file's end", pastEnd, true, "ab"},
  };
}

class ReaderTable : public TagFiles, public ::testing::WithParamInterface<Row> {};

TEST_P(ReaderTable, FindsTheTagOrNone) {
  const Row& row = GetParam();
  const fs::path path = Write("image.exe", row.file);
  const size_t descriptors = OpenDescriptors();

  TagText tag(ReadTagFromFile(path.c_str()));

  ASSERT_EQ(tag != nullptr, row.found);
  if (row.found) {
    EXPECT_EQ(std::string(tag.get()), row.tag);
  }
  EXPECT_TRUE(NothingHeld(path, descriptors)) << "the reader left the file open or mapped";
}

INSTANTIATE_TEST_SUITE_P(Images, ReaderTable, ::testing::ValuesIn(ReaderRows()),
                         [](const ::testing::TestParamInfo<Row>& param) {
                           std::string name;
                           for (char c : param.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

// ---------------------------------------------------------------------------
// The size-probe protocol and the reader's life cycle.

using Reader = TagFiles;

TEST_F(Reader, ProbesThenCopiesFollowingTheSizeProtocol) {
  const fs::path path = Write("tagged.exe", Signed(RecordInBlob(TagRecord("abc"))));
  SignatureTagReader reader;
  ASSERT_TRUE(reader.Open(path.c_str()));

  int32_t size = 0;
  ASSERT_TRUE(reader.FindTag(reader.View(), nullptr, &size));
  EXPECT_EQ(size, 4);

  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  int32_t tooSmall = 3;
  EXPECT_FALSE(reader.FindTag(reader.View(), buffer, &tooSmall));
  EXPECT_EQ(tooSmall, 3);
  EXPECT_EQ(buffer[0], '#') << "nothing is copied into a buffer that is too small";
  int32_t negative = -1;
  EXPECT_FALSE(reader.FindTag(reader.View(), buffer, &negative)) << "the slot compares as a signed value";

  int32_t roomy = 8;
  ASSERT_TRUE(reader.FindTag(reader.View(), buffer, &roomy));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], '#') << "only L + 1 bytes are written";

  EXPECT_FALSE(reader.FindTag(reader.View(), buffer, nullptr));
  EXPECT_FALSE(reader.FindTag(nullptr, buffer, &roomy));
}

TEST_F(Reader, LeavesTheSlotAloneWhenThereIsNoTag) {
  const fs::path path = Write("empty-tag.exe", Signed(RecordInBlob(TagRecord(0, ""))));
  SignatureTagReader reader;
  ASSERT_TRUE(reader.Open(path.c_str()));
  int32_t size = 1234;
  EXPECT_FALSE(reader.FindTag(reader.View(), nullptr, &size));
  EXPECT_EQ(size, 1234);
}

TEST_F(Reader, ViewCoversTheFileRoundedUpToPages) {
  const fs::path path = Write("small.exe", Filler(kPage + 1));
  SignatureTagReader reader;
  ASSERT_TRUE(reader.Open(path.c_str()));
  EXPECT_EQ(reader.ViewSize(), 2 * kPage);
  EXPECT_EQ(reader.View()[2 * kPage - 1], 0);
}

TEST_F(Reader, OpensAgainAndClosesOnEveryPath) {
  const fs::path first = Write("first.exe", Signed(RecordInBlob(TagRecord("one"))));
  const fs::path second = Write("second.exe", Signed(RecordInBlob(TagRecord("two"))));
  const fs::path empty = Write("empty.exe", {});
  const fs::path missing = directory_ / "missing.exe";
  const size_t descriptors = OpenDescriptors();
  {
    SignatureTagReader reader;
    EXPECT_EQ(reader.ReadTag(), nullptr) << "a closed reader has no tag";
    ASSERT_TRUE(reader.Open(first.c_str()));
    ASSERT_TRUE(reader.Open(second.c_str())) << "Open closes what the reader held";
    TagText tag(reader.ReadTag());
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag.get(), "two");
    EXPECT_FALSE(NothingHeld(second, descriptors)) << "an open reader holds its file";

    EXPECT_FALSE(reader.Open(empty.c_str()));
    EXPECT_EQ(reader.View(), nullptr);
    EXPECT_EQ(reader.ReadTag(), nullptr);
    EXPECT_FALSE(reader.Open(missing.c_str()));
    reader.Close();
    reader.Close();
  }
  EXPECT_TRUE(NothingHeld(first, descriptors));
  EXPECT_TRUE(NothingHeld(second, descriptors));
  EXPECT_TRUE(NothingHeld(empty, descriptors));

  // The destructor alone releases an open reader.
  const fs::path third = Write("third.exe", Signed(RecordInBlob(TagRecord("three"))));
  const size_t before = OpenDescriptors();
  {
    SignatureTagReader reader;
    ASSERT_TRUE(reader.Open(third.c_str()));
  }
  EXPECT_TRUE(NothingHeld(third, before));
}

TEST(ReadTagFromFile, NoPathGivesNoTag) { EXPECT_EQ(ReadTagFromFile(nullptr), nullptr); }

#if !defined(_WIN32)
TEST_F(Reader, RefusesAFifoWithoutWaitingForAWriter) {
  const fs::path fifo = directory_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadTagFromFile(fifo.c_str()), nullptr);
}
#endif

}  // namespace

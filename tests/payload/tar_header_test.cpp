// Decisions over single tar header blocks: the magic, the size field, the
// name, the next header's position and the name-safety check.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tar_builder.h"
#include "tar_header.h"

namespace {

std::vector<uint8_t> Block(const std::string& name, const std::string& size, const std::string& magic) {
  TarHeaderFields fields;
  fields.name = name;
  fields.size = size;
  fields.magic = magic;
  return MakeTarHeader(fields);
}

TEST(TarHeader, MagicDecidesBetweenMemberEndAndError) {
  using K = TarBlockKind;
  const struct {
    const char* what;
    std::string magic;  // 8 bytes at offset 257
    K expected;
  } cases[] = {
      {"POSIX ustar", std::string("ustar\0" "00", 8), K::kMember},
      {"GNU tar", std::string("ustar  \0", 8), K::kMember},
      {"anything at offset 262", std::string("ustarX99", 8), K::kMember},
      {"pre-POSIX header (no magic)", std::string(8, '\0'), K::kEndOfArchive},
      {"four zero bytes, then more", std::string("\0\0\0\0" "ar\0\0", 8), K::kEndOfArchive},
      {"three zero bytes only", std::string("\0\0\0X\0\0\0\0", 8), K::kInvalid},
      {"capitals", std::string("USTAR\0" "00", 8), K::kInvalid},
      {"one letter off", std::string("ustaR\0" "00", 8), K::kInvalid},
      {"shifted by one", std::string("\0ustar\0" "0", 8), K::kInvalid},
      {"damaged data where a header is due", "\x12\x34\x56\x78\x9A\xBC\xDE\xF0", K::kInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ClassifyTarBlock(Block("member", OctalSizeField(1), c.magic).data()), c.expected);
  }
  const std::vector<uint8_t> zero(kTarBlockSize, 0);
  EXPECT_EQ(ClassifyTarBlock(zero.data()), TarBlockKind::kEndOfArchive);
}

TEST(TarHeader, SizeFieldIsOctalWithinItsTwelveBytes) {
  const struct {
    std::string field;
    bool accepted;
    uint32_t size;
  } cases[] = {
      {OctalSizeField(0), true, 0},
      {OctalSizeField(512), true, 512},
      {OctalSizeField(513), true, 513},
      {OctalSizeField(0x40001), true, 0x40001},
      {std::string(12, '\0'), true, 0},           // no digits
      {"x12", true, 0},                           // no digits before a non-digit
      {std::string("\x80\0\0\0\0\0\0\0\0\0\x10\0", 12), true, 0},  // GNU base-256: not octal text
      {"   17 ", true, 15},                       // leading blanks, blank terminator
      {"\t\n\v\f\r 7", true, 7},
      {"1238", true, 0123},                       // stops at the first non-octal digit
      {"00000000008", true, 0},
      {"000000001000", true, 512},                // twelve digits, no terminator
      {"17777777777", true, 0x7FFFFFFF},          // 2^31 - 1
      {"20000000000", false, 0},                  // 2^31
      {"77777777777", false, 0},
      {"777777777777", false, 0},
      {"+1", false, 0},
      {"-1", false, 0},
      {"  -0", false, 0},
      {"+", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.field));
    uint32_t size = 12345;
    EXPECT_EQ(ParseTarSize(Block("member", c.field, std::string("ustar\0" "00", 8)).data(), size), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(size, c.size);
    }
  }
}

TEST(TarHeader, SizeFieldDoesNotRunIntoTheTimeField) {
  std::vector<uint8_t> block = Block("member", "000000001000", std::string("ustar\0" "00", 8));
  std::memcpy(&block[136], "77777777777", 11);  // mtime right behind, all digits
  uint32_t size = 0;
  ASSERT_TRUE(ParseTarSize(block.data(), size));
  EXPECT_EQ(size, 512u);
}

TEST(TarHeader, NameRunsToTheFirstNulOrAllHundredBytes) {
  const std::string hundred(100, 'n');
  const struct {
    std::string name;
    size_t length;
  } cases[] = {
      {"", 0},
      {"a", 1},
      {"ZinUpdate.exe", 13},
      {std::string("a\0b", 3), 1},
      {std::string(99, 'n'), 99},
      {hundred, 100},  // the mode field follows at once and is not part of it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TarNameLength(Block(c.name, OctalSizeField(0), std::string("ustar\0" "00", 8)).data()), c.length);
  }
}

TEST(TarHeader, NextHeaderIsTheSizeRoundedUpToBlocks) {
  const struct {
    uint32_t dataStart;
    uint32_t size;
    bool fits;
    uint32_t next;
  } cases[] = {
      {512, 0, true, 512},
      {512, 1, true, 1024},
      {512, 511, true, 1024},
      {512, 512, true, 1024},
      {512, 513, true, 1536},
      {512, 0x40000, true, 512 + 0x40000},
      {512, 0x40001, true, 512 + 0x40200},
      {0, 0x7FFFFFFF, true, 0x80000000u},
      {0xFFFFFC00u, 0x200, true, 0xFFFFFE00u},
      {0xFFFFFE00u, 0, true, 0xFFFFFE00u},
      {0xFFFFFE00u, 1, false, 0},  // would wrap round to offset 0
      {0x90000000u, 0x7FFFFFFF, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dataStart << " + " << c.size);
    uint32_t next = 0;
    EXPECT_EQ(NextTarHeaderOffset(c.dataStart, c.size, next), c.fits);
    if (c.fits) {
      EXPECT_EQ(next, c.next);
    }
  }
}

TEST(TarHeader, MemberNamesMustStayInsideTheOutputDirectory) {
  const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"ZinUpdate.exe", true},
      {"a", true},
      {"sub\\file.txt", true},  // works when the directory exists
      {"sub/file.txt", true},
      {".hidden", true},
      {"x\\.\\y", true},
      {"file.", true},
      {"a..b", true},
      {"..a", true},
      {"a..", true},
      {"console.txt", true},
      {"COM10", true},
      {"LPT", true},
      {"COMA", true},
      {"nul_file", true},
      {"auxiliary.dll", true},
      {"", false},
      {"\\Windows\\evil.dll", false},
      {"/etc/passwd", false},
      {"\\\\server\\share\\x", false},
      {"C:\\x", false},
      {"C:x", false},
      {"c:", false},
      {"file.txt:stream", false},
      {"..", false},
      {"..\\x", false},
      {"../x", false},
      {"a\\..\\..\\x", false},
      {"a/..", false},
      {"...", false},
      {".. ", false},
      {". .", false},
      {"a\\.. \\x", false},
      {"CON", false},
      {"con", false},
      {"Con.txt", false},
      {"CON .txt", false},
      {"nul.tar.gz", false},
      {"AUX", false},
      {"PRN", false},
      {"COM1", false},
      {"com9.log", false},
      {"LPT1", false},
      {"lpt0", false},
      {"CONIN$", false},
      {"conout$", false},
      {"sub\\NUL", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string narrow = c.name;
    const std::wstring wide(narrow.begin(), narrow.end());
    const std::u16string utf16(narrow.begin(), narrow.end());
    EXPECT_EQ(IsSafeMemberName(narrow.c_str(), narrow.size()), c.safe);
    EXPECT_EQ(IsSafeMemberName(wide.c_str(), wide.size()), c.safe);
    EXPECT_EQ(IsSafeMemberName(utf16.c_str(), utf16.size()), c.safe);
  }
  // Names outside ASCII are judged on their characters, not their code units'
  // low bytes: U+5C5C would look like two backslashes if cut to 8 bits.
  EXPECT_TRUE(IsSafeMemberName(u"\u5C5C\u8868.exe", 6));
  EXPECT_TRUE(IsSafeMemberName(u"\u2E2E", 1));
}

}  // namespace

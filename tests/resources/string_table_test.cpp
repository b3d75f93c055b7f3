// The message texts: block 1321 holds entries 21128..21131 and nothing else,
// read both as the raw block and through LoadStringW.
#include <string>
#include <vector>

#include "stub_image_test.h"

namespace {

constexpr UINT kFirstId = 21120;  // entry 0 of block 1321
constexpr int kEntriesPerBlock = 16;

// Entry i of the block; empty means absent.
const wchar_t* const kBlock[kEntriesPerBlock] = {
    L"", L"", L"", L"", L"", L"", L"", L"",
    L"Zin",
    L"%1!s! Installer",
    L"Unknown Installer Error",
    L"Installation failed. %1!s! Installer requires Windows 2000 Service Pack 4 or better.",
    L"", L"", L"", L"",
};

using StringTableTest = StubResourcesTest;

TEST_F(StringTableTest, RawBlockHoldsExactlyTheFourEntries) {
  const std::vector<std::uint8_t> block = image.Bytes(RT_STRING, MAKEINTRESOURCEW(kFirstId / 16 + 1), kEnglishUs);
  ASSERT_FALSE(block.empty());
  std::size_t at = 0;
  for (int i = 0; i < kEntriesPerBlock; ++i) {
    SCOPED_TRACE(kFirstId + i);
    ASSERT_LE(at + 2, block.size());
    const std::size_t length = block[at] | (block[at + 1] << 8);
    at += 2;
    ASSERT_LE(at + 2 * length, block.size());
    std::wstring text;
    for (std::size_t unit = 0; unit < length; ++unit, at += 2) {
      text.push_back(static_cast<wchar_t>(block[at] | (block[at + 1] << 8)));
    }
    EXPECT_EQ(text, kBlock[i]);
  }
  EXPECT_EQ(at, block.size()) << "bytes after the sixteenth entry";
}

TEST_F(StringTableTest, LoadStringSeesTheSameEntries) {
  for (int i = 0; i < kEntriesPerBlock; ++i) {
    SCOPED_TRACE(kFirstId + i);
    wchar_t text[256] = {};
    const int length = LoadStringW(image.Module(), kFirstId + i, text, 256);
    EXPECT_EQ(length, static_cast<int>(std::wstring(kBlock[i]).size()));
    EXPECT_EQ(std::wstring(text), kBlock[i]);
  }
}

}  // namespace

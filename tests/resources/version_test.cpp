// The version resource: the fixed part, the one string table with its keys in
// order, and the translation; read raw and through the version API.
#include <string>
#include <vector>

#include "stub_image_test.h"
#include "version_block.h"

namespace {

struct StringEntry {
  const char16_t* key;
  const char16_t* value;  // null: any non-empty text (the maker's own)
};

const StringEntry kStrings[] = {
    {u"CompanyName", nullptr},
    {u"FileDescription", u"Zin Update Setup"},
    {u"FileVersion", u"1.5.5.5"},
    {u"InternalName", u"Zin Update Setup"},
    {u"LegalCopyright", nullptr},
    {u"OriginalFilename", u"ZinUpdateSetup.exe"},
    {u"ProductName", u"Zin Update"},
    {u"ProductVersion", u"1.5.5.5"},
    {u"LanguageId", u"en"},
    {u"PrivateBuild", u"1"},
};

const char16_t kTable[] = u"040904b0";
constexpr DWORD kVersionHigh = 0x00010005;  // 1.5
constexpr DWORD kVersionLow = 0x00050005;   // .5.5

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// The stub's version information as GetFileVersionInfoW returns it.
std::vector<std::uint8_t> FileVersionInfo() {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(StubPath().c_str(), &ignored);
  std::vector<std::uint8_t> info(size);
  if (size == 0 || !GetFileVersionInfoW(StubPath().c_str(), 0, size, info.data())) info.clear();
  return info;
}

using VersionTest = StubResourcesTest;

TEST_F(VersionTest, RawBlockHasOneStringTableWithTheKeysInOrder) {
  const std::vector<std::uint8_t> bytes = image.Bytes(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), kEnglishUs);
  const std::optional<VersionNode> root = ParseVersionBlock(bytes.data(), bytes.size());
  ASSERT_TRUE(root.has_value()) << "malformed version block";
  EXPECT_EQ(root->key, u"VS_VERSION_INFO");
  EXPECT_EQ(root->value.size(), sizeof(VS_FIXEDFILEINFO));

  const VersionNode* stringInfo = root->Child(u"StringFileInfo");
  ASSERT_NE(stringInfo, nullptr);
  ASSERT_EQ(stringInfo->children.size(), 1u);
  const VersionNode& table = stringInfo->children[0];
  EXPECT_EQ(table.key, kTable);
  ASSERT_EQ(table.children.size(), std::size(kStrings));
  for (std::size_t i = 0; i < std::size(kStrings); ++i) {
    const VersionNode& entry = table.children[i];
    SCOPED_TRACE(Wide(kStrings[i].key));
    EXPECT_EQ(entry.key, kStrings[i].key);
    EXPECT_TRUE(entry.isText);
    if (kStrings[i].value != nullptr) {
      EXPECT_EQ(entry.text, kStrings[i].value);
    } else {
      EXPECT_FALSE(entry.text.empty());
    }
  }

  const VersionNode* varInfo = root->Child(u"VarFileInfo");
  ASSERT_NE(varInfo, nullptr);
  ASSERT_EQ(varInfo->children.size(), 1u);
  EXPECT_EQ(varInfo->children[0].key, u"Translation");
  EXPECT_EQ(varInfo->children[0].value, (std::vector<std::uint8_t>{0x09, 0x04, 0xb0, 0x04}));
}

TEST(VersionApi, FixedPartAndTranslation) {
  std::vector<std::uint8_t> info = FileVersionInfo();
  ASSERT_FALSE(info.empty()) << "no version information: error " << GetLastError();

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, kVersionHigh);
  EXPECT_EQ(fixed->dwFileVersionLS, kVersionLow);
  EXPECT_EQ(fixed->dwProductVersionMS, kVersionHigh);
  EXPECT_EQ(fixed->dwProductVersionLS, kVersionLow);
  EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, static_cast<DWORD>(VS_FF_PRIVATEBUILD));
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size));
  ASSERT_EQ(size, 4u);
  EXPECT_EQ(translation[0], kEnglishUs);
  EXPECT_EQ(translation[1], 1200);
}

TEST(VersionApi, StringsByKey) {
  std::vector<std::uint8_t> info = FileVersionInfo();
  ASSERT_FALSE(info.empty()) << "no version information: error " << GetLastError();
  for (const StringEntry& expected : kStrings) {
    SCOPED_TRACE(Wide(expected.key));
    const std::wstring query = L"\\StringFileInfo\\" + Wide(kTable) + L"\\" + Wide(expected.key);
    wchar_t* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
    if (expected.value != nullptr) {
      EXPECT_EQ(std::wstring(value), Wide(expected.value));
    } else {
      EXPECT_NE(std::wstring(value), L"");
    }
  }
}

}  // namespace

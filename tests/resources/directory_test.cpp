// Which resources the stub carries, under which names and in which language:
// the directory as the platform enumerates it.
#include <algorithm>
#include <string>
#include <vector>

#include "stub_image_test.h"

namespace {

struct Entry {
  LPCWSTR type;
  std::vector<std::wstring> names;  // all names of the type, in order
  WORD language;                    // the only language of every name
};

const Entry kEntries[] = {
    {RT_STRING, {L"#1321"}, kEnglishUs},
    {RT_MANIFEST, {L"#1"}, kNeutral},
    {RT_GROUP_ICON, {L"#101"}, kEnglishUs},
    {RT_ICON, {L"#1", L"#2", L"#3", L"#4", L"#5", L"#6"}, kEnglishUs},
    {RT_VERSION, {L"#1"}, kEnglishUs},
    {L"ZINUPDATE", {L"#1"}, kNeutral},
};

// The payload resource is not part of this directory's contract; its own
// tests own it.
const wchar_t kPayloadType[] = L"B";

using ResourceDirectoryTest = StubResourcesTest;

TEST_F(ResourceDirectoryTest, EachTypeHasExactlyItsNamesInOneLanguage) {
  for (const Entry& entry : kEntries) {
    SCOPED_TRACE(ResourceKey(entry.type));
    EXPECT_EQ(image.Names(entry.type), entry.names);
    for (const std::wstring& name : entry.names) {
      SCOPED_TRACE(name);
      EXPECT_EQ(image.Languages(entry.type, name.c_str()), std::vector<WORD>{entry.language});
    }
  }
}

TEST_F(ResourceDirectoryTest, HoldsNoOtherTypes) {
  std::vector<std::wstring> known;
  for (const Entry& entry : kEntries) known.push_back(ResourceKey(entry.type));
  known.push_back(kPayloadType);
  for (const std::wstring& type : image.Types()) {
    EXPECT_NE(std::find(known.begin(), known.end(), type), known.end()) << "unexpected resource type " << type;
  }
}

TEST_F(ResourceDirectoryTest, MarkerIsTheLittleEndianValueOne) {
  EXPECT_EQ(image.Bytes(L"ZINUPDATE", MAKEINTRESOURCEW(1), kNeutral), (std::vector<std::uint8_t>{1, 0, 0, 0}));
}

}  // namespace

// The payload in the built stub.exe, read through the platform's resource
// functions, and (with --reference) the reference payload's contents.
//   embedded_payload_test <payload file> <stub.exe> [--reference]
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "payload_reader.h"

namespace {

std::string g_payloadPath;
std::string g_stubPath;
bool g_reference = false;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Module {
 public:
  explicit Module(const std::string& path)
      : handle_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~Module() {
    if (handle_ != nullptr) FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE get() const { return handle_; }

 private:
  HMODULE handle_;
};

TEST(EmbeddedPayload, ResourceB102NeutralHoldsThePayloadFile) {
  const std::vector<uint8_t> file = ReadFile(g_payloadPath);
  ASSERT_FALSE(file.empty());
  Module stub(g_stubPath);
  ASSERT_NE(stub.get(), nullptr) << "cannot load " << g_stubPath << " as data: " << GetLastError();

  HRSRC found = FindResourceExW(stub.get(), L"B", MAKEINTRESOURCEW(102), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  ASSERT_NE(found, nullptr) << "no resource B/102 in language neutral";
  HGLOBAL loaded = LoadResource(stub.get(), found);
  ASSERT_NE(loaded, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
  const DWORD size = SizeofResource(stub.get(), found);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), file);
}

TEST(ReferencePayload, NineteenMembersTwelveDistinctSetupProgramFirst) {
  if (!g_reference) GTEST_SKIP() << "the stub embeds a payload given with STUB_PAYLOAD";
  DecodedPayload d;
  ASSERT_EQ(DecodePayload922(ReadFile(g_payloadPath), d), "");
  EXPECT_EQ(d.properties, 0x5D);
  EXPECT_EQ(d.declaredSize, d.filtered.size());
  EXPECT_EQ(d.lzmaInputUsed + 13, ReadFile(g_payloadPath).size());
  EXPECT_EQ(CheckStreamsUsedUp922(d), "");
  EXPECT_EQ(d.archive.size() % 10240, 0u);

  std::vector<TarHeader> headers;
  size_t end = 0;
  ASSERT_EQ(WalkTar(d.archive, headers, end), "");
  ASSERT_EQ(headers.size(), 19u);
  EXPECT_EQ(headers[0].name, "ZinUpdate.exe");

  std::map<std::string, std::vector<uint8_t>> contentByName;
  for (const TarHeader& h : headers) {
    EXPECT_EQ(h.typeflag, '0') << h.name;
    EXPECT_EQ(h.magic, std::string("ustar\0" "00", 8)) << h.name;
    EXPECT_LE(h.name.size(), 31u) << h.name;
    const std::vector<uint8_t> content(d.archive.begin() + static_cast<std::ptrdiff_t>(h.dataOffset),
                                       d.archive.begin() + static_cast<std::ptrdiff_t>(h.dataOffset + h.size));
    auto inserted = contentByName.emplace(h.name, content);
    if (!inserted.second) {
      EXPECT_EQ(inserted.first->second, content) << h.name << " repeats with other content";
    }
  }
  EXPECT_EQ(contentByName.size(), 12u);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: embedded_payload_test <payload file> <stub.exe> [--reference]\n");
    return 2;
  }
  g_payloadPath = argv[1];
  g_stubPath = argv[2];
  g_reference = argc > 3 && std::string(argv[3]) == "--reference";
  return RUN_ALL_TESTS();
}

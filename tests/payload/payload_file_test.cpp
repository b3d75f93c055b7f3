// The Win32 glue around payload decoding: DecodePayloadToFile, the
// launcher's CreateArchiveFile over this program's own payload resource, and
// the launcher's choice of the setup program among the extracted members.
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "payload/decode_to_file.h"
#include "setup_launcher.h"
#include "unique_handle.h"
#include "win_test_files.h"

namespace {

class DecodePayloadToFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = MakeScratchDirectory();
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { RemoveTree(root_); }

  UniqueHandle NewFile(DWORD access) {
    const std::wstring path = root_ + L"\\archive";
    return UniqueHandle(CreateFileW(path.c_str(), access, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
  }

  std::wstring root_;
};

TEST_F(DecodePayloadToFileTest, WritesTheArchiveAndLeavesThePositionAfterIt) {
  const std::vector<uint8_t> payload = TestData("small.payload");
  const std::vector<uint8_t> expected = TestData("small.tar");
  ASSERT_FALSE(payload.empty());
  UniqueHandle file = NewFile(GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(file);
  EXPECT_EQ(DecodePayloadToFile(payload.data(), static_cast<uint32_t>(payload.size()), file.Get()), 0);
  EXPECT_EQ(Position(file.Get()), expected.size());
  file.Reset();
  std::string written;
  ASSERT_TRUE(ReadWholeFile(root_ + L"\\archive", written));
  EXPECT_TRUE(written == std::string(expected.begin(), expected.end()));
}

TEST_F(DecodePayloadToFileTest, WritesWithOneCall) {
  // On a message-mode pipe every WriteFile call arrives as one message.
  const std::wstring name = L"\\\\.\\pipe\\payload-test-" + std::to_wstring(GetCurrentProcessId());
  UniqueHandle server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 1 << 20, 0,
                                       nullptr));
  ASSERT_TRUE(server);
  UniqueHandle client(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(client);

  std::vector<size_t> messages;
  std::thread reader([&] {
    std::vector<char> buffer(1 << 20);
    for (;;) {
      size_t message = 0;
      DWORD read = 0;
      BOOL ok;
      while (!(ok = ReadFile(server.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) &&
             GetLastError() == ERROR_MORE_DATA) {
        message += read;
      }
      if (!ok) break;
      messages.push_back(message + read);
    }
  });
  const std::vector<uint8_t> payload = TestData("small.payload");
  const int32_t result = DecodePayloadToFile(payload.data(), static_cast<uint32_t>(payload.size()), client.Get());
  client.Reset();
  reader.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(messages, std::vector<size_t>{TestData("small.tar").size()});
}

TEST_F(DecodePayloadToFileTest, FailuresWriteNothing) {
  const std::vector<uint8_t> good = TestData("small.payload");
  std::vector<uint8_t> hugeSize = good;
  // A declared size near 4 GiB cannot be had in a 32-bit process.
  hugeSize[5] = hugeSize[6] = hugeSize[7] = hugeSize[8] = 0xFF;
  const struct {
    const char* what;
    std::vector<uint8_t> payload;
    int32_t expected;
  } cases[] = {
      {"12 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 12), -1},
      {"properties byte 225", [&] {
         std::vector<uint8_t> p = good;
         p[0] = 225;
         return p;
       }(), -1},
      {"declared size near 4 GiB", hugeSize, -1},
      {"main stream ends first", TestData("bad_bcj2.payload"), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueHandle file = NewFile(GENERIC_WRITE);
    ASSERT_TRUE(file);
    EXPECT_EQ(DecodePayloadToFile(c.payload.data(), static_cast<uint32_t>(c.payload.size()), file.Get()),
              c.expected);
    EXPECT_EQ(Position(file.Get()), 0u);
  }
}

TEST_F(DecodePayloadToFileTest, FailedWriteIsMinusOne) {
  const std::vector<uint8_t> payload = TestData("small.payload");
  UniqueHandle readOnly = NewFile(GENERIC_READ);
  ASSERT_TRUE(readOnly);
  EXPECT_EQ(DecodePayloadToFile(payload.data(), static_cast<uint32_t>(payload.size()), readOnly.Get()), -1);
}

// This program carries small.payload as its own resource "B" 102.
TEST(CreateArchiveFile, ReturnsTheDecodedArchiveRewoundAndRecordedFirst) {
  std::wstring path;
  {
    SetupLauncher launcher(GetModuleHandleW(nullptr), L"");
    ASSERT_TRUE(launcher.MakeWorkDirectoryInTemp());
    UniqueHandle archive(launcher.CreateArchiveFile());
    ASSERT_TRUE(archive);

    ASSERT_EQ(launcher.FilesToDelete().size(), 1u);
    path = launcher.FilesToDelete()[0];
    const std::wstring base = launcher.BaseDirectory();
    EXPECT_EQ(path.compare(0, base.size(), base), 0) << "not in the base directory";
    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
    EXPECT_EQ(name.compare(0, 3, L"GUT"), 0);

    EXPECT_EQ(Position(archive.Get()), 0u);
    const std::vector<uint8_t> expected = TestData("small.tar");
    std::vector<uint8_t> content(expected.size() + 1);
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(archive.Get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr));
    content.resize(read);
    EXPECT_TRUE(content == expected);
    // Opened without sharing.
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
  }
  // The launcher deleted what it recorded.
  EXPECT_FALSE(harness::Exists(path));
}

TEST(HandleExtractedFile, ChoosesTheFirstMemberNamedLikeAProgram) {
  const struct {
    const char* what;
    std::vector<std::wstring> members;
    std::wstring chosen;
  } cases[] = {
      {"extension alone", {L"C:\\w\\.exe"}, L""},
      {"one letter", {L"C:\\w\\a.exe"}, L"C:\\w\\a.exe"},
      {"capitals kept", {L"C:\\w\\SETUP.EXE"}, L"C:\\w\\SETUP.EXE"},
      {"mixed case", {L"C:\\w\\Setup.Exe"}, L"C:\\w\\Setup.Exe"},
      {"further extension", {L"C:\\w\\setup.exe.bak"}, L""},
      {"trailing blank", {L"C:\\w\\setup.exe "}, L""},
      {"only the directory looks like one", {L"C:\\w.exe\\setup"}, L""},
      {"no directory part", {L"setup.exe"}, L"setup.exe"},
      {"first of several", {L"C:\\w\\readme.txt", L"C:\\w\\first.exe", L"C:\\w\\second.exe"}, L"C:\\w\\first.exe"},
      {"after one that does not qualify", {L"C:\\w\\.exe", L"C:\\w\\b.exe"}, L"C:\\w\\b.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetupLauncher launcher(nullptr, L"");
    for (const std::wstring& member : c.members) ForwardExtractedFile(&launcher, member.c_str());
    EXPECT_EQ(launcher.SetupProgramPath(), c.chosen);
    // Every member is recorded for deletion, in order.
    EXPECT_EQ(launcher.FilesToDelete(), c.members);
  }
}

}  // namespace

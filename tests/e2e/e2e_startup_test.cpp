// Start-up of the real stub.exe under Wine: the version refusal, a failing run.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using harness::NamesWithPrefix;

const std::wstring kCaption = L"Zin Installer";

// What a run may leave in the two base directories.
struct Litter {
  std::vector<std::wstring> tempWork, tempArchives, programFilesWork, programFilesArchives;
  static Litter Now() {
    const std::wstring temp = harness::TempDirectory();
    const std::wstring programFiles = harness::ProgramFilesDirectory();
    return {NamesWithPrefix(temp, L"GUM"), NamesWithPrefix(temp, L"GUT"), NamesWithPrefix(programFiles, L"GUM"),
            NamesWithPrefix(programFiles, L"GUT")};
  }
  bool operator==(const Litter& other) const {
    return tempWork == other.tempWork && tempArchives == other.tempArchives &&
           programFilesWork == other.programFilesWork && programFilesArchives == other.programFilesArchives;
  }
};

TEST(Startup, SystemOlderThan2000ServicePack4) {
  // Wine reports Windows NT 4.0 to programs of this name only.
  const std::wstring directory = harness::FreshDirectory(L"nt40");
  const std::wstring stub = harness::CopyInto(harness::PathFromEnvironment("STUB_EXE"), directory, L"stub_nt40.exe");
  harness::ScopedRegistryValue version(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\stub_nt40.exe", L"Version",
                                       L"nt40");
  const Litter before = Litter::Now();

  const harness::StubResult result = harness::RunStub({stub});

  EXPECT_EQ(result.exitCode, 0x80040703u);
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].text,
            L"Installation failed. Zin Installer requires Windows 2000 Service Pack 4 or better.");
  EXPECT_EQ(result.boxes[0].caption, kCaption);
  EXPECT_TRUE(Litter::Now() == before) << "nothing is created";
  EXPECT_EQ(harness::ListDirectory(directory), std::vector<std::wstring>{L"stub_nt40.exe"});
}

TEST(Startup, FailingRunReturnsMinusOneWithoutABox) {
  const std::wstring directory = harness::FreshDirectory(L"broken");
  const std::wstring stub =
      harness::CopyInto(harness::PathFromEnvironment("STUB_BROKEN_PAYLOAD_EXE"), directory, L"stub.exe");
  const Litter before = Litter::Now();
  for (const std::wstring arguments : {L"", L"/silent"}) {
    const harness::StubResult result = harness::RunStub({stub, arguments});
    EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(Litter::Now() == before) << "the work directory and archive file are removed again";
  }
}

TEST(Startup, Windows2000ServicePack4Passes) {
  const std::wstring directory = harness::FreshDirectory(L"win2k");
  const std::wstring stub =
      harness::CopyInto(harness::PathFromEnvironment("STUB_BROKEN_PAYLOAD_EXE"), directory, L"stub_win2k.exe");
  harness::ScopedRegistryValue version(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\stub_win2k.exe",
                                       L"Version", L"win2k");
  const harness::StubResult result = harness::RunStub({stub});
  EXPECT_EQ(result.exitCode, 0xFFFFFFFFu) << "the run went on past the version check";
  EXPECT_TRUE(result.boxes.empty());
}

}  // namespace

// One whole run of the launcher in this process, over the stub's reference
// payload (this program embeds it): what it records, in which order, and
// what is left once it is destroyed.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "exit_codes.h"
#include "harness.h"
#include "setup_launcher.h"

namespace {

using harness::DirectoryOf;
using harness::NameOf;

TEST(LauncherRun, RecordsArchiveMembersAndSelfCopyInOrder) {
  const std::wstring scratch = harness::FreshDirectory(L"run");
  const std::wstring record = scratch + L"\\record.txt";
  SetEnvironmentVariableW(L"FAKE_SETUP_RECORD", record.c_str());
  SetEnvironmentVariableW(L"FAKE_SETUP_EXIT_CODE", L"0x2A");

  std::wstring work, base;
  {
    SetupLauncher launcher(GetModuleHandleW(nullptr), L"/x");
    EXPECT_EQ(launcher.Run(), 0x2Au);
    EXPECT_EQ(launcher.ExitCode(), 0x2Au);
    work = launcher.WorkDirectory();
    base = launcher.BaseDirectory();
    const FileList& files = launcher.FilesToDelete();
    ASSERT_EQ(files.size(), 21u);
    EXPECT_EQ(DirectoryOf(files.front()), base) << "the archive file comes first";
    EXPECT_EQ(NameOf(files.front()).compare(0, 3, L"GUT"), 0);
    EXPECT_EQ(files.back(), work + L"\\ZinUpdateSetup.exe") << "the self-copy comes last";
    std::set<std::wstring> distinct;
    for (size_t i = 1; i < 20; ++i) {
      EXPECT_EQ(DirectoryOf(files[i]), work);
      distinct.insert(files[i]);
    }
    EXPECT_EQ(distinct.size(), 12u) << "seven names occur twice";
    EXPECT_EQ(files[1], work + L"\\ZinUpdate.exe");
    EXPECT_EQ(launcher.SetupProgramPath(), files[1]);
    // The reader deleted the members at the end of the run; the archive file
    // and the self-copy wait for the launcher's destruction.
    for (size_t i = 1; i < 20; ++i) EXPECT_FALSE(harness::Exists(files[i])) << harness::Utf8(files[i]);
    EXPECT_TRUE(harness::Exists(files.front()));
    EXPECT_TRUE(harness::Exists(files.back()));
  }
  EXPECT_FALSE(harness::Exists(work));
  EXPECT_TRUE(harness::Exists(base));
  EXPECT_EQ(harness::RecordValue(harness::ReadRecord(record), "command_line"),
            harness::Utf8(L"\"" + work + L"\\ZinUpdate.exe\" /x"));
  SetEnvironmentVariableW(L"FAKE_SETUP_RECORD", nullptr);
  SetEnvironmentVariableW(L"FAKE_SETUP_EXIT_CODE", nullptr);
}

}  // namespace

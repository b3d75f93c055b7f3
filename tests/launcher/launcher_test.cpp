// Where the launcher stages its files, in-process under Wine (whose default
// user is an administrator).
#include <gtest/gtest.h>

#include <string>

#include "exit_codes.h"
#include "harness.h"
#include "setup_launcher.h"

namespace {

using harness::DirectoryOf;
using harness::ListDirectory;
using harness::NameOf;
using harness::NamesWithPrefix;

const wchar_t kCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";


// Sets an environment variable of this process for one test.
class ScopedEnvironment {
public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    had_ = length > 0 && length < 4096;
    if (had_) previous_.assign(buffer, length);
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? previous_.c_str() : nullptr); }

private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring previous_;
};

TEST(WorkDirectory, AdministratorGetsAUniqueDirectoryDirectlyInProgramFiles) {
  const std::wstring programFiles = harness::ProgramFilesDirectory();
  const auto before = NamesWithPrefix(programFiles, L"GUM");
  std::wstring work;
  {
    SetupLauncher launcher(nullptr, L"");
    ASSERT_TRUE(launcher.MakeWorkDirectoryInProgramFiles());
    work = launcher.WorkDirectory();
    EXPECT_EQ(launcher.BaseDirectory(), programFiles);
    EXPECT_EQ(DirectoryOf(work), programFiles);
    EXPECT_EQ(NameOf(work).compare(0, 3, L"GUM"), 0) << harness::Utf8(work);
    EXPECT_NE(work.back(), L'\\');
    EXPECT_TRUE(GetFileAttributesW(work.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  }
  // The destruction removes the work directory and nothing else.
  EXPECT_FALSE(harness::Exists(work));
  EXPECT_TRUE(harness::Exists(programFiles));
  EXPECT_EQ(NamesWithPrefix(programFiles, L"GUM"), before);
}

TEST(WorkDirectory, TemporaryDirectoryWhenProgramFilesCannotTakeADirectory) {
  // Program Files pointing at a plain file: the folder exists for the shell,
  // but no directory can be made in it.
  const std::wstring scratch = harness::FreshDirectory(L"pf-file");
  const std::wstring plainFile = scratch + L"\\not-a-directory";
  HANDLE file = CreateFileW(plainFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  harness::ScopedRegistryValue programFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir", plainFile);

  const std::wstring temp = harness::TempDirectory();
  SetupLauncher launcher(nullptr, L"");
  EXPECT_FALSE(launcher.MakeWorkDirectoryInProgramFiles());
  EXPECT_TRUE(launcher.WorkDirectory().empty());
  EXPECT_TRUE(launcher.BaseDirectory().empty());

  // Run falls back to the temporary directory; this test program has no
  // payload, so the run then fails and its destruction cleans up.
  EXPECT_EQ(launcher.Run(), STUB_E_RUN_FAILED);
  EXPECT_EQ(launcher.BaseDirectory(), temp + L"\\");
  EXPECT_EQ(DirectoryOf(launcher.WorkDirectory()), temp);
  EXPECT_EQ(ListDirectory(scratch), std::vector<std::wstring>{L"not-a-directory"});
}

TEST(WorkDirectory, LongTemporaryPathWithoutProgramFilesCreatesNothing) {
  const std::wstring scratch = harness::FreshDirectory(L"long-temp");
  harness::ScopedRegistryValue programFiles(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir",
                                            scratch + L"\\missing\\Program Files");
  // 270 characters: GetTempPathW cannot return it in MAX_PATH.
  std::wstring longTemp = scratch + L"\\";
  longTemp.append(270 - longTemp.size(), L't');
  ScopedEnvironment tmp(L"TMP", longTemp);
  ScopedEnvironment temp(L"TEMP", longTemp);
  {
    SetupLauncher launcher(nullptr, L"");
    EXPECT_EQ(launcher.Run(), STUB_E_RUN_FAILED);
    EXPECT_TRUE(launcher.WorkDirectory().empty());
    EXPECT_TRUE(launcher.FilesToDelete().empty());
  }
  EXPECT_TRUE(ListDirectory(scratch).empty());
}

TEST(WorkDirectory, MissingBaseDirectoryIsCreatedAndKept) {
  const std::wstring scratch = harness::FreshDirectory(L"base");
  struct Row {
    const char* what;
    std::wstring base;
    bool exists;
  };
  const Row rows[] = {
      {"missing base", scratch + L"\\new-base", false},
      {"existing base", scratch + L"\\old-base", true},
  };
  for (const Row& row : rows) {
    if (row.exists) CreateDirectoryW(row.base.c_str(), nullptr);
    {
      SetupLauncher launcher(nullptr, L"");
      ASSERT_TRUE(launcher.MakeUniqueDirectory(row.base)) << row.what;
      EXPECT_EQ(DirectoryOf(launcher.WorkDirectory()), row.base) << row.what;
      EXPECT_TRUE(launcher.BaseDirectory().empty()) << "left to the caller: " << row.what;
    }
    EXPECT_TRUE(harness::Exists(row.base)) << row.what;
    EXPECT_TRUE(ListDirectory(row.base).empty()) << row.what;
  }
}

TEST(WorkDirectory, BaseThatCannotBeCreatedFails) {
  const std::wstring scratch = harness::FreshDirectory(L"deep");
  SetupLauncher launcher(nullptr, L"");
  EXPECT_FALSE(launcher.MakeUniqueDirectory(scratch + L"\\two\\levels"));
  EXPECT_TRUE(launcher.WorkDirectory().empty());
  EXPECT_TRUE(ListDirectory(scratch).empty());
}

TEST(SelfCopy, CopiesTheStartedFileAndRecordsIt) {
  const std::wstring scratch = harness::FreshDirectory(L"self-copy");
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring copy;
  {
    SetupLauncher launcher(nullptr, L"");
    ASSERT_TRUE(launcher.MakeUniqueDirectory(scratch));
    ASSERT_TRUE(launcher.CopySelfIntoWorkDirectory());
    copy = launcher.WorkDirectory() + L"\\ZinUpdateSetup.exe";
    EXPECT_EQ(launcher.FilesToDelete(), FileList{copy});
    WIN32_FILE_ATTRIBUTE_DATA original, copied;
    ASSERT_TRUE(GetFileAttributesExW(self, GetFileExInfoStandard, &original));
    ASSERT_TRUE(GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &copied));
    EXPECT_EQ(original.nFileSizeLow, copied.nFileSizeLow);
  }
  EXPECT_FALSE(harness::Exists(copy));
  EXPECT_TRUE(ListDirectory(scratch).empty());
}

TEST(SelfCopy, FailsWhenTheCopysPathDoesNotFit) {
  std::wstring base = harness::FreshDirectory(L"self-copy-long") + L"\\";
  base.append(240 - base.size(), L'd');  // + "\GUMxxxx.tmp\ZinUpdateSetup.exe" > MAX_PATH
  SetupLauncher launcher(nullptr, L"");
  ASSERT_TRUE(launcher.MakeUniqueDirectory(base));
  EXPECT_FALSE(launcher.CopySelfIntoWorkDirectory());
  EXPECT_TRUE(launcher.FilesToDelete().empty());
}

TEST(SetupProgram, FirstQualifyingExeMemberIsChosen) {
  struct Row {
    const char* what;
    std::vector<std::wstring> members;
    std::wstring chosen;
  };
  const std::wstring d = L"C:\\w\\GUM1.tmp\\";
  const Row rows[] = {
      {"first exe wins", {d + L"a.dll", d + L"ZinUpdate.exe", d + L"other.exe"}, d + L"ZinUpdate.exe"},
      {"'.exe' alone does not qualify", {d + L".exe", d + L"b.exe"}, d + L"b.exe"},
      {"one letter qualifies", {d + L"x.exe"}, d + L"x.exe"},
      {"capitals qualify and are kept", {d + L"SETUP.EXE"}, d + L"SETUP.EXE"},
      {"trailing extension does not", {d + L"setup.exe.bak", d + L"setup.exe "}, L""},
      {"no exe at all", {d + L"readme.txt"}, L""},
      {"path without a backslash", {L"plain.Exe"}, L"plain.Exe"},
  };
  for (const Row& row : rows) {
    SetupLauncher launcher(nullptr, L"");
    for (const std::wstring& member : row.members) ForwardExtractedFile(&launcher, member.c_str());
    EXPECT_EQ(launcher.SetupProgramPath(), row.chosen) << row.what;
    EXPECT_EQ(launcher.FilesToDelete(), row.members) << row.what;
  }
}

}  // namespace

// The real, signed and tagged stub under Wine, from start to clean-up: the
// command line its setup program receives, what that program sees of its
// start, the exit codes, and what is left on disk afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using harness::DirectoryOf;
using harness::NamesWithPrefix;
using harness::RecordValue;
using harness::RecordValues;
using harness::Utf8;

const wchar_t kFixedSwitches[] = L" /installsource taggedmi /install";
const wchar_t kCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

std::wstring Tag() { return harness::Widen(std::getenv("STUB_TEST_TAG")); }
std::wstring Quoted(const std::wstring& text) { return L" \"" + text + L"\""; }

// GUM/GUT names in both base directories.
std::vector<std::wstring> Litter() {
  std::vector<std::wstring> names;
  for (const std::wstring& base : {harness::TempDirectory(), harness::ProgramFilesDirectory()}) {
    for (const wchar_t* prefix : {L"GUM", L"GUT"}) {
      for (const std::wstring& name : NamesWithPrefix(base, prefix)) names.push_back(base + L"\\" + name);
    }
  }
  return names;
}

std::vector<std::wstring> NewLitter(const std::vector<std::wstring>& before) {
  std::vector<std::wstring> added;
  for (const std::wstring& path : Litter()) {
    if (std::find(before.begin(), before.end(), path) == before.end()) added.push_back(path);
  }
  return added;
}

struct SetupRun {
  harness::StubResult result;
  std::multimap<std::string, std::string> record;  // empty when the setup program never ran
  std::wstring stub;                                // the started copy
  std::wstring scratch;
  std::vector<std::wstring> leftBehind;             // new GUM/GUT entries after the run

  bool SetupRan() const { return !record.empty(); }
  std::wstring CommandLine() const { return harness::Widen(RecordValue(record, "command_line")); }
  std::wstring SetupPath() const { return harness::Widen(RecordValue(record, "module")); }
  // The setup-path piece as the stub writes it: quoted when it has a blank.
  std::wstring SetupPiece() const {
    const std::wstring path = SetupPath();
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
  }
};

struct Options {
  std::wstring arguments;
  std::wstring stubName = L"stub.exe";
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  std::wstring rawCommandLine;  // use "%STUB%" for the copy's path
};

// Copies the stub named by `variable` into a fresh scratch directory, runs it
// with the fake setup program's record switched on, and collects the results.
SetupRun RunVariant(const char* variable, const std::wstring& test, const Options& options = {}) {
  SetupRun run;
  run.scratch = harness::FreshDirectory(test);
  run.stub = harness::CopyInto(harness::PathFromEnvironment(variable), run.scratch, options.stubName);
  const std::wstring recordPath = run.scratch + L"\\record.txt";
  harness::StubLaunch launch{run.stub, options.arguments};
  launch.environment = options.environment;
  launch.environment.emplace_back(L"FAKE_SETUP_RECORD", recordPath);
  launch.currentDirectory = run.scratch;
  if (!options.rawCommandLine.empty()) {
    launch.rawCommandLine = options.rawCommandLine;
    launch.rawCommandLine.replace(launch.rawCommandLine.find(L"%STUB%"), 6, run.stub);
  }
  const auto before = Litter();
  run.result = harness::RunStub(launch);
  run.record = harness::ReadRecord(recordPath);
  run.leftBehind = NewLitter(before);
  return run;
}

void RemoveLeftovers(const SetupRun& run) {
  for (const std::wstring& path : run.leftBehind) harness::RemoveTree(path);
}

struct CommandLineRow {
  const char* what;
  std::wstring arguments;
  bool ownPath;           // the started file's path follows the arguments
  bool tag;               // the tag comes last
  std::wstring expected;  // what follows the setup-path piece, own path and tag left out
};

TEST(HandOff, CommandLineFromArgumentsAndTag) {
  const CommandLineRow rows[] = {
      {"no arguments", L"", false, true, kFixedSwitches},
      {"nomitag alone", L"/nomitag", false, false, L""},
      {"NOMITAG at the end", L"/a /NOMITAG", false, false, L" /a"},
      {"nomitag with a trailing blank", L"/a /nomitag ", false, true, L" /a /nomitag "},
      {"RECOVER in capitals", L"/RECOVER", false, true, L" /RECOVER"},
      {"recover glued to more", L"/recoverX", true, true, L" /recoverX"},
      {"recover then nomitag", L"/recover /nomitag", true, true, L" /recover /nomitag"},
      {"quotes in arguments", L"\"a b\" /c=\"d\"", false, true, L" \"a b\" /c=\"d\""},
  };
  for (const CommandLineRow& row : rows) {
    const SetupRun run = RunVariant("STUB_TAGGED_EXE", L"cl", {row.arguments});
    ASSERT_TRUE(run.SetupRan()) << row.what;
    EXPECT_EQ(run.result.exitCode, 0u) << row.what;
    std::wstring expected = run.SetupPiece() + row.expected;
    if (row.ownPath) expected += Quoted(run.stub);
    if (row.tag) expected += Quoted(Tag());
    EXPECT_EQ(run.CommandLine(), expected) << row.what;
    EXPECT_TRUE(run.leftBehind.empty()) << row.what;
    RemoveLeftovers(run);
  }
}

TEST(HandOff, StubStartedFromAPathWithBlanks) {
  Options options;
  options.stubName = L"my stub.exe";
  options.rawCommandLine = L"\"%STUB%\"   \"quoted arg\" x";
  const SetupRun run = RunVariant("STUB_TAGGED_EXE", L"with blanks", options);
  ASSERT_TRUE(run.SetupRan());
  EXPECT_EQ(run.CommandLine(), run.SetupPiece() + L" \"quoted arg\" x" + Quoted(Tag()));
}

TEST(HandOff, SetupPathQuotedOnlyWhenItHasABlank) {
  // A Program Files folder without blanks, so only the member's name decides.
  const std::wstring programFiles = harness::FreshDirectory(L"pf");
  harness::ScopedRegistryValue folder(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir", programFiles);
  struct Row {
    const char* variable;
    std::wstring arguments;
    bool quoted;
  };
  const Row rows[] = {{"STUB_TAGGED_EXE", L"/x", false}, {"STUB_BLANK_SETUP_EXE", L"/x", true}};
  for (const Row& row : rows) {
    const SetupRun run = RunVariant(row.variable, L"quoting", {row.arguments});
    ASSERT_TRUE(run.SetupRan()) << row.variable;
    const std::wstring path = run.SetupPath();
    EXPECT_EQ(DirectoryOf(DirectoryOf(path)), programFiles) << row.variable;
    const std::wstring piece = row.quoted ? L"\"" + path + L"\"" : path;
    EXPECT_EQ(run.CommandLine().compare(0, piece.size() + 1, piece + L" "), 0)
        << Utf8(run.CommandLine()) << " (" << row.variable << ")";
    EXPECT_TRUE(harness::ListDirectory(programFiles).empty()) << row.variable;
  }
}

TEST(HandOff, TagBytesAboveAsciiAreWidenedWithTheAnsiCodePage) {
  const char tag[] = "name=Caf\xe9 \xc0 la carte";
  wchar_t widened[64] = {};
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, tag, -1, widened, 64), 0);
  const SetupRun run = RunVariant("STUB_ANSI_TAG_EXE", L"ansi tag");
  ASSERT_TRUE(run.SetupRan());
  EXPECT_EQ(run.CommandLine(), run.SetupPiece() + kFixedSwitches + Quoted(widened));
}

TEST(HandOff, NoUsableTag) {
  struct Row {
    const char* what;
    const char* variable;
  };
  const Row rows[] = {
      {"unsigned", "STUB_EXE"},
      {"signed, reserved room left empty", "STUB_SIGNED_EXE"},
      {"tag with a double quote", "STUB_QUOTE_TAG_EXE"},
  };
  for (const Row& row : rows) {
    // Without arguments there is nothing to tell the setup program.
    const SetupRun bare = RunVariant(row.variable, L"untagged");
    EXPECT_EQ(bare.result.exitCode, 0x80040750u) << row.what;
    ASSERT_EQ(bare.result.boxes.size(), 1u) << row.what;
    EXPECT_EQ(bare.result.boxes[0].text, L"Unknown Installer Error") << row.what;
    EXPECT_EQ(bare.result.boxes[0].caption, L"Zin Installer") << row.what;
    EXPECT_FALSE(bare.SetupRan()) << row.what;
    EXPECT_TRUE(bare.leftBehind.empty()) << row.what;
    RemoveLeftovers(bare);

    // With arguments they are passed on, and no tag follows.
    const SetupRun withArguments = RunVariant(row.variable, L"untagged", {L"/silent"});
    ASSERT_TRUE(withArguments.SetupRan()) << row.what;
    EXPECT_TRUE(withArguments.result.boxes.empty()) << row.what;
    EXPECT_EQ(withArguments.CommandLine(), withArguments.SetupPiece() + L" /silent") << row.what;
    RemoveLeftovers(withArguments);
  }
}

TEST(HandOff, WhatTheSetupProgramSeesOfItsStart) {
  Options options;
  options.environment.emplace_back(L"FAKE_SETUP_ECHO", L"from the stub's environment");
  const SetupRun run = RunVariant("STUB_TAGGED_EXE", L"start", options);
  ASSERT_TRUE(run.SetupRan());
  EXPECT_EQ(harness::Widen(RecordValue(run.record, "current_directory")), run.scratch);
  EXPECT_EQ(RecordValue(run.record, "echo"), "from the stub's environment");
  const unsigned long flags = std::stoul(RecordValue(run.record, "startup_flags"), nullptr, 16);
  EXPECT_EQ(flags & 0x81u, 0x81u) << "STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK";
  EXPECT_EQ(RecordValue(run.record, "show_window"), "1");

  // The members and the self-copy stand beside it while it runs.
  const std::vector<std::string> files = RecordValues(run.record, "file");
  EXPECT_EQ(files.size(), 13u) << "12 distinct members and the self-copy";
  EXPECT_NE(std::find(files.begin(), files.end(), "ZinUpdate.exe"), files.end());
  EXPECT_NE(std::find(files.begin(), files.end(), "ZinUpdateSetup.exe"), files.end());
  EXPECT_EQ(harness::Widen(RecordValue(run.record, "module")).substr(run.SetupPath().rfind(L'\\') + 1),
            L"ZinUpdate.exe");
  WIN32_FILE_ATTRIBUTE_DATA stub;
  ASSERT_TRUE(GetFileAttributesExW(run.stub.c_str(), GetFileExInfoStandard, &stub));
  const std::vector<std::string> sizes = RecordValues(run.record, "file_size");
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), "ZinUpdateSetup.exe:" + std::to_string(stub.nFileSizeLow)),
            sizes.end())
      << "the self-copy is the started file, byte for byte";
  // Started in Program Files (Wine's user is an administrator), then removed.
  EXPECT_EQ(DirectoryOf(DirectoryOf(run.SetupPath())), harness::ProgramFilesDirectory());
  EXPECT_TRUE(run.leftBehind.empty());
}

TEST(HandOff, ExitCodesPassThroughWhole) {
  struct Row {
    const wchar_t* setupExitCode;
    uint32_t expected;
  };
  const Row rows[] = {{L"0", 0u}, {L"1", 1u}, {L"0x7FFFFFFF", 0x7FFFFFFFu}, {L"0x87654321", 0x87654321u},
                      {L"0xFFFFFFFE", 0xFFFFFFFEu}};
  for (const Row& row : rows) {
    Options options;
    options.environment.emplace_back(L"FAKE_SETUP_EXIT_CODE", row.setupExitCode);
    const SetupRun run = RunVariant("STUB_TAGGED_EXE", L"exit", options);
    EXPECT_TRUE(run.SetupRan()) << Utf8(row.setupExitCode);
    EXPECT_EQ(run.result.exitCode, row.expected) << Utf8(row.setupExitCode);
    EXPECT_TRUE(run.result.boxes.empty());
    EXPECT_TRUE(run.leftBehind.empty()) << Utf8(row.setupExitCode);
    RemoveLeftovers(run);
  }
}

TEST(HandOff, SetupProgramThatCannotStartGivesTheSystemErrorCode) {
  const SetupRun run = RunVariant("STUB_BAD_SETUP_EXE", L"bad setup", {L"/x"});
  EXPECT_FALSE(run.SetupRan());
  EXPECT_NE(run.result.exitCode, 0xFFFFFFFFu);
  EXPECT_EQ(run.result.exitCode, static_cast<uint32_t>(ERROR_BAD_EXE_FORMAT));
  EXPECT_TRUE(run.result.boxes.empty());
  EXPECT_TRUE(run.leftBehind.empty());
  RemoveLeftovers(run);
}

TEST(HandOff, NoSetupProgramInTheArchive) {
  // Extracted, self-copied, then nothing is started, nothing shown, all removed.
  for (const std::wstring arguments : {L"", L"/x"}) {
    const SetupRun run = RunVariant("STUB_WITHOUT_SETUP_EXE", L"no setup", {arguments});
    EXPECT_EQ(run.result.exitCode, 0xFFFFFFFFu) << Utf8(arguments);
    EXPECT_TRUE(run.result.boxes.empty()) << Utf8(arguments);
    EXPECT_TRUE(run.leftBehind.empty()) << Utf8(arguments);
    RemoveLeftovers(run);
  }
}

TEST(CleanUp, KeepFilesExitCodeLeavesArchiveAndWorkDirectory) {
  Options options;
  options.environment.emplace_back(L"FAKE_SETUP_EXIT_CODE", L"0x8004FFFF");
  const SetupRun run = RunVariant("STUB_TAGGED_EXE", L"keep", options);
  EXPECT_EQ(run.result.exitCode, 0x8004FFFFu);
  const std::wstring work = DirectoryOf(run.SetupPath());
  const std::wstring base = DirectoryOf(work);
  ASSERT_EQ(run.leftBehind.size(), 2u);
  std::vector<std::wstring> kinds;
  for (const std::wstring& path : run.leftBehind) {
    EXPECT_EQ(DirectoryOf(path), base);
    kinds.push_back(path.substr(base.size() + 1, 3));
  }
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(kinds, (std::vector<std::wstring>{L"GUM", L"GUT"}));
  EXPECT_EQ(harness::ListDirectory(work), std::vector<std::wstring>{L"ZinUpdateSetup.exe"})
      << "the members are deleted all the same";
  RemoveLeftovers(run);
}

TEST(CleanUp, MemberWithTheSelfCopysName) {
  struct Row {
    const wchar_t* exitCode;
    size_t leftBehind;
  };
  // The self-copy replaces the member; the reader recorded that path, so it
  // deletes the self-copy even when the launcher keeps its files.
  for (const Row& row : {Row{L"0", 0}, Row{L"0x8004FFFF", 2}}) {
    Options options{L"/x"};
    options.environment.emplace_back(L"FAKE_SETUP_EXIT_CODE", row.exitCode);
    const SetupRun run = RunVariant("STUB_SELF_NAMED_EXE", L"self named", options);
    ASSERT_TRUE(run.SetupRan());
    WIN32_FILE_ATTRIBUTE_DATA stub;
    ASSERT_TRUE(GetFileAttributesExW(run.stub.c_str(), GetFileExInfoStandard, &stub));
    EXPECT_EQ(RecordValues(run.record, "file"), (std::vector<std::string>{"ZinUpdate.exe", "ZinUpdateSetup.exe"}));
    const std::vector<std::string> sizes = RecordValues(run.record, "file_size");
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), "ZinUpdateSetup.exe:" + std::to_string(stub.nFileSizeLow)),
              sizes.end())
        << "the self-copy replaced the member";
    EXPECT_EQ(run.leftBehind.size(), row.leftBehind) << Utf8(row.exitCode);
    if (row.leftBehind != 0) EXPECT_TRUE(harness::ListDirectory(DirectoryOf(run.SetupPath())).empty());
    RemoveLeftovers(run);
  }
}

TEST(CleanUp, WhatTheSetupProgramLeavesStays) {
  struct Row {
    const char* what;
    std::pair<std::wstring, std::wstring> variable;
    std::vector<std::wstring> remaining;
  };
  const Row rows[] = {
      {"a file it created", {L"FAKE_SETUP_CREATE_FILE", L"left-behind.txt"}, {L"left-behind.txt"}},
      {"a member still open", {L"FAKE_SETUP_HOLD_FILE", L"ZinUpdate.exe"}, {L"ZinUpdate.exe"}},
  };
  for (const Row& row : rows) {
    Options options;
    options.environment = {row.variable, {L"FAKE_SETUP_HOLD_MS", L"4000"}, {L"FAKE_SETUP_EXIT_CODE", L"7"}};
    const SetupRun run = RunVariant("STUB_TAGGED_EXE", L"left", options);
    EXPECT_EQ(run.result.exitCode, 7u) << row.what;
    EXPECT_TRUE(run.result.boxes.empty()) << row.what;
    ASSERT_EQ(run.leftBehind.size(), 1u) << "only the work directory: " << row.what;
    EXPECT_EQ(run.leftBehind[0], DirectoryOf(run.SetupPath())) << row.what;
    EXPECT_EQ(harness::ListDirectory(run.leftBehind[0]), row.remaining) << row.what;
    Sleep(4500);  // let a holder end before cleaning up
    RemoveLeftovers(run);
  }
}

}  // namespace

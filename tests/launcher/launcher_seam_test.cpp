// Start-up conditions that Wine cannot produce. This program defines the
// import pointers of a few system calls itself (a link seam): the launcher
// code, unchanged, then calls the fakes below, which forward to the real
// functions unless a test asks otherwise.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "entry.h"
#include "error_report.h"
#include "exit_codes.h"
#include "harness.h"
#include "setup_launcher.h"

namespace {

template <typename Fn>
Fn Real(const wchar_t* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(module), name)));
}

struct Fakes {
  bool overrideAdmin = false;
  BOOL admin = TRUE;
  bool overrideCom = false;
  HRESULT comResult = S_OK;
  int comInitCalls = 0;
  int comUninitCalls = 0;
  bool overrideVersion = false;
  DWORD major = 0, minor = 0, servicePack = 0;  // the system the fake reports
  DWORD versionTypeMask = 0;
  OSVERSIONINFOEXW versionAsked = {};
  DWORDLONG conditionMask = 0;
  int folderCalls = 0;
  std::vector<harness::MessageBoxCall> boxes;
};
Fakes fakes;

extern "C" {

BOOL WINAPI FakeIsUserAnAdmin() {
  if (fakes.overrideAdmin) return fakes.admin;
  return Real<BOOL(WINAPI*)()>(L"shell32.dll", MAKEINTRESOURCEA(680))();
}

HRESULT WINAPI FakeCoInitializeEx(LPVOID reserved, DWORD model) {
  ++fakes.comInitCalls;
  const HRESULT real = Real<HRESULT(WINAPI*)(LPVOID, DWORD)>(L"ole32.dll", "CoInitializeEx")(reserved, model);
  return fakes.overrideCom ? fakes.comResult : real;
}

void WINAPI FakeCoUninitialize() {
  ++fakes.comUninitCalls;
  Real<void(WINAPI*)()>(L"ole32.dll", "CoUninitialize")();
}

BOOL WINAPI FakeVerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, DWORDLONG conditions) {
  fakes.versionAsked = *info;
  fakes.versionTypeMask = typeMask;
  fakes.conditionMask = conditions;
  if (!fakes.overrideVersion) {
    return Real<BOOL(WINAPI*)(LPOSVERSIONINFOEXW, DWORD, DWORDLONG)>(L"kernel32.dll", "VerifyVersionInfoW")(
        info, typeMask, conditions);
  }
  // Greater-or-equal on (major, minor, service pack) in order of significance.
  if (fakes.major != info->dwMajorVersion) return fakes.major > info->dwMajorVersion;
  if (fakes.minor != info->dwMinorVersion) return fakes.minor > info->dwMinorVersion;
  return fakes.servicePack >= info->wServicePackMajor;
}

HRESULT WINAPI FakeSHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
  ++fakes.folderCalls;
  return Real<HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR)>(L"shell32.dll", "SHGetFolderPathW")(
      owner, folder, token, flags, path);
}

int WINAPI FakeMessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  fakes.boxes.push_back({text, caption});
  return IDOK;
}

// The import pointers through which the launcher's calls go.
void* seamIsUserAnAdmin __asm__("__imp__IsUserAnAdmin@0") = reinterpret_cast<void*>(&FakeIsUserAnAdmin);
void* seamCoInitializeEx __asm__("__imp__CoInitializeEx@8") = reinterpret_cast<void*>(&FakeCoInitializeEx);
void* seamCoUninitialize __asm__("__imp__CoUninitialize@0") = reinterpret_cast<void*>(&FakeCoUninitialize);
void* seamVerifyVersionInfoW __asm__("__imp__VerifyVersionInfoW@16") =
    reinterpret_cast<void*>(&FakeVerifyVersionInfoW);
void* seamSHGetFolderPathW __asm__("__imp__SHGetFolderPathW@20") = reinterpret_cast<void*>(&FakeSHGetFolderPathW);
void* seamMessageBoxW __asm__("__imp__MessageBoxW@16") = reinterpret_cast<void*>(&FakeMessageBoxW);
}

class Seam : public ::testing::Test {
protected:
  void SetUp() override { fakes = Fakes(); }
  void TearDown() override { fakes = Fakes(); }
};

const std::wstring kCaption = L"Zin Installer";
const std::wstring kUnknown = L"Unknown Installer Error";
const std::wstring kVersionText =
    L"Installation failed. Zin Installer requires Windows 2000 Service Pack 4 or better.";

TEST_F(Seam, VersionCheckAsksFor2000ServicePack4) {
  fakes.overrideVersion = true;
  fakes.major = 5;
  fakes.servicePack = 4;
  EXPECT_TRUE(IsWindowsVersionSupported());
  EXPECT_EQ(fakes.versionAsked.dwOSVersionInfoSize, 284u);
  EXPECT_EQ(fakes.versionAsked.dwMajorVersion, 5u);
  EXPECT_EQ(fakes.versionAsked.dwMinorVersion, 0u);
  EXPECT_EQ(fakes.versionAsked.wServicePackMajor, 4u);
  EXPECT_EQ(fakes.versionTypeMask, 0x23u);
  DWORDLONG expected = 0;
  expected = VerSetConditionMask(expected, VER_MAJORVERSION, VER_GREATER_EQUAL);
  expected = VerSetConditionMask(expected, VER_MINORVERSION, VER_GREATER_EQUAL);
  expected = VerSetConditionMask(expected, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  EXPECT_EQ(fakes.conditionMask, expected);
}

TEST_F(Seam, SystemsBelow2000ServicePack4GetTheVersionBox) {
  struct Row {
    DWORD major, minor, servicePack;
    bool supported;
  };
  const Row rows[] = {{4, 0, 6, false}, {5, 0, 3, false}, {5, 0, 4, true}, {5, 1, 0, true}, {6, 1, 1, true}};
  for (const Row& row : rows) {
    fakes = Fakes();
    fakes.overrideVersion = true;
    fakes.major = row.major;
    fakes.minor = row.minor;
    fakes.servicePack = row.servicePack;
    const std::string what = std::to_string(row.major) + "." + std::to_string(row.minor) + " SP" +
                             std::to_string(row.servicePack);
    EXPECT_EQ(IsWindowsVersionSupported(), row.supported) << what;
    if (row.supported) continue;
    EXPECT_EQ(RunStubProcess(GetModuleHandleW(nullptr), ""), STUB_E_OS_NOT_SUPPORTED) << what;
    ASSERT_EQ(fakes.boxes.size(), 1u) << what;
    EXPECT_EQ(fakes.boxes[0].text, kVersionText);
    EXPECT_EQ(fakes.boxes[0].caption, kCaption);
    EXPECT_EQ(fakes.comUninitCalls, 1) << "COM was initialised before the check: " << what;
    EXPECT_EQ(fakes.folderCalls, 0) << "no work directory is looked for: " << what;
  }
}

TEST_F(Seam, ComFailureIsShownAndReturned) {
  fakes.overrideCom = true;
  fakes.comResult = E_OUTOFMEMORY;
  // The real initialisation happened underneath; undo it ourselves, since
  // the stub must not call CoUninitialize after a failure.
  EXPECT_EQ(RunStubProcess(GetModuleHandleW(nullptr), ""), static_cast<uint32_t>(E_OUTOFMEMORY));
  Real<void(WINAPI*)()>(L"ole32.dll", "CoUninitialize")();
  ASSERT_EQ(fakes.boxes.size(), 1u);
  EXPECT_EQ(fakes.boxes[0].text, kUnknown);
  EXPECT_EQ(fakes.boxes[0].caption, kCaption);
  EXPECT_EQ(fakes.comUninitCalls, 0);
  EXPECT_EQ(fakes.folderCalls, 0) << "no launcher is built";
}

TEST_F(Seam, ComAlreadyInitialisedRunsNormallyAndUninitialisesOnce) {
  fakes.overrideCom = true;
  fakes.comResult = S_FALSE;
  // This test program has no payload: the run gets as far as the archive and
  // fails there, without a box.
  EXPECT_EQ(RunStubProcess(GetModuleHandleW(nullptr), ""), STUB_E_RUN_FAILED);
  EXPECT_TRUE(fakes.boxes.empty());
  EXPECT_EQ(fakes.comInitCalls, 1);
  EXPECT_EQ(fakes.comUninitCalls, 1);
  EXPECT_EQ(fakes.folderCalls, 1) << "the launcher looked for Program Files";
}

TEST_F(Seam, NonAdministratorNeverTouchesProgramFiles) {
  fakes.overrideAdmin = true;
  fakes.admin = FALSE;
  SetupLauncher launcher(nullptr, L"");
  EXPECT_FALSE(launcher.MakeWorkDirectoryInProgramFiles());
  EXPECT_EQ(fakes.folderCalls, 0);
  EXPECT_EQ(launcher.Run(), STUB_E_RUN_FAILED);
  EXPECT_EQ(fakes.folderCalls, 0);
  EXPECT_EQ(launcher.BaseDirectory(), harness::TempDirectory() + L"\\");
}

TEST_F(Seam, UnknownCodesGetTheGenericText) {
  for (uint32_t code : {STUB_E_UNTAGGED, STUB_E_RUN_FAILED, 0x80004005u, 0u}) {
    fakes.boxes.clear();
    EXPECT_EQ(ReportInstallerError(code), code);
    ASSERT_EQ(fakes.boxes.size(), 1u);
    EXPECT_EQ(fakes.boxes[0].text, kUnknown) << std::hex << code;
    EXPECT_EQ(fakes.boxes[0].caption, kCaption);
  }
}

}  // namespace

#include "entry.h"

#include <objbase.h>

#include "ansi_text.h"
#include "error_report.h"
#include "exit_codes.h"
#include "setup_launcher.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// SetDefaultDllDirectories is missing before Windows 8 without KB2533623, so
// it is looked up rather than imported; without it the default order stays.
void RestrictDllSearchToSystemDirectory() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  FARPROC proc = GetProcAddress(kernel32, "SetDefaultDllDirectories");
  if (proc == nullptr) return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(proc));
  setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

bool IsWindowsVersionSupported() {
  OSVERSIONINFOEXW wanted = {};
  wanted.dwOSVersionInfoSize = sizeof(wanted);
  wanted.dwMajorVersion = 5;
  wanted.dwMinorVersion = 0;
  wanted.wServicePackMajor = 4;
  DWORDLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, conditions) != 0;
}

uint32_t RunStubProcess(HINSTANCE instance, const char* argumentText) {
  RestrictDllSearchToSystemDirectory();

  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  uint32_t result;
  if (FAILED(com)) {
    result = ReportInstallerError(static_cast<uint32_t>(com));
  } else if (!IsWindowsVersionSupported()) {
    result = ReportInstallerError(STUB_E_OS_NOT_SUPPORTED);
  } else {
    SetupLauncher launcher(instance, WidenAnsiText(argumentText));
    result = launcher.Run();
  }
  if (com == S_OK || com == S_FALSE) CoUninitialize();
  return result;
}

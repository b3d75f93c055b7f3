// The last step of a run: compose the setup program's command line, start it,
// wait for it and keep its exit code.
#include <shlwapi.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "ansi_text.h"
#include "command_line.h"
#include "error_report.h"
#include "exit_codes.h"
#include "setup_launcher.h"
#include "tag/read_tag.h"
#include "unique_handle.h"

namespace {

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};
using TagText = std::unique_ptr<char, FreeDeleter>;

// Path of `module`'s file, or false when the call fails or the path is cut.
bool ModulePath(HMODULE module, wchar_t (&path)[MAX_PATH]) {
  ZeroMemory(path, sizeof(path));
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return length != 0 && length < MAX_PATH;
}

// Starts the command line's first token with the stub's own start-up
// information (shown normally, no busy cursor), its environment and current
// directory, and waits for it without a time limit. On a failed start the
// system error code goes into `exitCode`.
bool RunAndWait(const std::wstring& commandLine, uint32_t* exitCode) {
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');

  STARTUPINFOW startup = {};
  GetStartupInfoW(&startup);
  startup.dwFlags |= STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};

  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, nullptr,
                      nullptr, &startup, &process)) {
    if (exitCode != nullptr) *exitCode = GetLastError();
    return false;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(processHandle.Get(), INFINITE);
  if (exitCode == nullptr) return true;
  DWORD code = 0;
  const bool read = GetExitCodeProcess(processHandle.Get(), &code) != 0;
  if (read) *exitCode = code;
  return read;
}

}  // namespace

uint32_t SetupLauncher::HandOff() {
  exitCode = STUB_E_RUN_FAILED;
  if (setupProgramPath.empty()) return exitCode;

  wchar_t setupPiece[MAX_PATH] = {};
  if (setupProgramPath.size() < MAX_PATH) setupProgramPath.copy(setupPiece, setupProgramPath.size());
  PathQuoteSpacesW(setupPiece);

  // The tag is read whatever the arguments say.
  wchar_t path[MAX_PATH];
  TagText tag(ModulePath(moduleHandle, path) ? ReadTagFromFile(path) : nullptr);
  const std::wstring widenedTag = WidenAnsiText(tag.get());

  const bool ownPathAvailable = ModulePath(nullptr, path);
  std::wstring commandLine;
  if (!ComposeSetupCommandLine(setupPiece, arguments, ownPathAvailable ? path : nullptr,
                               tag ? widenedTag.c_str() : nullptr, commandLine)) {
    return ReportInstallerError(STUB_E_UNTAGGED);
  }
  RunAndWait(commandLine, &exitCode);
  return exitCode;
}

// run_stub STUB [ARGUMENTS...]: starts STUB with the rest of this program's
// command line as its arguments, waits for it and prints its full 32-bit exit
// code (a Unix shell sees only the low 8 bits of it).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The rest of the command line after `skip` arguments, as Windows splits them.
const wchar_t* SkipArguments(const wchar_t* commandLine, int skip) {
  const wchar_t* at = commandLine;
  for (int i = 0; i < skip; ++i) {
    while (*at == L' ' || *at == L'\t') ++at;
    bool quoted = false;
    while (*at != 0 && (quoted || (*at != L' ' && *at != L'\t'))) {
      if (*at == L'"') quoted = !quoted;
      ++at;
    }
  }
  while (*at == L' ' || *at == L'\t') ++at;
  return at;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    std::fputs("usage: run_stub STUB [ARGUMENTS...]\n", stderr);
    return 2;
  }
  std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
  const wchar_t* rest = SkipArguments(GetCommandLineW(), 2);
  if (*rest != 0) commandLine += L" " + std::wstring(rest);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "run_stub: cannot start %ls: error %lu\n", argv[1], GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("exit code: 0x%08lX (%ld)\n", static_cast<unsigned long>(code), static_cast<long>(code));
  return 0;
}

// A stand-in setup program for tests. It writes what it received to the file
// named by FAKE_SETUP_RECORD (UTF-8, one "key=value" per line) and exits with
// the code in FAKE_SETUP_EXIT_CODE (decimal or 0x-hex; 0 when unset).
// It records its command line, module path, current directory, start-up flags
// and show-window value, each file beside it ("file=NAME",
// "file_size=NAME:BYTES") and the value of FAKE_SETUP_ECHO ("echo=...").
//
// Optional, for clean-up tests:
//   FAKE_SETUP_CREATE_FILE  a file name to create beside the program
//   FAKE_SETUP_HOLD_FILE    a file name beside the program to keep open after
//                           this program exits: a child copy of this program
//                           holds it for FAKE_SETUP_HOLD_MS milliseconds
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[32768];
  DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  if (length == 0 || length >= 32768) return {};
  return std::wstring(buffer, length);
}

std::wstring DirectoryOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::vector<std::wstring> FilesIn(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Child mode: "--hold <path> <ms>" keeps <path> open, then exits.
int Hold(const wchar_t* path, const wchar_t* milliseconds) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  Sleep(static_cast<DWORD>(wcstoul(milliseconds, nullptr, 10)));
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc == 4 && std::wstring(argv[1]) == L"--hold") return Hold(argv[2], argv[3]);

  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  const std::wstring here = DirectoryOf(module);

  const std::wstring create = Env(L"FAKE_SETUP_CREATE_FILE");
  if (!create.empty()) {
    HANDLE file = CreateFileW((here + L"\\" + create).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }

  const std::wstring hold = Env(L"FAKE_SETUP_HOLD_FILE");
  if (!hold.empty()) {
    std::wstring holdMs = Env(L"FAKE_SETUP_HOLD_MS");
    if (holdMs.empty()) holdMs = L"3000";
    std::wstring command = L"\"" + std::wstring(module) + L"\" --hold \"" + here + L"\\" + hold + L"\" " + holdMs;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      Sleep(300);  // let the child open the file before we exit
    }
  }

  const std::wstring recordPath = Env(L"FAKE_SETUP_RECORD");
  if (!recordPath.empty()) {
    STARTUPINFOW startup = {};
    GetStartupInfoW(&startup);
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);

    std::string record;
    record += "command_line=" + Utf8(GetCommandLineW()) + "\n";
    record += "current_directory=" + Utf8(current) + "\n";
    record += "module=" + Utf8(module) + "\n";
    char numbers[64];
    std::snprintf(numbers, sizeof(numbers), "startup_flags=0x%lx\n", static_cast<unsigned long>(startup.dwFlags));
    record += numbers;
    std::snprintf(numbers, sizeof(numbers), "show_window=%u\n", static_cast<unsigned>(startup.wShowWindow));
    record += numbers;
    record += "echo=" + Utf8(Env(L"FAKE_SETUP_ECHO")) + "\n";
    for (const std::wstring& name : FilesIn(here)) {
      record += "file=" + Utf8(name) + "\n";
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (GetFileAttributesExW((here + L"\\" + name).c_str(), GetFileExInfoStandard, &data)) {
        record += "file_size=" + Utf8(name) + ":" + std::to_string(data.nFileSizeLow) + "\n";
      }
    }

    HANDLE file = CreateFileW(recordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
      CloseHandle(file);
    }
  }

  const std::wstring exitCode = Env(L"FAKE_SETUP_EXIT_CODE");
  return static_cast<int>(exitCode.empty() ? 0 : wcstoul(exitCode.c_str(), nullptr, 0));
}

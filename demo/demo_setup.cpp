// The demo's setup program: shows what the stub handed it. It prints, to the
// console and to the file named by DEMO_SETUP_REPORT, its command line, its
// working directory and the files beside it, then exits 0.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace

int main() {
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring directory = module;
  directory.resize(directory.rfind(L'\\'));
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);

  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (data.cFileName[0] != L'.') names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  std::sort(names.begin(), names.end());

  std::string report = "command line:      " + Utf8(GetCommandLineW()) + "\n";
  report += "working directory: " + Utf8(current) + "\n";
  report += "files beside it:  ";
  for (const std::wstring& name : names) report += " " + Utf8(name);
  report += "\n";

  std::fputs(report.c_str(), stdout);
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("DEMO_SETUP_REPORT", path, MAX_PATH) > 0) {
    if (FILE* file = std::fopen(path, "ab")) {
      std::fputs(report.c_str(), file);
      std::fclose(file);
    }
  }
  return 0;
}

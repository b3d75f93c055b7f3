#include "harness.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace harness {

namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return std::wstring(buffer.data(), length);
}

// The current environment with `changes` applied, as a CreateProcessW block.
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
  // Case-insensitive names, as Windows treats them.
  auto key = [](std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    return name;
  };
  std::map<std::wstring, std::wstring> variables;
  LPWCH strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != 0; entry += wcslen(entry) + 1) {
    std::wstring text = entry;
    const size_t equals = text.find(L'=', 1);  // "=C:=C:\..." entries start with '='
    if (equals == std::wstring::npos) continue;
    variables[key(text.substr(0, equals))] = text;
  }
  FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : changes) {
    if (value.empty()) {
      variables.erase(key(name));
    } else {
      variables[key(name)] = name + L"=" + value;
    }
  }
  std::vector<wchar_t> block;
  for (const auto& entry : variables) {
    block.insert(block.end(), entry.second.begin(), entry.second.end());
    block.push_back(0);
  }
  block.push_back(0);
  return block;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string ReadFileFrom(const std::wstring& path, uint64_t offset) {
  std::string content;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

// Parses one relay argument of the form L"..." starting at `at`; advances `at`.
std::wstring ParseRelayString(const std::string& line, size_t& at) {
  std::wstring text;
  at = line.find("L\"", at);
  if (at == std::string::npos) return text;
  at += 2;
  while (at < line.size() && line[at] != '"') {
    char c = line[at++];
    if (c != '\\' || at >= line.size()) {
      text.push_back(static_cast<unsigned char>(c));
      continue;
    }
    char escaped = line[at++];
    switch (escaped) {
      case 'n': text.push_back(L'\n'); break;
      case 'r': text.push_back(L'\r'); break;
      case 't': text.push_back(L'\t'); break;
      case '"': text.push_back(L'"'); break;
      case '\\': text.push_back(L'\\'); break;
      default:  // \XXXX: a UTF-16 code unit in hex
        text.push_back(static_cast<wchar_t>(std::strtoul(line.substr(at - 1, 4).c_str(), nullptr, 16)));
        at += 3;
        break;
    }
  }
  ++at;
  return text;
}

std::vector<MessageBoxCall> MessageBoxesOfThread(const std::string& log, DWORD threadId) {
  char prefix[32];
  std::snprintf(prefix, sizeof(prefix), "%04lx:Call user32.MessageBoxW(", static_cast<unsigned long>(threadId));
  std::vector<MessageBoxCall> boxes;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.compare(0, std::strlen(prefix), prefix) == 0) {
      size_t at = 0;
      MessageBoxCall call;
      call.text = ParseRelayString(line, at);
      call.caption = ParseRelayString(line, at);
      boxes.push_back(call);
    }
    start = end + 1;
  }
  return boxes;
}

}  // namespace

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], size);
  return out;
}

std::wstring WinePath(const std::string& unixPath) {
  std::wstring path = L"Z:" + Widen(unixPath);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

std::wstring PathFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    ADD_FAILURE() << "environment variable " << name << " is not set";
    return {};
  }
  return WinePath(value);
}

std::wstring FreshDirectory(const std::wstring& name) {
  std::wstring root = PathFromEnvironment("STUB_TEST_SCRATCH");
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring directory = root + L"\\" + name;
  RemoveTree(directory);
  CreateDirectoryW(directory.c_str(), nullptr);
  return directory;
}

std::wstring CopyInto(const std::wstring& source, const std::wstring& directory, const std::wstring& name) {
  const std::wstring target = directory + L"\\" + name;
  EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE))
      << "copy " << Utf8(source) << " -> " << Utf8(target) << " failed: " << GetLastError();
  return target;
}

std::vector<std::wstring> ListDirectory(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::wstring> NamesWithPrefix(const std::wstring& directory, const std::wstring& prefix) {
  std::vector<std::wstring> names;
  for (const std::wstring& name : ListDirectory(directory)) {
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  return names;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring DirectoryOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    for (const std::wstring& name : ListDirectory(path)) RemoveTree(path + L"\\" + name);
    RemoveDirectoryW(path.c_str());
  } else {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
}

std::multimap<std::string, std::string> ReadRecord(const std::wstring& path) {
  std::multimap<std::string, std::string> record;
  const std::string content = ReadFileFrom(path, 0);
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) record.emplace(line.substr(0, equals), line.substr(equals + 1));
    start = end + 1;
  }
  return record;
}

std::string RecordValue(const std::multimap<std::string, std::string>& record, const std::string& key) {
  auto it = record.find(key);
  return it == record.end() ? std::string("<missing>") : it->second;
}

std::vector<std::string> RecordValues(const std::multimap<std::string, std::string>& record, const std::string& key) {
  std::vector<std::string> values;
  auto range = record.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
  return values;
}

std::wstring TempDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetTempPathW(MAX_PATH, buffer);
  std::wstring path(buffer, length);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring ProgramFilesDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

StubResult RunStub(const StubLaunch& launch) {
  StubResult result;
  std::wstring commandLine =
      launch.rawCommandLine.empty() ? L"\"" + launch.program + L"\" " + launch.arguments : launch.rawCommandLine;
  if (launch.rawCommandLine.empty() && launch.arguments.empty()) commandLine.pop_back();

  auto changes = launch.environment;
  changes.emplace_back(L"WINEDEBUG", L"+relay");
  std::vector<wchar_t> environment = EnvironmentBlock(changes);

  const std::wstring log = PathFromEnvironment("STUB_TEST_WINE_LOG");
  const uint64_t logStart = FileSize(log);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(0);
  if (!CreateProcessW(launch.program.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), launch.currentDirectory.empty() ? nullptr : launch.currentDirectory.c_str(),
                      &startup, &process)) {
    ADD_FAILURE() << "cannot start " << Utf8(launch.program) << ": error " << GetLastError();
    return result;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.exitCode = code;
  result.boxes = MessageBoxesOfThread(ReadFileFrom(log, logStart), process.dwThreadId);
  return result;
}

ScopedRegistryValue::ScopedRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name,
                                         const std::wstring& value)
    : root_(root), key_(key), name_(name) {
  HKEY handle;
  if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open registry key " << Utf8(key_);
    return;
  }
  wchar_t buffer[1024];
  DWORD size = sizeof(buffer);
  DWORD type = 0;
  if (RegQueryValueExW(handle, name_.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
          ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    hadValue_ = true;
    previous_.assign(buffer, size / sizeof(wchar_t));
    while (!previous_.empty() && previous_.back() == 0) previous_.pop_back();
  }
  RegSetValueExW(handle, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

ScopedRegistryValue::~ScopedRegistryValue() {
  HKEY handle;
  if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS) return;
  if (hadValue_) {
    RegSetValueExW(handle, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                   static_cast<DWORD>((previous_.size() + 1) * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(handle, name_.c_str());
  }
  RegCloseKey(handle);
}

}  // namespace harness

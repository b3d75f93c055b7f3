#include "win_test_files.h"

#include <algorithm>

std::wstring MakeScratchDirectory() {
  const std::wstring base = Widen(PAYLOAD_TEST_SCRATCH);
  CreateDirectoryW(base.c_str(), nullptr);
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(base.c_str(), L"PLT", 0, name) == 0) return L"";
  DeleteFileW(name);
  if (!CreateDirectoryW(name, nullptr)) return L"";
  return name;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                              nullptr) &&
                                    written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) != 0;
  bytes.assign(ok ? static_cast<size_t>(size.QuadPart) : 0, '\0');
  DWORD read = 0;
  if (ok && !bytes.empty()) {
    ok = ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
  }
  CloseHandle(file);
  return ok;
}

std::vector<std::wstring> ListFiles(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring TestDataPath(const char* name) { return Widen(std::string(PAYLOAD_TEST_DATA) + "/" + name); }

std::vector<uint8_t> TestData(const char* name) {
  std::string bytes;
  if (!ReadWholeFile(TestDataPath(name), bytes)) return {};
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

uint64_t Position(HANDLE file) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position = {};
  SetFilePointerEx(file, zero, &position, FILE_CURRENT);
  return static_cast<uint64_t>(position.QuadPart);
}

// The floor for the end-to-end benchmark: the least a self-extractor can do
// with the same payload and the same decoders. It decodes its payload
// resource in memory, writes each member straight from the decoded archive,
// runs the first ".exe" member and waits for it, then deletes what it wrote.
// No archive file, no self-copy, no tag, no checks beyond what it needs.
//
// Built a second time with FLOOR_WITH_PLATFORM_IMPORTS, it also makes the
// system calls the stub cannot do without (COM, the administrator check, the
// Program Files folder, lower-casing): under Wine, loading ole32, shell32 and
// user32 costs more than everything else the stub adds, so this second floor
// shows what the stub's own work costs.
#include <windows.h>

#ifdef FLOOR_WITH_PLATFORM_IMPORTS
#include <objbase.h>
#include <shlobj.h>
#endif

#include <string>
#include <vector>

#include "decode_payload.h"
#include "tar_header.h"

int main() {
#ifdef FLOOR_WITH_PLATFORM_IMPORTS
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  wchar_t folder[MAX_PATH] = L"ABC";
  CharLowerBuffW(folder, 3);
  if (IsUserAnAdmin()) SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
#endif
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(102), L"B");
  if (info == nullptr) return 2;
  const auto* payload = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, info)));
  HeapBuffer archive;
  if (DecodePayload(payload, SizeofResource(nullptr, info), archive) != kPayloadDecoded) return 3;

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring directory = std::wstring(temp) + L"floor" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(directory.c_str(), nullptr);

  std::vector<std::wstring> written;
  std::wstring setup;
  const uint8_t* data = archive.Data();
  const size_t size = archive.Size();
  for (size_t at = 0; at + kTarBlockSize <= size;) {
    const uint8_t* header = data + at;
    if (ClassifyTarBlock(header) != TarBlockKind::kMember) break;
    uint32_t length = 0;
    if (!ParseTarSize(header, length) || at + kTarBlockSize + length > size) return 4;
    const std::string name(reinterpret_cast<const char*>(header), TarNameLength(header));
    const std::wstring path = directory + L"\\" + std::wstring(name.begin(), name.end());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 5;
    DWORD done = 0;
    WriteFile(file, header + kTarBlockSize, length, &done, nullptr);
    CloseHandle(file);
    written.push_back(path);
    if (setup.empty() && path.size() > 4 && path.compare(path.size() - 4, 4, L".exe") == 0) setup = path;
    at += kTarBlockSize + (length + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize;
  }

  DWORD exitCode = 1;
  std::wstring commandLine = L"\"" + setup + L"\" /installsource taggedmi /install";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (const std::wstring& path : written) DeleteFileW(path.c_str());
  RemoveDirectoryW(directory.c_str());
#ifdef FLOOR_WITH_PLATFORM_IMPORTS
  CoUninitialize();
#endif
  return static_cast<int>(exitCode);
}

// Where a run stages its files: the base directory, the unique work directory
// inside it, and the stub's copy of itself.
#include <shlobj.h>
#include <shlwapi.h>

#include "setup_launcher.h"

namespace {

// Text of a zero-filled MAX_PATH buffer up to its first NUL.
std::wstring TextOf(const wchar_t (&buffer)[MAX_PATH]) { return std::wstring(buffer); }

}  // namespace

bool SetupLauncher::MakeWorkDirectoryInProgramFiles() {
  if (!IsUserAnAdmin()) return false;
  wchar_t programFiles[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles))) {
    return false;
  }
  const std::wstring base = TextOf(programFiles);
  if (!MakeUniqueDirectory(base)) return false;
  baseDirectory = base;
  return true;
}

bool SetupLauncher::MakeWorkDirectoryInTemp() {
  wchar_t temp[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring base = TextOf(temp);
  if (!MakeUniqueDirectory(base)) return false;
  baseDirectory = base;
  return true;
}

bool SetupLauncher::MakeUniqueDirectory(const std::wstring& base) {
  if (!CreateDirectoryW(base.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  wchar_t unique[MAX_PATH] = {};
  if (GetTempFileNameW(base.c_str(), L"GUM", 0, unique) == 0) return false;
  // GetTempFileNameW reserved the name with an empty file; the directory takes
  // its place.
  DeleteFileW(unique);
  if (!CreateDirectoryW(unique, nullptr)) return false;
  workDirectory = TextOf(unique);
  return true;
}

bool SetupLauncher::CopySelfIntoWorkDirectory() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;

  wchar_t target[MAX_PATH] = {};
  if (workDirectory.size() >= MAX_PATH) return false;
  workDirectory.copy(target, workDirectory.size());
  // A target that does not fit is left unchanged and the copy below fails.
  PathAppendW(target, L"ZinUpdateSetup.exe");
  if (!CopyFileW(self, target, FALSE)) return false;
  filesToDelete.push_back(TextOf(target));
  return true;
}

#include "payload/decode_to_file.h"
#include "payload/payload_resource.h"
#include "setup_launcher.h"
#include "unique_handle.h"

HANDLE SetupLauncher::CreateArchiveFile() {
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(baseDirectory.c_str(), L"GUT", 0, name) == 0) return INVALID_HANDLE_VALUE;
  // Recorded the moment it exists, so every failure below still removes it.
  filesToDelete.push_back(name);

  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(kPayloadResourceId), kPayloadResourceType);
  if (resource == nullptr) return INVALID_HANDLE_VALUE;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) return INVALID_HANDLE_VALUE;
  const void* payload = LockResource(loaded);
  if (payload == nullptr) return INVALID_HANDLE_VALUE;

  UniqueHandle file(
      CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
  if (!file) return INVALID_HANDLE_VALUE;
  if (DecodePayloadToFile(static_cast<const uint8_t*>(payload), SizeofResource(nullptr, resource),
                          file.Get()) != 0) {
    return INVALID_HANDLE_VALUE;
  }
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) return INVALID_HANDLE_VALUE;
  return file.Release();
}

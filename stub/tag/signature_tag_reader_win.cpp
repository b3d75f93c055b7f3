// The tag reader's view of a file in the stub: a read-only Win32 file mapping
// of the whole file. The readable size is what VirtualQuery reports for the
// view, the file's size rounded up to whole pages.
#include <windows.h>

#include "signature_tag_reader.h"

SignatureTagReader::SignatureTagReader()
    : fileHandle(INVALID_HANDLE_VALUE),
      mappingHandle(nullptr),
      view(nullptr),
      viewSize(0),
      certificateTableSize(0),
      certificateTable(nullptr) {}

bool SignatureTagReader::IsOpen() const { return fileHandle != INVALID_HANDLE_VALUE; }

bool SignatureTagReader::Open(const wchar_t* path) {
  Close();
  fileHandle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (fileHandle == INVALID_HANDLE_VALUE) return false;

  // A file of zero bytes cannot be mapped, so it ends here.
  mappingHandle = CreateFileMappingW(fileHandle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mappingHandle == nullptr) {
    Close();
    return false;
  }
  view = static_cast<const uint8_t*>(MapViewOfFile(mappingHandle, FILE_MAP_READ, 0, 0, 0));
  if (view == nullptr) {
    Close();
    return false;
  }
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(view, &region, sizeof(region)) == 0) {
    Close();
    return false;
  }
  viewSize = static_cast<uint32_t>(region.RegionSize);
  return true;
}

void SignatureTagReader::Close() {
  if (view != nullptr) {
    UnmapViewOfFile(view);
    view = nullptr;
  }
  if (mappingHandle != nullptr) {
    CloseHandle(mappingHandle);
    mappingHandle = nullptr;
  }
  if (fileHandle != INVALID_HANDLE_VALUE) {
    CloseHandle(fileHandle);
    fileHandle = INVALID_HANDLE_VALUE;
  }
  viewSize = 0;
  certificateTableSize = 0;
  certificateTable = nullptr;
}

#include "tar_reader.h"

#include <cstdint>
#include <utility>

#include "../unique_handle.h"
#include "tar_header.h"

namespace {

constexpr DWORD kCopyChunkSize = 0x40000;

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
  DWORD read = 0;
  return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

bool WriteExactly(HANDLE file, const void* buffer, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, buffer, size, &written, nullptr) && written == size;
}

// The archive's position as a 32-bit offset. False when it cannot be read or
// lies at 4 GiB or beyond, where the reader's offsets end.
bool CurrentOffset(HANDLE file, uint32_t& offset) {
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  if (high != 0) return false;
  offset = low;
  return true;
}

// Absolute seek to an unsigned 32-bit offset. The high part is passed so
// that offsets of 2 GiB and more are not read as negative.
bool SeekTo(HANDLE file, uint32_t offset) {
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// The name field's bytes through the thread's ANSI code page. An empty name
// gives an empty string.
bool WidenName(const uint8_t* name, size_t length, std::wstring& wide) {
  wide.clear();
  if (length == 0) return true;
  const char* bytes = reinterpret_cast<const char*>(name);
  const int count = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(length), nullptr, 0);
  if (count <= 0) return false;
  wide.resize(static_cast<size_t>(count));
  return MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(length), &wide[0], count) == count;
}

// Copies `size` bytes from the archive's position to `member` in chunks of
// at most 256 KiB. False at the first read that fails or comes back short,
// or the first write that fails or stores less.
bool CopyData(HANDLE archive, HANDLE member, uint32_t size) {
  uint8_t buffer[kCopyChunkSize];
  uint32_t remaining = size;
  while (remaining != 0) {
    const DWORD chunk = remaining < kCopyChunkSize ? remaining : kCopyChunkSize;
    if (!ReadExactly(archive, buffer, chunk) || !WriteExactly(member, buffer, chunk)) return false;
    remaining -= chunk;
  }
  return true;
}

}  // namespace

TarReader::TarReader(HANDLE archive, std::wstring output, bool record, FileExtractedCallback callback,
                     void* context)
    : archiveFile(archive), outputDirectory(std::move(output)), recordWrittenFiles(record),
      onFileExtracted(callback), callbackContext(context) {}

TarReader::~TarReader() { DeleteFiles(writtenFiles); }

bool TarReader::ExtractOneFile(bool& endOfArchive) {
  uint8_t header[kTarBlockSize];
  if (!ReadExactly(archiveFile, header, sizeof header)) return false;
  switch (ClassifyTarBlock(header)) {
    case TarBlockKind::kEndOfArchive:
      endOfArchive = true;
      return true;
    case TarBlockKind::kInvalid:
      return false;
    case TarBlockKind::kMember:
      break;
  }

  // Everything that can refuse the member is settled before its file exists.
  std::wstring name;
  if (!WidenName(header, TarNameLength(header), name)) return false;
  if (!IsSafeMemberName(name.c_str(), name.size())) return false;
  uint32_t size = 0;
  if (!ParseTarSize(header, size)) return false;
  uint32_t dataStart = 0;
  uint32_t nextHeader = 0;
  if (!CurrentOffset(archiveFile, dataStart) || !NextTarHeaderOffset(dataStart, size, nextHeader)) {
    return false;
  }

  std::wstring path = outputDirectory;
  path += L'\\';
  path += name;
  bool copied = false;
  {
    UniqueHandle member(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!member) return false;
    copied = CopyData(archiveFile, member.Get(), size);
  }  // The member file is closed here, before anybody hears of it.

  if (copied) {
    if (recordWrittenFiles) writtenFiles.push_back(path);
    if (onFileExtracted != nullptr) onFileExtracted(callbackContext, path.c_str());
  } else {
    // Neither recorded nor reported, so nobody else would ever remove it.
    DeleteFileW(path.c_str());
  }

  // A failed seek would leave the position inside the fill, where a zero
  // block reads as the end marker and the rest of the archive is lost.
  if (!SeekTo(archiveFile, nextHeader)) return false;
  return copied;
}

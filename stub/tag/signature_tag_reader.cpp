// The portable part of the tag reader: header checks, the table's location
// and the scan. Every bound is tested in 64 bits, so no sum can wrap.
#include "signature_tag_reader.h"

#include <cstdlib>
#include <cstring>

#include "../byte_order.h"
#include "read_tag.h"

namespace {

constexpr uint32_t kMinimumView = 64;            // the DOS header
constexpr uint32_t kNtHeadersOffsetField = 60;   // e_lfanew
constexpr uint32_t kNtHeaders32Size = 248;       // signature, file header, 32-bit optional header
constexpr uint32_t kMachineOffset = 4;
constexpr uint32_t kSecurityEntryOffset = 152;   // data directory 4 of a 32-bit optional header
constexpr uint32_t kFirstEntryMinimum = 12;      // WIN_CERTIFICATE header and the DER start
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint32_t kSizeLimit = 0x10000;         // L + 1 must stay below this

// True when [offset, offset + length) ends at or before `limit`.
bool EndsWithin(uint32_t offset, uint32_t length, uint32_t limit) {
  return static_cast<uint64_t>(offset) + length <= limit;
}

}  // namespace

SignatureTagReader::~SignatureTagReader() { Close(); }

char* SignatureTagReader::ReadTag() {
  if (!IsOpen()) return nullptr;
  int32_t size = 0;
  if (!FindTag(view, nullptr, &size)) return nullptr;
  if (size <= 0 || static_cast<uint32_t>(size) >= kSizeLimit) return nullptr;

  char* text = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  if (text == nullptr) return nullptr;
  if (!IsOpen() || !FindTag(view, text, &size)) {
    std::free(text);
    return nullptr;
  }
  // The setup program receives the tag inside double quotes.
  if (std::strchr(text, '"') != nullptr) {
    std::free(text);
    return nullptr;
  }
  return text;
}

bool SignatureTagReader::FindTag(const uint8_t* base, char* buffer, int32_t* size) {
  if (size == nullptr || base == nullptr) return false;
  if (!LocateCertificateTable(base)) return false;
  const uint32_t offset = static_cast<uint32_t>(certificateTable - base);
  if (!EndsWithin(offset, certificateTableSize, viewSize)) return false;
  return ScanForTag(certificateTable, buffer, size);
}

bool SignatureTagReader::LocateCertificateTable(const uint8_t* base) {
  SecurityDirectory entry;
  if (!FindSecurityDirectory(base, &entry)) return false;
  // Stricter than the security entry's own test: C + 12 must lie inside the view.
  if (!EndsWithin(entry.offset, kFirstEntryMinimum + 1, viewSize)) return false;
  if (base[entry.offset + 8] != 0x30 || base[entry.offset + 9] != 0x82) return false;
  certificateTableSize = entry.size;
  certificateTable = base + entry.offset;
  return true;
}

bool SignatureTagReader::FindSecurityDirectory(const uint8_t* base, SecurityDirectory* entry) const {
  if (base == nullptr || entry == nullptr) return false;
  if (viewSize < kMinimumView || base[0] != 'M' || base[1] != 'Z') return false;
  const uint32_t ntHeaders = ReadLe32(base + kNtHeadersOffsetField);
  if (!EndsWithin(ntHeaders, kNtHeaders32Size, viewSize)) return false;
  const uint8_t* nt = base + ntHeaders;
  if (nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0) return false;
  if (ReadLe16(nt + kMachineOffset) == kMachineAmd64) return false;
  const uint32_t offset = ReadLe32(nt + kSecurityEntryOffset);
  if (offset == 0 || !EndsWithin(offset, kFirstEntryMinimum, viewSize)) return false;
  entry->offset = offset;
  entry->size = ReadLe32(nt + kSecurityEntryOffset + 4);
  return true;
}

bool SignatureTagReader::ScanForTag(const uint8_t* table, char* buffer, int32_t* size) {
  if (table == nullptr || size == nullptr) return false;
  const uint32_t tableSize = certificateTableSize;
  if (tableSize < kTagMagicSize) return false;

  const uint8_t* magic = nullptr;
  for (uint32_t position = 0; position <= tableSize - kTagMagicSize; ++position) {
    if (table[position] == kTagMagic[0] && std::memcmp(table + position, kTagMagic, kTagMagicSize) == 0) {
      magic = table + position;
      break;
    }
  }
  if (magic == nullptr) return false;

  // The whole record must lie in the table; nothing past it is read.
  const uint32_t position = static_cast<uint32_t>(magic - table);
  if (!EndsWithin(position, kTagRecordHeaderSize, tableSize)) return false;
  const uint32_t length = static_cast<uint32_t>(magic[kTagMagicSize]) << 8 | magic[kTagMagicSize + 1];
  if (length == 0) return false;
  if (!EndsWithin(position + kTagRecordHeaderSize, length, tableSize)) return false;

  const int32_t needed = static_cast<int32_t>(length + 1);
  if (buffer == nullptr) {
    *size = needed;
    return true;
  }
  if (*size < needed) return false;
  std::memcpy(buffer, magic + kTagRecordHeaderSize, length);
  buffer[length] = '\0';
  return true;
}

char* ReadTagFromFile(const TagPathChar* path) {
  if (path == nullptr) return nullptr;
  SignatureTagReader reader;
  if (!reader.Open(path)) return nullptr;
  char* tag = reader.ReadTag();
  reader.Close();
  return tag;
}

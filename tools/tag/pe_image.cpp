#include "pe_image.h"

#include <cstdio>
#include <string>

#include "tag_error.h"

namespace {

constexpr uint32_t kNtHeaders32Size = 248;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kPe32Magic = 0x010B;
constexpr uint32_t kOptionalHeader = 24;             // from the NT headers
constexpr uint32_t kChecksumField = kOptionalHeader + 64;
constexpr uint32_t kDirectoryCountField = kOptionalHeader + 92;
constexpr uint32_t kSecurityEntry = kOptionalHeader + 128;  // 152: directory 4
constexpr uint32_t kSecurityDirectoryIndex = 4;
constexpr uint16_t kCertificateRevision = 0x0200;
constexpr uint16_t kCertificateTypePkcs = 0x0002;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

bool EndsWithin(uint64_t offset, uint64_t length, uint64_t limit) { return offset + length <= limit; }

}  // namespace

uint32_t RoundUpTo8(uint32_t value) { return (value + 7u) & ~7u; }

uint16_t Le16At(const Bytes& bytes, size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); }

uint32_t Le32At(const Bytes& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void StoreLe16(Bytes& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void StoreLe32(Bytes& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

PeLayout ReadPeLayout(const Bytes& file) {
  if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') throw TagError("not a PE image (no MZ header)");
  if (file.size() > UINT32_MAX) throw TagError("the file is 4 GiB or larger, which a PE image cannot be");
  PeLayout layout;
  layout.ntOffset = Le32At(file, 60);
  if (!EndsWithin(layout.ntOffset, kNtHeaders32Size, file.size())) {
    throw TagError("not a PE image (the NT headers at " + Hex(layout.ntOffset) + " lie past the end of the file)");
  }
  const uint32_t nt = layout.ntOffset;
  if (file[nt] != 'P' || file[nt + 1] != 'E' || file[nt + 2] != 0 || file[nt + 3] != 0) {
    throw TagError("not a PE image (no PE signature)");
  }
  if (Le16At(file, nt + 4) == kMachineAmd64) {
    throw TagError("an AMD64 image: the stub's tag reader ignores 64-bit images, so a tag would never be read");
  }
  const uint16_t magic = Le16At(file, nt + kOptionalHeader);
  if (magic != kPe32Magic) {
    throw TagError("not a PE32 image (optional header magic " + Hex(magic) +
                   "): the stub's tag reader reads only the 32-bit header layout");
  }
  if (Le32At(file, nt + kDirectoryCountField) <= kSecurityDirectoryIndex) {
    throw TagError("the image's data directory has no security entry");
  }
  layout.checksumOffset = nt + kChecksumField;
  layout.securityEntryOffset = nt + kSecurityEntry;
  layout.tableOffset = Le32At(file, layout.securityEntryOffset);
  layout.tableSize = Le32At(file, layout.securityEntryOffset + 4);
  if (layout.tableOffset != 0 && !EndsWithin(layout.tableOffset, layout.tableSize, file.size())) {
    throw TagError("the certificate table (" + std::to_string(layout.tableSize) + " bytes at " +
                   Hex(layout.tableOffset) + ") runs past the end of the file");
  }
  return layout;
}

SignatureEntry ReadSignatureEntry(const Bytes& file, const PeLayout& layout) {
  if (layout.tableOffset == 0) {
    throw TagError("the file is not signed (it has no certificate table): sign it first, then tag it");
  }
  const uint32_t table = layout.tableOffset;
  if (layout.tableSize < 12) {
    throw TagError("the certificate table is " + std::to_string(layout.tableSize) +
                   " bytes long, too short for a signature");
  }
  if (file[table + 8] != 0x30 || file[table + 9] != 0x82) {
    throw TagError("the signature does not begin with 30 82 (a DER SEQUENCE with a two-byte length), "
                   "so the stub's reader would not look at this certificate table");
  }
  SignatureEntry entry;
  entry.entryLength = Le32At(file, table);
  entry.blobSize = 4 + (static_cast<uint32_t>(file[table + 10]) << 8 | file[table + 11]);
  if (8 + entry.blobSize > layout.tableSize) {
    throw TagError("the signature's DER length runs past the certificate table");
  }
  return entry;
}

SignatureEntry ReadSoleSignatureEntry(const Bytes& file, const PeLayout& layout) {
  const SignatureEntry entry = ReadSignatureEntry(file, layout);
  const uint32_t table = layout.tableOffset;
  if (Le16At(file, table + 4) != kCertificateRevision || Le16At(file, table + 6) != kCertificateTypePkcs) {
    throw TagError("the certificate table's first entry is not a PKCS#7 signature (revision 0x0200, type 2)");
  }
  if (entry.entryLength < 8 + entry.blobSize || entry.entryLength > layout.tableSize) {
    throw TagError("the certificate entry's length (" + std::to_string(entry.entryLength) +
                   ") does not fit its signature and the table");
  }
  if (RoundUpTo8(entry.entryLength) != layout.tableSize) {
    throw TagError("the certificate table holds more than one entry (or trailing bytes); "
                   "only a table with a single signature entry can be resized");
  }
  for (uint32_t at = table + entry.entryLength; at < table + layout.tableSize; ++at) {
    if (file[at] != 0) throw TagError("the certificate table's padding after its entry is not zero");
  }
  if (static_cast<uint64_t>(table) + layout.tableSize != file.size()) {
    throw TagError("data follows the certificate table, so the table cannot grow or shrink");
  }
  return entry;
}

uint32_t ComputePeChecksum(const Bytes& file, uint32_t checksumOffset) {
  const size_t size = file.size();
  const size_t fieldEnd = static_cast<size_t>(checksumOffset) + 4;
  auto word = [&](size_t at, bool skipField) -> uint64_t {
    auto byte = [&](size_t i) -> uint64_t {
      if (i >= size || (skipField && i >= checksumOffset && i < fieldEnd)) return 0;
      return file[i];
    };
    return byte(at) | byte(at + 1) << 8;
  };
  // A 64-bit total cannot overflow for any file under 4 GiB, and folding it
  // once at the end gives the same result as an end-around carry per word.
  uint64_t sum = 0;
  const uint8_t* bytes = file.data();
  for (size_t at = 0; at + 1 < size; at += 2) sum += static_cast<uint64_t>(bytes[at] | bytes[at + 1] << 8);
  if (size % 2 != 0) sum += bytes[size - 1];
  // The CheckSum field's own bytes count as zero.
  for (size_t at = checksumOffset & ~size_t{1}; at < fieldEnd && at < size; at += 2) {
    sum = sum - word(at, false) + word(at, true);
  }
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

void UpdatePeChecksum(Bytes& file, const PeLayout& layout) {
  StoreLe32(file, layout.checksumOffset, ComputePeChecksum(file, layout.checksumOffset));
}

void SetSecurityEntry(Bytes& file, PeLayout& layout, uint32_t offset, uint32_t size) {
  StoreLe32(file, layout.securityEntryOffset, offset);
  StoreLe32(file, layout.securityEntryOffset + 4, size);
  layout.tableOffset = offset;
  layout.tableSize = size;
}

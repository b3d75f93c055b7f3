#include "test_image.h"

#include <cstring>
#include <fstream>

namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kHeadersSize = 0x200;
constexpr uint32_t kOptionalHeaderSize = 224;
constexpr uint32_t kSecurityEntry = kSecurityEntryOffset;
// Spelled out here rather than taken from the reader, so a wrong magic there
// shows up as a failed test.
const char kMagic[] = "Gact2.0Kexta";

uint32_t RoundUp(uint32_t value, uint32_t unit) { return (value + unit - 1) / unit * unit; }

Bytes Headers(uint16_t machine, uint32_t rawSize, uint32_t virtualSize) {
  Bytes image(kHeadersSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  PutLe32(image, 60, kNtOffset);
  std::memcpy(&image[kNtOffset], "PE\0\0", 4);
  const size_t file = kNtOffset + 4;
  PutLe16(image, file + 0, machine);
  PutLe16(image, file + 2, 1);  // sections
  PutLe16(image, file + 16, kOptionalHeaderSize);
  PutLe16(image, file + 18, 0x0102);  // executable, 32-bit
  const size_t optional = file + 20;
  PutLe16(image, optional + 0, 0x010B);  // PE32
  PutLe32(image, optional + 4, rawSize);  // SizeOfCode
  PutLe32(image, optional + 16, kSectionAlignment);  // AddressOfEntryPoint
  PutLe32(image, optional + 20, kSectionAlignment);  // BaseOfCode
  PutLe32(image, optional + 28, 0x00400000);  // ImageBase
  PutLe32(image, optional + 32, kSectionAlignment);
  PutLe32(image, optional + 36, kFileAlignment);
  PutLe16(image, optional + 40, 4);  // operating system version
  PutLe16(image, optional + 48, 4);  // subsystem version
  PutLe32(image, optional + 56, kSectionAlignment + RoundUp(virtualSize, kSectionAlignment));  // SizeOfImage
  PutLe32(image, optional + 60, kHeadersSize);
  PutLe16(image, optional + 68, 2);  // GUI
  PutLe32(image, optional + 72, 0x100000);  // stack reserve
  PutLe32(image, optional + 76, 0x1000);
  PutLe32(image, optional + 80, 0x100000);  // heap reserve
  PutLe32(image, optional + 84, 0x1000);
  PutLe32(image, optional + 92, 16);  // data directories
  const size_t section = optional + kOptionalHeaderSize;
  std::memcpy(&image[section], ".text\0\0\0", 8);
  PutLe32(image, section + 8, virtualSize);
  PutLe32(image, section + 12, kSectionAlignment);
  PutLe32(image, section + 16, rawSize);
  PutLe32(image, section + 20, kHeadersSize);
  PutLe32(image, section + 36, 0x60000020);  // code, execute, read
  return image;
}

}  // namespace

void PutLe16(Bytes& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const Bytes& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

Bytes MakeImage(const ImageSpec& spec) {
  Bytes program = spec.program.empty() ? Bytes{0xC3} : spec.program;
  const uint32_t virtualSize = static_cast<uint32_t>(program.size());
  const uint32_t rawSize = RoundUp(virtualSize, kFileAlignment);
  Bytes image = Headers(spec.machine, rawSize, virtualSize);
  program.resize(rawSize, 0);
  image.insert(image.end(), program.begin(), program.end());
  if (!spec.table.empty()) {
    const uint32_t offset = static_cast<uint32_t>(image.size());
    image.insert(image.end(), spec.table.begin(), spec.table.end());
    SetSecurityEntry(image, offset, static_cast<uint32_t>(spec.table.size()));
  }
  return image;
}

Bytes MakeLargeImage(size_t size) {
  const uint32_t rawSize = RoundUp(static_cast<uint32_t>(size > kHeadersSize ? size - kHeadersSize : 1),
                                   kFileAlignment);
  Bytes image = Headers(kMachineI386, rawSize, rawSize);
  image.resize(kHeadersSize + rawSize);
  image[kHeadersSize] = 0xC3;
  uint32_t state = 0x12345678;
  for (size_t i = kHeadersSize + 1; i < image.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    image[i] = static_cast<uint8_t>(state >> 24);
  }
  return image;
}

uint32_t SecurityOffset(const Bytes& image) { return GetLe32(image, kSecurityEntry); }
uint32_t SecuritySize(const Bytes& image) { return GetLe32(image, kSecurityEntry + 4); }

void SetSecurityEntry(Bytes& image, uint32_t offset, uint32_t size) {
  PutLe32(image, kSecurityEntry, offset);
  PutLe32(image, kSecurityEntry + 4, size);
}

Bytes SignatureBlob(const Bytes& content) {
  Bytes blob = {0x30, 0x82, static_cast<uint8_t>(content.size() >> 8), static_cast<uint8_t>(content.size())};
  blob.insert(blob.end(), content.begin(), content.end());
  return blob;
}

Bytes CertificateEntry(const Bytes& blob) {
  const uint32_t length = RoundUp(static_cast<uint32_t>(8 + blob.size()), 8);
  Bytes entry(8, 0);
  PutLe32(entry, 0, length);
  PutLe16(entry, 4, 0x0200);
  PutLe16(entry, 6, 0x0002);
  entry.insert(entry.end(), blob.begin(), blob.end());
  entry.resize(length, 0);
  return entry;
}

Bytes TagRecord(uint16_t length, const std::string& text) {
  Bytes record(kMagic, kMagic + 12);
  record.push_back(static_cast<uint8_t>(length >> 8));
  record.push_back(static_cast<uint8_t>(length));
  record.insert(record.end(), text.begin(), text.end());
  return record;
}

Bytes TagRecord(const std::string& text) { return TagRecord(static_cast<uint16_t>(text.size()), text); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Filler(size_t size, uint8_t value) { return Bytes(size, value); }

bool WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return static_cast<bool>(file);
}

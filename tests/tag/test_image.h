// Small PE32 images for the tag tests, built in memory: a DOS header, the NT
// headers, one code section and, when given, a certificate table at the end
// of the file that the security entry names. Images are valid enough for
// osslsigncode to sign.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArmNt = 0x01C4;
constexpr uint32_t kNtOffset = 0x80;
// Where the security entry lies in every image made here.
constexpr uint32_t kSecurityEntryOffset = kNtOffset + 152;

struct ImageSpec {
  uint16_t machine = kMachineI386;
  Bytes program;  // the section's bytes (a single "ret" when empty)
  Bytes table;    // the certificate table; empty: an unsigned image
};

// The image as described; the table starts 8-byte aligned after the section
// and the security entry covers exactly `table`.
Bytes MakeImage(const ImageSpec& spec);

// A PE32 image of about `size` bytes (its section padded with a byte pattern)
// and no certificate table, for signing with real tools.
Bytes MakeLargeImage(size_t size);

// Where the security entry of `image` points, and overwriting it.
uint32_t SecurityOffset(const Bytes& image);
uint32_t SecuritySize(const Bytes& image);
void SetSecurityEntry(Bytes& image, uint32_t offset, uint32_t size);

uint32_t GetLe32(const Bytes& bytes, size_t at);
void PutLe16(Bytes& bytes, size_t at, uint16_t value);
void PutLe32(Bytes& bytes, size_t at, uint32_t value);

// A DER SEQUENCE with a two-byte length (0x30 0x82 hi lo) around `content`.
Bytes SignatureBlob(const Bytes& content);
// One WIN_CERTIFICATE entry (length, revision 0x0200, type 2) around `blob`,
// padded with zeros to a multiple of 8.
Bytes CertificateEntry(const Bytes& blob);
// A tag record with the given length field and text bytes (which need not
// agree with it).
Bytes TagRecord(uint16_t length, const std::string& text);
// A well-formed tag record for `text`.
Bytes TagRecord(const std::string& text);

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Filler(size_t size, uint8_t value = 0xA5);

// Writes `bytes` to `path`; false when the file cannot be written.
bool WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

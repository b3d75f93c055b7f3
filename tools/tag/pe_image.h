// The parts of a PE file that tagging touches, as pure functions over the
// file's bytes: the headers the stub's reader depends on, the security entry,
// the certificate table's first entry and the PE checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Where things are in a PE32 image that the stub's reader can read.
struct PeLayout {
  uint32_t ntOffset = 0;
  uint32_t checksumOffset = 0;        // the optional header's CheckSum field
  uint32_t securityEntryOffset = 0;   // data directory 4: offset, then size
  uint32_t tableOffset = 0;           // 0 when the image is not signed
  uint32_t tableSize = 0;
};

// Reads the layout of `file`. Throws TagError, saying why, when the file is
// not a PE image, is an AMD64 or PE32+ image (the stub reads only the 32-bit
// layout), has truncated headers or no security entry, or has a certificate
// table that lies outside the file. An unsigned image is not an error here:
// tableOffset is then 0.
PeLayout ReadPeLayout(const Bytes& file);

// The certificate table's first entry, checked the way the stub's reader and
// Authenticode need it.
struct SignatureEntry {
  uint32_t entryLength = 0;  // WIN_CERTIFICATE dwLength
  uint32_t blobSize = 0;     // the DER SEQUENCE: 4 header bytes and its content
};

// Checks that `layout` names a certificate table whose first entry's content
// begins with 0x30 0x82 (what the reader requires) and whose DER blob lies in
// the table. Throws TagError for an unsigned file or any other table.
SignatureEntry ReadSignatureEntry(const Bytes& file, const PeLayout& layout);

// For edits that change the table's size: additionally requires one entry of
// revision 0x0200 and type 2 (PKCS#7 SignedData) whose length covers its blob
// and, rounded up to 8, is the table's size, and a table that ends the file.
// Throws TagError otherwise.
SignatureEntry ReadSoleSignatureEntry(const Bytes& file, const PeLayout& layout);

// The PE checksum of `file`: 16-bit little-endian words (an odd last byte is
// padded with zero) added with end-around carry, the CheckSum field itself
// skipped, plus the file's length.
uint32_t ComputePeChecksum(const Bytes& file, uint32_t checksumOffset);

// Writes the checksum of `file` into its CheckSum field.
void UpdatePeChecksum(Bytes& file, const PeLayout& layout);

// Writes a new security entry.
void SetSecurityEntry(Bytes& file, PeLayout& layout, uint32_t offset, uint32_t size);

uint32_t RoundUpTo8(uint32_t value);
uint16_t Le16At(const Bytes& bytes, size_t at);
uint32_t Le32At(const Bytes& bytes, size_t at);
void StoreLe16(Bytes& bytes, size_t at, uint16_t value);
void StoreLe32(Bytes& bytes, size_t at, uint32_t value);

// Builds tar archives byte by byte for tests, including headers that no tar
// program would write (bad sizes, magics and checksums).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The fields of one 512-byte header block that the tests vary. Fields are
// written as given (cut to their width); the rest of the block is zero.
struct TarHeaderFields {
  std::string name;
  std::string size;                          // 12-byte size field, raw
  std::string magic = std::string("ustar\0" "00", 8);  // offset 257: magic and version
  char typeflag = '0';
  bool validChecksum = true;
};

// The size field a POSIX writer gives: 11 octal digits and a NUL.
std::string OctalSizeField(uint64_t size);

// One header block.
std::vector<uint8_t> MakeTarHeader(const TarHeaderFields& fields);

class TarBuilder {
public:
  // A regular file member: a POSIX header, then `data` filled to whole blocks.
  TarBuilder& Member(const std::string& name, const std::string& data);
  // A header block as given, without data.
  TarBuilder& Header(const TarHeaderFields& fields);
  // Bytes as given (member data without fill, or anything else).
  TarBuilder& Raw(const std::string& bytes);
  // Zeros up to the next multiple of 512.
  TarBuilder& Fill();
  // Two zero blocks, the end of a POSIX archive.
  TarBuilder& End();

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
  std::vector<uint8_t> bytes_;
};

#include "tar_builder.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kBlock = 512;

void PutField(std::vector<uint8_t>& block, size_t offset, size_t width, const std::string& value) {
  std::memcpy(&block[offset], value.data(), value.size() < width ? value.size() : width);
}

}  // namespace

std::string OctalSizeField(uint64_t size) {
  char field[32];
  std::snprintf(field, sizeof field, "%011llo", static_cast<unsigned long long>(size));
  return std::string(field) + '\0';
}

std::vector<uint8_t> MakeTarHeader(const TarHeaderFields& fields) {
  std::vector<uint8_t> block(kBlock, 0);
  PutField(block, 0, 100, fields.name);
  PutField(block, 100, 8, std::string("0000644\0", 8));
  PutField(block, 108, 8, std::string("0000000\0", 8));
  PutField(block, 116, 8, std::string("0000000\0", 8));
  PutField(block, 124, 12, fields.size);
  PutField(block, 136, 12, std::string("00000000000\0", 12));
  block[156] = static_cast<uint8_t>(fields.typeflag);
  PutField(block, 257, 8, fields.magic);

  // The checksum counts its own field as eight blanks.
  std::memset(&block[148], ' ', 8);
  unsigned sum = 0;
  for (uint8_t byte : block) sum += byte;
  if (!fields.validChecksum) sum += 1;
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%06o", sum);
  std::memcpy(&block[148], checksum, 7);  // six digits, NUL, and the blank stays
  return block;
}

TarBuilder& TarBuilder::Member(const std::string& name, const std::string& data) {
  TarHeaderFields fields;
  fields.name = name;
  fields.size = OctalSizeField(data.size());
  return Header(fields).Raw(data).Fill();
}

TarBuilder& TarBuilder::Header(const TarHeaderFields& fields) {
  const std::vector<uint8_t> block = MakeTarHeader(fields);
  bytes_.insert(bytes_.end(), block.begin(), block.end());
  return *this;
}

TarBuilder& TarBuilder::Raw(const std::string& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

TarBuilder& TarBuilder::Fill() {
  bytes_.resize((bytes_.size() + kBlock - 1) / kBlock * kBlock, 0);
  return *this;
}

TarBuilder& TarBuilder::End() {
  Fill();
  bytes_.resize(bytes_.size() + 2 * kBlock, 0);
  return *this;
}

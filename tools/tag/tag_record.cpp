#include "tag_record.h"

#include <algorithm>
#include <cstring>

#include "tag/signature_tag_reader.h"
#include "tag_error.h"

namespace {

constexpr uint8_t kOctetString = 0x04;

// Offset of the first magic in [begin, end) of `file`, or `end` when none.
uint32_t FindMagic(const Bytes& file, uint32_t begin, uint32_t end) {
  const auto first = file.begin() + begin;
  const auto last = file.begin() + end;
  return static_cast<uint32_t>(std::search(first, last, kTagMagic, kTagMagic + kTagMagicSize) - file.begin());
}

// The length of the OCTET STRING whose value begins at `value`, when the
// bytes before `value` (but not before `floor`) are such a header; else 0.
uint32_t OctetStringEndingAt(const Bytes& file, uint32_t floor, uint32_t value) {
  if (value >= floor + 2 && file[value - 2] == kOctetString && file[value - 1] < 0x80) return file[value - 1];
  if (value >= floor + 3 && file[value - 3] == kOctetString && file[value - 2] == 0x81 && file[value - 1] >= 0x80) {
    return file[value - 1];
  }
  if (value >= floor + 4 && file[value - 4] == kOctetString && file[value - 3] == 0x82 && file[value - 2] != 0) {
    return static_cast<uint32_t>(file[value - 2]) << 8 | file[value - 1];
  }
  return 0;
}

uint32_t LengthField(const Bytes& file, uint32_t magic) {
  return static_cast<uint32_t>(file[magic + kTagMagicSize]) << 8 | file[magic + kTagMagicSize + 1];
}

struct Located {
  PeLayout layout;
  SignatureEntry entry;
  TagRecordInfo record;
};

Located Locate(const Bytes& file) {
  Located found;
  found.layout = ReadPeLayout(file);
  found.entry = ReadSignatureEntry(file, found.layout);
  const uint32_t table = found.layout.tableOffset;
  const uint32_t tableEnd = table + found.layout.tableSize;
  const uint32_t blobBegin = table + 8;
  const uint32_t blobEnd = blobBegin + found.entry.blobSize;

  const uint32_t magic = FindMagic(file, table, tableEnd);
  if (magic == tableEnd) return found;
  TagRecordInfo& record = found.record;
  record.offset = magic;
  if (magic < blobEnd) {
    const uint32_t valueSize = OctetStringEndingAt(file, blobBegin, magic);
    if (valueSize < kTagRecordHeaderSize || uint64_t{magic} + valueSize > blobEnd) {
      throw TagError("the signature holds the tag magic at file offset " + std::to_string(magic) +
                     ", but not as a reserved record (an OCTET STRING's value); the stub would read only that one");
    }
    record.kind = RecordKind::Reserved;
    record.room = valueSize - kTagRecordHeaderSize;
    record.length = LengthField(file, magic);
    return found;
  }
  if (static_cast<uint64_t>(magic) + kTagRecordHeaderSize > tableEnd ||
      static_cast<uint64_t>(magic) + kTagRecordHeaderSize + LengthField(file, magic) > tableEnd) {
    throw TagError("a tag record after the signature runs past the end of the certificate table");
  }
  record.kind = RecordKind::Appended;
  record.length = LengthField(file, magic);
  return found;
}

void WriteRecordHeader(Bytes& file, uint32_t magic, size_t length) {
  std::memcpy(&file[magic], kTagMagic, kTagMagicSize);
  file[magic + kTagMagicSize] = static_cast<uint8_t>(length >> 8);
  file[magic + kTagMagicSize + 1] = static_cast<uint8_t>(length);
}

// Removes the appended record at `magic`, which must end the entry: the
// entry's length becomes the record's offset in the table again.
void RemoveAppended(Bytes& file, PeLayout& layout, uint32_t magic) {
  const SignatureEntry entry = ReadSoleSignatureEntry(file, layout);
  const uint32_t table = layout.tableOffset;
  const uint32_t recordEnd = magic + kTagRecordHeaderSize + LengthField(file, magic);
  if (recordEnd != table + entry.entryLength) {
    throw TagError("the tag record after the signature does not end the certificate entry, so it cannot be removed");
  }
  const uint32_t entryLength = magic - table;
  const uint32_t tableSize = RoundUpTo8(entryLength);
  file.resize(table + tableSize);
  std::fill(file.begin() + magic, file.end(), 0);
  StoreLe32(file, table, entryLength);
  SetSecurityEntry(file, layout, table, tableSize);
}

void Append(Bytes& file, PeLayout& layout, const std::string& text) {
  const SignatureEntry entry = ReadSoleSignatureEntry(file, layout);
  const uint32_t table = layout.tableOffset;
  const uint32_t magic = table + entry.entryLength;
  const uint64_t entryLength = uint64_t{entry.entryLength} + kTagRecordHeaderSize + text.size();
  if (uint64_t{table} + entryLength + 8 > UINT32_MAX) {
    throw TagError("the file would grow past 4 GiB");
  }
  const uint32_t tableSize = RoundUpTo8(static_cast<uint32_t>(entryLength));
  file.resize(table + tableSize, 0);
  WriteRecordHeader(file, magic, text.size());
  std::memcpy(&file[magic + kTagRecordHeaderSize], text.data(), text.size());
  std::fill(file.begin() + magic + kTagRecordHeaderSize + text.size(), file.end(), 0);
  StoreLe32(file, table, static_cast<uint32_t>(entryLength));
  SetSecurityEntry(file, layout, table, tableSize);
}

}  // namespace

TagRecordInfo FindTagRecord(const Bytes& file) { return Locate(file).record; }

void CheckTagText(const std::string& text) {
  if (text.empty()) throw TagError("the tag text is empty (to remove a tag, use 'stubkit tag clear')");
  if (text.size() > kMaxTagLength) {
    throw TagError("the tag text is " + std::to_string(text.size()) + " bytes long; the stub accepts at most " +
                   std::to_string(kMaxTagLength));
  }
  if (text.find('"') != std::string::npos) {
    throw TagError("the tag text contains a double quote, which the stub refuses (it passes the tag in quotes)");
  }
  if (text.find('\0') != std::string::npos) throw TagError("the tag text contains a NUL byte");
}

RecordKind SetTag(Bytes& file, const std::string& text) {
  CheckTagText(text);
  Located found = Locate(file);
  const TagRecordInfo& record = found.record;
  if (record.kind == RecordKind::Reserved) {
    if (text.size() > record.room) {
      throw TagError("the tag text is " + std::to_string(text.size()) + " bytes long, but the reserved record has room for " +
                     std::to_string(record.room) + " (reserve a larger one with 'stubkit tag reserve --size')");
    }
    WriteRecordHeader(file, record.offset, text.size());
    const auto value = file.begin() + record.offset + kTagRecordHeaderSize;
    std::fill(value, value + record.room, 0);
    std::copy(text.begin(), text.end(), value);
    UpdatePeChecksum(file, found.layout);
    return RecordKind::Reserved;
  }
  Bytes edited = file;
  if (record.kind == RecordKind::Appended) RemoveAppended(edited, found.layout, record.offset);
  Append(edited, found.layout, text);
  UpdatePeChecksum(edited, found.layout);
  file.swap(edited);
  return RecordKind::Appended;
}

RecordKind ClearTag(Bytes& file) {
  Located found = Locate(file);
  const TagRecordInfo& record = found.record;
  if (record.kind == RecordKind::Reserved) {
    WriteRecordHeader(file, record.offset, 0);
    const auto value = file.begin() + record.offset + kTagRecordHeaderSize;
    std::fill(value, value + record.room, 0);
    UpdatePeChecksum(file, found.layout);
  } else if (record.kind == RecordKind::Appended) {
    Bytes edited = file;
    RemoveAppended(edited, found.layout, record.offset);
    UpdatePeChecksum(edited, found.layout);
    file.swap(edited);
  }
  return record.kind;
}

std::string ExplainMissingTag(const Bytes& file) {
  TagRecordInfo record;
  try {
    record = FindTagRecord(file);
  } catch (const TagError& error) {
    return error.what();
  }
  switch (record.kind) {
    case RecordKind::None:
      return "the certificate table holds no tag record";
    case RecordKind::Reserved:
      if (record.length == 0) return "the reserved tag record is empty (room for " + std::to_string(record.room) + " bytes)";
      break;
    case RecordKind::Appended:
      if (record.length == 0) return "the tag record after the signature is empty";
      break;
  }
  if (record.length > kMaxTagLength) return "the tag's length field is 65,535, which the stub refuses";
  if (record.kind == RecordKind::Reserved && record.length > record.room) {
    return "the reserved tag record's length (" + std::to_string(record.length) + ") runs past its room";
  }
  const auto text = file.begin() + record.offset + kTagRecordHeaderSize;
  const auto end = std::find(text, text + record.length, 0);
  if (std::find(text, end, '"') != end) return "the tag text contains a double quote, which the stub refuses";
  return "the stub's reader finds no tag";
}

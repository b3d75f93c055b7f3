// Fuzzes stubkit tag's editing over arbitrary file bytes: set, clear and the
// certificate insertion must either refuse with TagError or produce a file in
// which the shipped reader finds exactly what was written; clearing an
// appended tag must give back the original bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "certificate_insert.h"
#include "tag/read_tag.h"
#include "tag_error.h"
#include "tag_record.h"

namespace {

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

std::string InputPath() {
  const char* directory = std::getenv("TMPDIR");
  return std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") + "/fuzz_tag_edit." +
         std::to_string(getpid());
}

// The tag the shipped reader finds in `bytes`, or "<none>".
std::string ReadBack(const Bytes& bytes) {
  static const std::string path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  if (std::fclose(file) != 0) std::abort();
  std::unique_ptr<char, FreeDeleter> tag(ReadTagFromFile(path.c_str()));
  std::remove(path.c_str());
  return tag ? std::string(tag.get()) : std::string("<none>");
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_tag_edit: %s\n", what);
    std::abort();
  }
}

// A stand-in for the reserved certificate: a SEQUENCE whose OCTET STRING
// value begins with an empty record.
Bytes ReservedCertificate() {
  Bytes value(12 + 2 + 30, 0);
  const char magic[] = "Gact2.0Kexta";
  for (int i = 0; i < 12; ++i) value[i] = static_cast<uint8_t>(magic[i]);
  Bytes certificate = {0x30, static_cast<uint8_t>(2 + value.size() + 4), 0x02, 0x02, 0x01, 0x01,
                       0x04, static_cast<uint8_t>(value.size())};
  certificate.insert(certificate.end(), value.begin(), value.end());
  return certificate;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes original(data, data + size);

  Bytes tagged = original;
  bool set = false;
  RecordKind kind = RecordKind::None;
  try {
    kind = SetTag(tagged, "fuzz=1&x=y");
    set = true;
  } catch (const TagError&) {
    Check(tagged == original, "a refused set changed the file");
  }
  if (set) {
    Check(kind != RecordKind::None, "set reports no record");
    Check(ReadBack(tagged) == "fuzz=1&x=y", "the tag written does not read back");
    Bytes cleared = tagged;
    try {
      Check(ClearTag(cleared) == kind, "clear found another kind of record than set wrote");
    } catch (const TagError&) {
      Check(false, "clear refused the file that set wrote");
    }
    Check(ReadBack(cleared) == "<none>", "a tag reads back after clearing");
    if (kind == RecordKind::Appended && FindTagRecord(original).kind == RecordKind::None) {
      Bytes expected = original;
      PeLayout layout = ReadPeLayout(expected);
      UpdatePeChecksum(expected, layout);
      Check(cleared == expected, "clearing an appended tag did not restore the file");
    }
  }

  Bytes inserted = original;
  bool insertedOk = false;
  try {
    InsertCertificate(inserted, ReservedCertificate());
    insertedOk = true;
  } catch (const TagError&) {
    Check(inserted == original, "a refused insertion changed the file");
  }
  if (insertedOk) {
    Check(FindTagRecord(inserted).kind == RecordKind::Reserved, "the inserted record is not found as reserved");
    Check(ReadBack(inserted) == "<none>", "the inserted record is not empty");
    try {
      Check(SetTag(inserted, "in=place") == RecordKind::Reserved, "tagging after insertion did not go in place");
    } catch (const TagError&) {
      Check(false, "tagging after insertion was refused");
    }
    Check(ReadBack(inserted) == "in=place", "the tag in the inserted record does not read back");
  }
  return 0;
}

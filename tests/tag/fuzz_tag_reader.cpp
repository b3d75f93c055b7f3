// Fuzzes the shipped tag reader over arbitrary file bytes: each input is
// written to a file and read through Open/ReadTag/Close (the host mapping has
// an inaccessible page after the view, so a read past it faults). The result
// must match a plain model of the reader's rules, written here with 64-bit
// arithmetic throughout.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tag/read_tag.h"

namespace {

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

// The tag the stub should return for `data`, or nullptr via `found`.
std::string ExpectedTag(const uint8_t* data, size_t size, bool& found) {
  found = false;
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t view = (size + page - 1) / page * page;
  auto at = [&](uint64_t i) -> uint64_t { return i < size ? data[i] : 0; };
  auto le32 = [&](uint64_t i) { return at(i) | at(i + 1) << 8 | at(i + 2) << 16 | at(i + 3) << 24; };

  if (size == 0 || view < 64 || at(0) != 'M' || at(1) != 'Z') return {};
  const uint64_t e = le32(60);
  if (e + 248 > view) return {};
  if (le32(e) != 0x00004550) return {};
  if ((at(e + 4) | at(e + 5) << 8) == 0x8664) return {};
  const uint64_t c = le32(e + 152);
  const uint64_t n = le32(e + 156);
  if (c == 0 || c + 12 >= view) return {};
  if (at(c + 8) != 0x30 || at(c + 9) != 0x82) return {};
  if (c + n > view) return {};
  // The table's bytes, zeros past the end of the file included.
  std::string table;
  if (c < size) table.assign(reinterpret_cast<const char*>(data) + c, static_cast<size_t>(std::min<uint64_t>(n, size - c)));
  table.resize(static_cast<size_t>(n), '\0');
  const size_t magicAt = table.find("Gact2.0Kexta");
  if (magicAt == std::string::npos) return {};
  const uint64_t p = magicAt;
  if (p + 14 > n) return {};
  const uint64_t length = at(c + p + 12) << 8 | at(c + p + 13);
  if (length == 0 || length == 0xFFFF || p + 14 + length > n) return {};
  std::string text;
  for (uint64_t i = 0; i < length; ++i) {
    const char ch = static_cast<char>(at(c + p + 14 + i));
    if (ch == '\0') break;
    if (ch == '"') return {};
    text += ch;
  }
  found = true;
  return text;
}

std::string InputPath() {
  const char* directory = std::getenv("TMPDIR");
  return std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") + "/fuzz_tag_reader." +
         std::to_string(getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();

  std::unique_ptr<char, FreeDeleter> tag(ReadTagFromFile(path.c_str()));
  bool expected = false;
  const std::string want = ExpectedTag(data, size, expected);
  if ((tag != nullptr) != expected || (expected && want != tag.get())) {
    std::fprintf(stderr, "reader gave %s, model %s\n", tag ? tag.get() : "(none)", expected ? want.c_str() : "(none)");
    std::abort();
  }
  std::remove(path.c_str());
  return 0;
}

// Prepares the payload fuzzers' directories under DIR:
//   make_fuzz_seeds DIR
// writes seeds into DIR/seeds/payload and DIR/seeds/tar, and makes the
// directories DIR/corpus/payload and DIR/corpus/tar for what the fuzzers find.
// Payload seeds are small real payloads and filtered archives from the
// publisher's encoder (with the fuzzer's leading entry byte); tar seeds are
// header blocks of the kinds the reader meets.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "payload_encoder.h"
#include "tar_builder.h"
#include "test_data.h"

namespace {

bool Write(const std::string& path, uint8_t entry, const std::vector<uint8_t>& bytes, bool withEntry = true) {
  std::ofstream out(path, std::ios::binary);
  if (withEntry) out.put(static_cast<char>(entry));
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<uint8_t> Block(const TarHeaderFields& fields, uint32_t dataStart) {
  std::vector<uint8_t> block = MakeTarHeader(fields);
  for (int i = 0; i < 4; ++i) block.push_back(static_cast<uint8_t>(dataStart >> (8 * i)));
  return block;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const std::string root = argv[1];
  const std::string payloadDir = root + "/seeds/payload";
  const std::string tarDir = root + "/seeds/tar";
  std::error_code error;
  for (const char* dir : {"/seeds/payload", "/seeds/tar", "/corpus/payload", "/corpus/tar"}) {
    std::filesystem::create_directories(root + dir, error);
    if (error) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot make %s%s: %s\n", root.c_str(), dir, error.message().c_str());
      return 1;
    }
  }
  bool ok = true;

  const std::vector<uint8_t> tar =
      TarBuilder().Member("ZinUpdate.exe", X86LikeCode(3000, 1)).Member("a.txt", "text").End().Bytes();
  const std::vector<std::string> archives = {"", "x", X86LikeCode(2000, 2), std::string(tar.begin(), tar.end())};
  for (size_t i = 0; i < archives.size(); ++i) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(archives[i].data());
    std::vector<uint8_t> payload;
    std::string reason;
    if (!EncodePayload(bytes, archives[i].size(), payload, reason)) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot encode seed %zu: %s\n", i, reason.c_str());
      return 1;
    }
    ok &= Write(payloadDir + "/payload" + std::to_string(i), 0, payload);
    const std::vector<uint8_t> filtered =
        MakeFilteredArchive(Bcj2Encode(bytes, archives[i].size()), static_cast<uint32_t>(archives[i].size()));
    ok &= Write(payloadDir + "/filtered" + std::to_string(i), 1, filtered);
  }

  TarHeaderFields posix;
  posix.name = "ZinUpdate.exe";
  posix.size = OctalSizeField(70000);
  TarHeaderFields gnu = posix;
  gnu.magic = std::string("ustar  \0", 8);
  TarHeaderFields unsafe = posix;
  unsafe.name = "..\\a\\CON.txt";
  unsafe.size = "  -17 ";
  TarHeaderFields longName = posix;
  longName.name = std::string(100, 'n');
  longName.size = "777777777777";
  TarHeaderFields old = posix;
  old.magic = std::string(8, '\0');
  const std::vector<std::vector<uint8_t>> blocks = {
      Block(posix, 512), Block(gnu, 0xFFFFFC00u), Block(unsafe, 1024), Block(longName, 0), Block(old, 512)};
  for (size_t i = 0; i < blocks.size(); ++i) ok &= Write(tarDir + "/header" + std::to_string(i), 0, blocks[i], false);

  if (!ok) {
    std::fprintf(stderr, "make_fuzz_seeds: cannot write the seeds into %s/seeds\n", root.c_str());
    return 1;
  }
  return 0;
}

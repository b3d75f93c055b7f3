// Writes the seed corpus of the tag fuzzers into the directory given as the
// one argument: small signed-looking images with and without records, in the
// shapes the reader and the editor must tell apart.
#include <cstdio>
#include <string>
#include <vector>

#include "test_image.h"

namespace {

Bytes Signed(const Bytes& table, uint16_t machine = kMachineI386) {
  ImageSpec spec;
  spec.machine = machine;
  spec.table = table;
  return MakeImage(spec);
}

Bytes Der(uint8_t tag, const Bytes& content) {
  Bytes element = {tag};
  if (content.size() < 0x80) {
    element.push_back(static_cast<uint8_t>(content.size()));
  } else {
    element.push_back(0x82);
    element.push_back(static_cast<uint8_t>(content.size() >> 8));
    element.push_back(static_cast<uint8_t>(content.size()));
  }
  element.insert(element.end(), content.begin(), content.end());
  return element;
}

// A ContentInfo shaped like an Authenticode signature: signedData OID, then
// version, digest algorithms, content, a certificate set and signer infos.
Bytes SignedDataBlob(const Bytes& certificates) {
  const Bytes oid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
  Bytes fields = Concat({{0x02, 0x01, 0x01}, Der(0x31, {}), Der(0x30, Filler(40, 0x11))});
  if (!certificates.empty()) fields = Concat({fields, Der(0xA0, certificates)});
  fields = Concat({fields, Der(0x31, Filler(200, 0x22))});
  const Bytes info = Concat({oid, Der(0xA0, Der(0x30, fields))});
  Bytes blob = Der(0x30, info);
  if (blob[1] != 0x82) blob = SignatureBlob(info);
  return blob;
}

Bytes Certificate(const Bytes& extensionValue) { return Der(0x30, Concat({Filler(64, 0x33), Der(0x04, extensionValue)})); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tag_fuzz_seeds DIRECTORY\n", stderr);
    return 2;
  }
  const Bytes reservedValue = Concat({TagRecord(0, ""), Bytes(40, 0)});
  const Bytes filledValue = Concat({TagRecord("a=1&b=2"), Bytes(33, 0)});
  const Bytes plainBlob = SignedDataBlob(Certificate(Filler(20, 0x44)));
  const std::vector<std::pair<std::string, Bytes>> seeds = {
      {"unsigned", MakeImage({})},
      {"plain-signature", Signed(CertificateEntry(plainBlob))},
      {"no-certificate-set", Signed(CertificateEntry(SignedDataBlob({})))},
      {"reserved", Signed(CertificateEntry(SignedDataBlob(Concat({Certificate(reservedValue), Certificate(Filler(20))}))))},
      {"reserved-tagged", Signed(CertificateEntry(SignedDataBlob(Certificate(filledValue))))},
      {"appended", Signed(Concat({CertificateEntry(plainBlob), TagRecord("appended=1")}))},
      {"amd64", Signed(CertificateEntry(SignedDataBlob(Certificate(filledValue))), kMachineAmd64)},
      {"empty-then-text", Signed(Concat({CertificateEntry(plainBlob), TagRecord(0, ""), TagRecord("x")}))},
      {"quote", Signed(Concat({CertificateEntry(plainBlob), TagRecord("a\"b")}))},
      {"nul-quote", Signed(Concat({CertificateEntry(plainBlob), TagRecord(std::string("a\0\"", 3))}))},
      {"longest", Signed(Concat({CertificateEntry(plainBlob), TagRecord(std::string(0xFFFE, 'l'))}))},
  };
  for (const auto& seed : seeds) {
    const std::string path = std::string(argv[1]) + "/" + seed.first;
    if (!WriteBytes(path, seed.second)) {
      std::fprintf(stderr, "tag_fuzz_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

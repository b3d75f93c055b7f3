#include "certificate_insert.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "der.h"
#include "tag/signature_tag_reader.h"
#include "tag_error.h"

namespace {

// 1.2.840.113549.1.7.2, PKCS#7 signedData.
const uint8_t kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kOid = 0x06;
constexpr uint8_t kExplicit0 = 0xA0;
constexpr uint8_t kCertificatesTag = 0xA0;  // [0] IMPLICIT SET OF Certificate
constexpr size_t kSignedDataFieldsBeforeCertificates = 3;  // version, digest algorithms, content
constexpr size_t kLargestReadableBlob = 4 + 0xFFFF;

Bytes Wrap(uint8_t tag, const Bytes& content) {
  Bytes element = DerHeader(tag, content.size());
  element.insert(element.end(), content.begin(), content.end());
  return element;
}

void AppendRange(Bytes& to, const Bytes& from, size_t begin, size_t end) {
  to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(begin), from.begin() + static_cast<std::ptrdiff_t>(end));
}

// The certificate set's content with `certificate` inserted in order.
Bytes SetWithCertificate(const Bytes& blob, const DerElement* set, const Bytes& certificate) {
  Bytes content;
  bool inserted = false;
  if (set != nullptr) {
    for (size_t at = set->ContentOffset(); at < set->End();) {
      const DerElement member = ReadDerElement(blob, at, set->End(), "certificate set member");
      if (!inserted &&
          DerSetOrderLess(certificate.data(), certificate.size(), &blob[member.offset], member.End() - member.offset)) {
        content.insert(content.end(), certificate.begin(), certificate.end());
        inserted = true;
      }
      AppendRange(content, blob, member.offset, member.End());
      at = member.End();
    }
  }
  if (!inserted) content.insert(content.end(), certificate.begin(), certificate.end());
  return content;
}

Bytes BlobWithCertificate(const Bytes& blob, const Bytes& certificate) {
  const DerElement contentInfo = ReadDerElement(blob, 0, blob.size(), "ContentInfo");
  if (contentInfo.tag != kSequence) throw TagError("malformed signature: the ContentInfo is not a SEQUENCE");
  const DerElement oid = ReadDerElement(blob, contentInfo.ContentOffset(), contentInfo.End(), "content type");
  if (oid.tag != kOid || oid.contentSize != sizeof(kSignedDataOid) ||
      std::memcmp(&blob[oid.ContentOffset()], kSignedDataOid, sizeof(kSignedDataOid)) != 0) {
    throw TagError("the signature is not PKCS#7 SignedData");
  }
  const DerElement content = ReadDerElement(blob, oid.End(), contentInfo.End(), "content");
  if (content.tag != kExplicit0) throw TagError("malformed signature: the SignedData is missing");
  const DerElement signedData = ReadDerElement(blob, content.ContentOffset(), content.End(), "SignedData");
  if (signedData.tag != kSequence) throw TagError("malformed signature: the SignedData is not a SEQUENCE");

  std::vector<DerElement> fields;
  for (size_t at = signedData.ContentOffset(); at < signedData.End();) {
    fields.push_back(ReadDerElement(blob, at, signedData.End(), "SignedData field"));
    at = fields.back().End();
  }
  if (fields.size() <= kSignedDataFieldsBeforeCertificates) {
    throw TagError("malformed signature: the SignedData has too few fields");
  }
  const DerElement* set = nullptr;
  if (fields[kSignedDataFieldsBeforeCertificates].tag == kCertificatesTag) set = &fields[kSignedDataFieldsBeforeCertificates];

  Bytes signedContent;
  AppendRange(signedContent, blob, signedData.ContentOffset(), fields[kSignedDataFieldsBeforeCertificates].offset);
  const Bytes newSet = Wrap(kCertificatesTag, SetWithCertificate(blob, set, certificate));
  signedContent.insert(signedContent.end(), newSet.begin(), newSet.end());
  const size_t rest = set != nullptr ? set->End() : fields[kSignedDataFieldsBeforeCertificates].offset;
  AppendRange(signedContent, blob, rest, signedData.End());

  Bytes infoContent;
  AppendRange(infoContent, blob, oid.offset, oid.End());
  const Bytes explicitContent = Wrap(kExplicit0, Wrap(kSequence, signedContent));
  infoContent.insert(infoContent.end(), explicitContent.begin(), explicitContent.end());
  return Wrap(kSequence, infoContent);
}

}  // namespace

void InsertCertificate(Bytes& file, const Bytes& certificate) {
  const DerElement parsed = ReadDerElement(certificate, 0, certificate.size(), "certificate");
  if (parsed.tag != kSequence || parsed.End() != certificate.size()) {
    throw TagError("the certificate to insert is not one DER SEQUENCE");
  }
  PeLayout layout = ReadPeLayout(file);
  const SignatureEntry entry = ReadSoleSignatureEntry(file, layout);
  const uint32_t table = layout.tableOffset;
  const auto tableBegin = file.begin() + table;
  if (std::search(tableBegin, file.end(), kTagMagic, kTagMagic + kTagMagicSize) != file.end()) {
    throw TagError("the certificate table already holds a tag record; clear it before reserving another");
  }
  const auto blobBegin = tableBegin + 8;
  const auto blobEnd = blobBegin + entry.blobSize;
  if (std::any_of(blobEnd, tableBegin + entry.entryLength, [](uint8_t b) { return b != 0; })) {
    throw TagError("data follows the signature inside its certificate entry");
  }

  const Bytes blob = BlobWithCertificate(Bytes(blobBegin, blobEnd), certificate);
  if (blob.size() > kLargestReadableBlob || blob[1] != 0x82) {
    throw TagError("the signature would grow to " + std::to_string(blob.size()) +
                   " bytes; the stub's reader needs it under 64 KiB (reserve less room with --size)");
  }
  const bool padded = entry.entryLength != 8 + entry.blobSize;
  const uint32_t entryLength = static_cast<uint32_t>(8 + blob.size());
  const uint32_t newEntryLength = padded ? RoundUpTo8(entryLength) : entryLength;

  Bytes edited(file.begin(), tableBegin + 8);
  edited.insert(edited.end(), blob.begin(), blob.end());
  edited.resize(table + RoundUpTo8(entryLength), 0);
  StoreLe32(edited, table, newEntryLength);
  SetSecurityEntry(edited, layout, table, RoundUpTo8(entryLength));
  UpdatePeChecksum(edited, layout);
  file.swap(edited);
}

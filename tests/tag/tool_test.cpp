// stubkit tag's editing functions over crafted images: every edit is read
// back through the stub's own reader from a real file, set-then-clear must
// give back the very bytes that were there before, and each refusal leaves
// the file untouched and says why.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "certificate_insert.h"
#include "der.h"
#include "pe_image.h"
#include "reserved_certificate.h"
#include "tag/read_tag.h"
#include "tag_error.h"
#include "tag_file.h"
#include "tag_record.h"
#include "test_image.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// Helpers

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

class ToolFiles : public ::testing::Test {
protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("tag-tool-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  // The tag the stub's reader finds in `file`, or "<none>".
  std::string ReadBack(const Bytes& file) {
    const fs::path path = directory_ / "read-back.exe";
    EXPECT_TRUE(WriteBytes(path, file));
    std::unique_ptr<char, FreeDeleter> tag(ReadTagFromFile(path.c_str()));
    return tag ? std::string(tag.get()) : std::string("<none>");
  }

  fs::path directory_;
};

// A signed-looking image with a checksum that is already right, so that an
// edit and its undoing must give back exactly these bytes.
Bytes Finished(Bytes image) {
  const uint32_t field = kNtOffset + 88;
  PutLe32(image, field, ComputePeChecksum(image, field));
  return image;
}

Bytes Signed(const Bytes& table, uint16_t machine = kMachineI386) {
  ImageSpec spec;
  spec.machine = machine;
  spec.table = table;
  return Finished(MakeImage(spec));
}

// A DER blob whose certificate bytes hold an OCTET STRING value of
// 14 + `room` bytes that begins with an empty tag record.
Bytes ReservedBlob(uint32_t room) {
  return SignatureBlob(Concat({Filler(300), DerHeader(0x04, 14 + room), TagRecord(0, ""), Bytes(room, 0), Filler(50)}));
}

// An entry whose length is not padded to 8 (the table's size still is).
Bytes UnpaddedEntry(const Bytes& blob) {
  Bytes entry = CertificateEntry(blob);
  PutLe32(entry, 0, static_cast<uint32_t>(8 + blob.size()));
  return entry;
}

uint32_t EntryLength(const Bytes& file) { return GetLe32(file, SecurityOffset(file)); }

// ---------------------------------------------------------------------------
// The PE checksum

TEST(PeChecksum, AddsWordsWithEndAroundCarrySkippingItsField) {
  struct Case {
    const char* name;
    Bytes file;
    uint32_t field;
    uint32_t expected;
  };
  const Case cases[] = {
      // 0x0201 + 0x0403 + (field skipped) + 0x0005 (odd byte), plus the length 9.
      {"odd length", {0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB, 0xCC, 0xDD, 0x05}, 4, 0x0609 + 9},
      // 0xFFFF + 0xFFFF + 0x0002 carries twice round to 0x0002, plus the length 10.
      {"carries", {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x12, 0x34, 0x56, 0x78}, 6, 0x0002 + 10},
      // An odd field offset: the field's bytes count as zero inside their words.
      {"odd field offset", {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}, 1, 0x0001 + 0x0200 + 6},
  };
  for (const Case& c : cases) EXPECT_EQ(ComputePeChecksum(c.file, c.field), c.expected) << c.name;
}

// ---------------------------------------------------------------------------
// Writing and clearing the tag

TEST_F(ToolFiles, ReservedRecordIsWrittenInPlaceAndClearedBackToTheOriginal) {
  const Bytes original = Signed(CertificateEntry(ReservedBlob(40)));
  Bytes file = original;

  ASSERT_EQ(SetTag(file, "appguid={A}&needsadmin=true"), RecordKind::Reserved);
  EXPECT_EQ(file.size(), original.size());
  EXPECT_EQ(SecuritySize(file), SecuritySize(original));
  EXPECT_EQ(ReadBack(file), "appguid={A}&needsadmin=true");

  ASSERT_EQ(SetTag(file, "short"), RecordKind::Reserved);
  EXPECT_EQ(ReadBack(file), "short");
  const TagRecordInfo record = FindTagRecord(file);
  const auto text = file.begin() + record.offset + 14;
  EXPECT_TRUE(std::all_of(text + 5, text + record.room, [](uint8_t b) { return b == 0; }))
      << "the rest of the longer text must be zeroed";

  ASSERT_EQ(SetTag(file, std::string(40, 'r')), RecordKind::Reserved) << "a text that fills the room fits";
  EXPECT_EQ(ReadBack(file), std::string(40, 'r'));

  ASSERT_EQ(ClearTag(file), RecordKind::Reserved);
  EXPECT_EQ(file, original);
  EXPECT_EQ(ReadBack(file), "<none>");
}

TEST_F(ToolFiles, AppendedRecordGrowsTheTableAndIsRemovedAgain) {
  const struct {
    const char* name;
    Bytes original;
  } cases[] = {
      {"padded entry", Signed(CertificateEntry(SignatureBlob(Filler(301))))},
      {"unpadded entry", Signed(UnpaddedEntry(SignatureBlob(Filler(301))))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = c.original;
    ASSERT_EQ(SetTag(file, "lang=en"), RecordKind::Appended);
    EXPECT_EQ(ReadBack(file), "lang=en");
    EXPECT_EQ(EntryLength(file), EntryLength(c.original) + 14 + 7);
    EXPECT_EQ(SecuritySize(file), (EntryLength(file) + 7) / 8 * 8) << "the size is the entry's length rounded to 8";
    EXPECT_EQ(file.size(), SecurityOffset(file) + SecuritySize(file));

    // Tagging again replaces the appended record instead of adding a second.
    ASSERT_EQ(SetTag(file, "x"), RecordKind::Appended);
    EXPECT_EQ(ReadBack(file), "x");
    EXPECT_EQ(EntryLength(file), EntryLength(c.original) + 14 + 1);

    const std::string longest(kMaxTagLength, 'L');
    ASSERT_EQ(SetTag(file, longest), RecordKind::Appended);
    EXPECT_EQ(ReadBack(file), longest);

    ASSERT_EQ(ClearTag(file), RecordKind::Appended);
    EXPECT_EQ(file, c.original);
  }
}

TEST(ClearTag, LeavesAFileWithoutARecordAlone) {
  const Bytes original = Signed(CertificateEntry(SignatureBlob(Filler(300))));
  Bytes file = original;
  EXPECT_EQ(ClearTag(file), RecordKind::None);
  EXPECT_EQ(file, original);
}

TEST(SetTag, RefusesSayingWhyAndLeavesTheFileAlone) {
  const Bytes appendable = Signed(CertificateEntry(SignatureBlob(Filler(300))));
  const Bytes reserved = Signed(CertificateEntry(ReservedBlob(10)));
  Bytes pe32plus = appendable;
  PutLe16(pe32plus, kNtOffset + 24, 0x020B);
  Bytes trailingData = appendable;
  trailingData.resize(trailingData.size() + 16, 0);
  const Bytes twoEntries = Signed(Concat({CertificateEntry(SignatureBlob(Filler(300))), CertificateEntry(SignatureBlob(Filler(300)))}));

  struct Case {
    const char* name;
    Bytes file;
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"not a PE image", Filler(600), "t", "not a PE image"},
      {"unsigned", MakeImage({}), "t", "not signed"},
      {"AMD64", Signed(CertificateEntry(SignatureBlob(Filler(300))), kMachineAmd64), "t", "AMD64"},
      {"PE32+ layout", pe32plus, "t", "not a PE32 image"},
      {"table not 30 82", Signed(CertificateEntry(Concat({{0x30, 0x83, 0, 0, 0}, Filler(300)}))), "t", "30 82"},
      {"empty text", appendable, "", "empty"},
      {"double quote", appendable, "a\"b", "double quote"},
      {"NUL", appendable, std::string("a\0b", 3), "NUL"},
      {"longer than 65,534", appendable, std::string(kMaxTagLength + 1, 'x'), "at most 65534"},
      {"longer than the reserved room", reserved, std::string(11, 'x'), "room for 10"},
      {"magic in the blob outside a reserved value",
       Signed(CertificateEntry(SignatureBlob(Concat({Filler(300), TagRecord(0, ""), Filler(20, 0)})))), "t",
       "not as a reserved record"},
      {"data after the table", trailingData, "t", "data follows"},
      {"two certificate entries", twoEntries, "t", "more than one entry"},
  };
  for (const Case& c : cases) {
    Bytes file = c.file;
    try {
      SetTag(file, c.text);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const TagError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << c.name << ": " << error.what();
    }
    EXPECT_EQ(file, c.file) << c.name;
  }
}

TEST(ExplainMissingTag, SaysWhyTheReaderFindsNothing) {
  const struct {
    Bytes file;
    const char* reason;
  } cases[] = {
      {MakeImage({}), "not signed"},
      {Signed(CertificateEntry(SignatureBlob(Filler(300)))), "no tag record"},
      {Signed(CertificateEntry(ReservedBlob(10))), "empty (room for 10 bytes)"},
      {Signed(Concat({CertificateEntry(SignatureBlob(Filler(300))), TagRecord("a\"")})), "double quote"},
      {Signed(Concat({CertificateEntry(SignatureBlob(Filler(300))), TagRecord(0xFFFF, std::string(0xFFFF, 'x'))})),
       "65,535"},
  };
  for (const auto& c : cases) {
    const std::string explanation = ExplainMissingTag(c.file);
    EXPECT_NE(explanation.find(c.reason), std::string::npos) << explanation;
  }
}

// ---------------------------------------------------------------------------
// The reserved certificate and its insertion into a signature

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

X509Ptr ParseCertificate(const Bytes& der) {
  const unsigned char* in = der.data();
  return X509Ptr(d2i_X509(nullptr, &in, static_cast<long>(der.size())));
}

Pkcs7Ptr ParsePkcs7(const Bytes& der) {
  const unsigned char* in = der.data();
  return Pkcs7Ptr(d2i_PKCS7(nullptr, &in, static_cast<long>(der.size())));
}

const char kContent[] = "the signed content";

// A detached PKCS#7 SignedData over kContent by a throwaway signer, with or
// without the signer's certificate in its set.
Bytes MakeSignature(bool withCertificates) {
  KeyPtr key(EVP_RSA_gen(2048));
  X509Ptr certificate(X509_new());
  X509_set_version(certificate.get(), X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 7);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate.get()), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Test Publisher"), -1, -1, 0);
  X509_set_issuer_name(certificate.get(), X509_get_subject_name(certificate.get()));
  X509_set_pubkey(certificate.get(), key.get());
  X509_sign(certificate.get(), key.get(), EVP_sha256());

  BioPtr data(BIO_new_mem_buf(kContent, sizeof(kContent) - 1));
  const int flags = PKCS7_DETACHED | PKCS7_BINARY | (withCertificates ? 0 : PKCS7_NOCERTS);
  Pkcs7Ptr signature(PKCS7_sign(certificate.get(), key.get(), nullptr, data.get(), flags));
  EXPECT_NE(signature, nullptr);
  const int length = i2d_PKCS7(signature.get(), nullptr);
  Bytes der(static_cast<size_t>(length));
  unsigned char* out = der.data();
  i2d_PKCS7(signature.get(), &out);
  return der;
}

// The DER blob of the sole entry of `file`.
Bytes BlobOf(const Bytes& file) {
  const uint32_t table = SecurityOffset(file);
  const uint32_t size = 4 + (file[table + 10] << 8 | file[table + 11]);
  return Bytes(file.begin() + table + 8, file.begin() + table + 8 + size);
}

TEST(ReservedCertificate, CarriesAnEmptyRecordInANonCriticalExtension) {
  const Bytes der = MakeReservedCertificate(kDefaultReservedSize);
  X509Ptr certificate = ParseCertificate(der);
  ASSERT_NE(certificate, nullptr);

  char subject[64] = {};
  X509_NAME_get_text_by_NID(X509_get_subject_name(certificate.get()), NID_commonName, subject, sizeof(subject));
  EXPECT_STREQ(subject, "Dummy certificate");

  ASSERT_EQ(X509_get_ext_count(certificate.get()), 1);
  X509_EXTENSION* extension = X509_get_ext(certificate.get(), 0);
  char oid[80] = {};
  OBJ_obj2txt(oid, sizeof(oid), X509_EXTENSION_get_object(extension), 1);
  EXPECT_STREQ(oid, kReservedExtensionOid);
  EXPECT_EQ(X509_EXTENSION_get_critical(extension), 0);
  const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(extension);
  ASSERT_EQ(ASN1_STRING_length(value), 8206);
  const std::string bytes(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), 8206);
  EXPECT_EQ(bytes.substr(0, 14), std::string("Gact2.0Kexta\0\0", 14));
  EXPECT_EQ(bytes.find_first_not_of('\0', 14), std::string::npos);

  EXPECT_THROW(MakeReservedCertificate(kMinReservedSize - 1), TagError);
  EXPECT_THROW(MakeReservedCertificate(kMaxReservedSize + 1), TagError);
}

TEST_F(ToolFiles, InsertedCertificateGivesARecordAndKeepsTheSignature) {
  for (bool withCertificates : {true, false}) {
    SCOPED_TRACE(withCertificates ? "signature with a certificate set" : "signature without one");
    const Bytes signature = MakeSignature(withCertificates);
    Bytes file = Signed(CertificateEntry(signature));
    InsertCertificate(file, MakeReservedCertificate(100));

    const PeLayout layout = ReadPeLayout(file);
    EXPECT_EQ(Le32At(file, layout.checksumOffset), ComputePeChecksum(file, layout.checksumOffset));
    EXPECT_EQ(file.size(), layout.tableOffset + layout.tableSize);
    EXPECT_EQ(layout.tableSize % 8, 0u);

    Pkcs7Ptr parsed = ParsePkcs7(BlobOf(file));
    ASSERT_NE(parsed, nullptr);
    STACK_OF(X509)* certificates = parsed->d.sign->cert;
    ASSERT_NE(certificates, nullptr);
    EXPECT_EQ(sk_X509_num(certificates), withCertificates ? 2 : 1);

    // The signature itself still verifies over the same content.
    BioPtr data(BIO_new_mem_buf(kContent, sizeof(kContent) - 1));
    if (withCertificates) {
      EXPECT_EQ(PKCS7_verify(parsed.get(), nullptr, nullptr, data.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY), 1);
    }

    const TagRecordInfo record = FindTagRecord(file);
    EXPECT_EQ(record.kind, RecordKind::Reserved);
    EXPECT_EQ(record.room, 86u);
    EXPECT_EQ(ReadBack(file), "<none>");
    ASSERT_EQ(SetTag(file, "in=the&certificate=set"), RecordKind::Reserved);
    EXPECT_EQ(ReadBack(file), "in=the&certificate=set");
    EXPECT_NE(ParsePkcs7(BlobOf(file)), nullptr) << "tagging in place keeps the DER intact";
  }
}

TEST(InsertCertificate, KeepsTheSetInDerOrder) {
  Bytes file = Signed(CertificateEntry(MakeSignature(true)));
  InsertCertificate(file, MakeReservedCertificate(100));
  const Bytes blob = BlobOf(file);
  Pkcs7Ptr parsed = ParsePkcs7(blob);
  ASSERT_NE(parsed, nullptr);
  STACK_OF(X509)* certificates = parsed->d.sign->cert;
  ASSERT_EQ(sk_X509_num(certificates), 2);
  Bytes encodings[2];
  for (int i = 0; i < 2; ++i) {
    unsigned char* out = nullptr;
    const int length = i2d_X509(sk_X509_value(certificates, i), &out);
    encodings[i].assign(out, out + length);
    OPENSSL_free(out);
  }
  EXPECT_TRUE(DerSetOrderLess(encodings[0].data(), encodings[0].size(), encodings[1].data(), encodings[1].size()));
}

TEST(InsertCertificate, RefusesSayingWhyAndLeavesTheFileAlone) {
  const Bytes signature = MakeSignature(true);
  Bytes alreadyReserved = Signed(CertificateEntry(signature));
  InsertCertificate(alreadyReserved, MakeReservedCertificate(100));
  const Bytes huge = Concat({{0x30, 0x82, 0xFF, 0x00}, Bytes(0xFF00, 0)});

  struct Case {
    const char* name;
    Bytes file;
    Bytes certificate;
    const char* reason;
  };
  const Case cases[] = {
      {"unsigned", MakeImage({}), MakeReservedCertificate(100), "not signed"},
      {"already reserved", alreadyReserved, MakeReservedCertificate(100), "already holds a tag record"},
      {"signature reaching 64 KiB", Signed(CertificateEntry(signature)), huge, "under 64 KiB"},
      {"not SignedData", Signed(CertificateEntry(SignatureBlob(Filler(300, 0x05)))), MakeReservedCertificate(100),
       "not PKCS#7 SignedData"},
      {"not a certificate", Signed(CertificateEntry(signature)), Bytes{0x04, 0x01, 0x00}, "not one DER SEQUENCE"},
  };
  for (const Case& c : cases) {
    Bytes file = c.file;
    try {
      InsertCertificate(file, c.certificate);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const TagError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << c.name << ": " << error.what();
    }
    EXPECT_EQ(file, c.file) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Replacing a file

TEST_F(ToolFiles, ReplacingAFileIsAllOrNothing) {
  const std::string target = (directory_ / "stub.exe").string();
  ASSERT_TRUE(WriteBytes(target, {1, 2, 3}));
  ASSERT_EQ(::chmod(target.c_str(), 0750), 0);

  EXPECT_THROW(ReplaceFile(target, {9, 9}, FileMode(target),
                           [](const std::string&) { throw TagError("refused"); }),
               TagError);
  EXPECT_EQ(ReadWholeFile(target), (Bytes{1, 2, 3}));
  EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 1)
      << "no temporary file is left behind";

  std::string checked;
  ReplaceFile(target, {4, 5}, FileMode(target), [&](const std::string& written) {
    checked = written;
    EXPECT_EQ(ReadWholeFile(written), (Bytes{4, 5}));
  });
  EXPECT_NE(checked, target) << "the check sees the temporary file";
  EXPECT_EQ(ReadWholeFile(target), (Bytes{4, 5}));
  EXPECT_EQ(FileMode(target), 0750u);
  EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 1);

  EXPECT_THROW(ReadWholeFile((directory_ / "missing").string()), TagError);
  EXPECT_THROW(ReplaceFile((directory_ / "no-such-dir" / "x").string(), {1}, 0644, [](const std::string&) {}),
               TagError);
}

}  // namespace

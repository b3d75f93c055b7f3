#include "reserved_certificate.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <memory>

#include "tag/signature_tag_reader.h"
#include "tag_error.h"

// A UUID made once for this purpose, 71836c44-c87f-4279-9364-6af2b8cc9ebd, as
// its integer under 2.25.
const char kReservedExtensionOid[] = "2.25.150885150361966650870073140872479547069";

namespace {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
  void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslDeleter<T, Free>>;

using KeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using CertificatePtr = OpenSslPtr<X509, X509_free>;
using NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using ObjectPtr = OpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using OctetsPtr = OpenSslPtr<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>;
using ExtensionPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;
using BigNumberPtr = OpenSslPtr<BIGNUM, BN_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free_all>;

constexpr long kSecondsPerDay = 24 * 60 * 60;
constexpr long kValidDays = 20 * 366;

// Throws with OpenSSL's own reason for the most recent failure.
[[noreturn]] void Fail(const char* what) {
  char reason[256] = "unknown reason";
  const unsigned long code = ERR_get_error();
  if (code != 0) ERR_error_string_n(code, reason, sizeof(reason));
  ERR_clear_error();
  throw TagError(std::string("cannot make the reserved certificate: ") + what + " (" + reason + ")");
}

void Check(int result, const char* what) {
  if (result <= 0) Fail(what);
}

template <typename T>
T* Check(T* result, const char* what) {
  if (result == nullptr) Fail(what);
  return result;
}

}  // namespace

std::vector<uint8_t> MakeReservedCertificate(uint32_t size) {
  if (size < kMinReservedSize || size > kMaxReservedSize) {
    throw TagError("the reserved size must be from " + std::to_string(kMinReservedSize) + " to " +
                   std::to_string(kMaxReservedSize) + " bytes");
  }
  KeyPtr key(Check(EVP_EC_gen("P-256"), "generating a key"));
  CertificatePtr certificate(Check(X509_new(), "allocating a certificate"));
  Check(X509_set_version(certificate.get(), X509_VERSION_3), "setting the version");

  BigNumberPtr serial(Check(BN_new(), "allocating a serial number"));
  Check(BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY), "drawing a serial number");
  Check(BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) != nullptr ? 1 : 0,
        "setting the serial number");

  Check(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -kSecondsPerDay) != nullptr ? 1 : 0,
        "setting the start of validity");
  Check(X509_time_adj_ex(X509_getm_notAfter(certificate.get()), kValidDays, 0, nullptr) != nullptr ? 1 : 0,
        "setting the end of validity");

  NamePtr name(Check(X509_NAME_new(), "allocating a name"));
  Check(X509_NAME_add_entry_by_txt(name.get(), "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Dummy certificate"), -1, -1, 0),
        "setting the common name");
  Check(X509_set_subject_name(certificate.get(), name.get()), "setting the subject");
  Check(X509_set_issuer_name(certificate.get(), name.get()), "setting the issuer");
  Check(X509_set_pubkey(certificate.get(), key.get()), "setting the public key");

  std::vector<unsigned char> value(size, 0);
  std::memcpy(value.data(), kTagMagic, kTagMagicSize);
  ObjectPtr oid(Check(OBJ_txt2obj(kReservedExtensionOid, 1), "making the extension's object identifier"));
  OctetsPtr octets(Check(ASN1_OCTET_STRING_new(), "allocating the extension value"));
  Check(ASN1_OCTET_STRING_set(octets.get(), value.data(), static_cast<int>(value.size())),
        "setting the extension value");
  ExtensionPtr extension(
      Check(X509_EXTENSION_create_by_OBJ(nullptr, oid.get(), 0, octets.get()), "making the extension"));
  Check(X509_add_ext(certificate.get(), extension.get(), -1), "adding the extension");

  Check(X509_sign(certificate.get(), key.get(), EVP_sha256()), "signing the certificate");

  const int length = i2d_X509(certificate.get(), nullptr);
  Check(length, "encoding the certificate");
  std::vector<uint8_t> der(static_cast<size_t>(length));
  unsigned char* out = der.data();
  Check(i2d_X509(certificate.get(), &out), "encoding the certificate");
  return der;
}

std::string CertificatePem(const std::vector<uint8_t>& der) {
  const unsigned char* in = der.data();
  CertificatePtr certificate(Check(d2i_X509(nullptr, &in, static_cast<long>(der.size())), "decoding the certificate"));
  BioPtr bio(Check(BIO_new(BIO_s_mem()), "allocating a buffer"));
  Check(PEM_write_bio_X509(bio.get(), certificate.get()), "writing PEM");
  char* text = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &text);
  return std::string(text, static_cast<size_t>(size));
}

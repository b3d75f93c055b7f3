// The certificate that reserves room for a tag inside a signature.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Size of the reserved extension value unless told otherwise: the magic, the
// length field and 8,192 bytes of text.
constexpr uint32_t kDefaultReservedSize = 8206;
// Limits on that size: room for one byte of text, and a value that leaves the
// rest of a typical signature room under the 64 KiB that the reader accepts.
constexpr uint32_t kMinReservedSize = 15;
constexpr uint32_t kMaxReservedSize = 60000;

// The object identifier of the extension, under the UUID arc 2.25.
extern const char kReservedExtensionOid[];

// A self-signed certificate (a throwaway P-256 key, SHA-256, subject and
// issuer CN "Dummy certificate") with one non-critical extension whose value
// is an OCTET STRING of `size` bytes: the tag magic, a zero length and zeros.
// Returns its DER encoding. Throws TagError if OpenSSL fails or `size` is
// outside [kMinReservedSize, kMaxReservedSize].
std::vector<uint8_t> MakeReservedCertificate(uint32_t size);

// The PEM form of a DER certificate. Throws TagError if OpenSSL fails.
std::string CertificatePem(const std::vector<uint8_t>& der);

// Adding a certificate to the certificate set of a file's Authenticode
// signature. The signature does not cover that set, so the file stays signed.
#pragma once

#include "pe_image.h"

// Inserts the DER `certificate` into the SignedData certificates [0] set of
// the sole signature entry of `file` (creating the set if the signature has
// none), at its place in DER set order. Rewrites the DER lengths of the
// ContentInfo, its [0], the SignedData and the set; then the entry's length
// (padded to 8 if it was), the security entry's size and the PE checksum.
// Throws TagError, leaving `file` as it was, when the file's table is not a
// single PKCS#7 SignedData entry at the end of the file, when its table
// already holds a tag magic, or when the signature would reach 64 KiB (the
// stub's reader needs it to begin 0x30 0x82).
void InsertCertificate(Bytes& file, const Bytes& certificate);

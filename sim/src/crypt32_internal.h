// What the crypt32 functions share: the Base64 and DER readers.
#pragma once
#include <string_view>
#include <vector>

#include "simwin/wincrypt.h"

namespace sim {

// Decodes Base64 digits, skipping blanks and line ends; 0 or ERROR_INVALID_DATA.
DWORD DecodeBase64(std::string_view text, std::vector<BYTE>& out);

// Finds the text between a "-----BEGIN ...-----" header and the "-----END" that follows it;
// `skipped` is where the header starts. 0 or ERROR_INVALID_DATA when a marker is missing.
DWORD FindPemBody(std::string_view text, size_t& bodyStart, size_t& bodyEnd, size_t& skipped);

struct ByteRange {
    size_t start = 0;
    size_t length = 0;
};

struct ParsedCertificate {
    DWORD version = 0;  // as CERT_INFO counts it: 0 for version 1, 2 for version 3
    ByteRange serial;   // the INTEGER's contents, big-endian
    ByteRange issuer;   // the whole encoded Name
    ByteRange subject;
};

// Checks that `bytes` hold one DER X.509 certificate (tbsCertificate, signatureAlgorithm and
// signatureValue in an outer SEQUENCE); 0 or CRYPT_E_ASN1_BADTAG/EOD/CORRUPT.
DWORD ParseCertificate(const BYTE* bytes, size_t size, ParsedCertificate& out);

}  // namespace sim

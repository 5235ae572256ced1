// The encodings crypt32 reads: Base64 text (with or without PEM markers) and the outer DER
// structure of an X.509 certificate.
#include "crypt32_internal.h"

#include <cstring>

namespace sim {
namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

const char kBegin[] = "-----BEGIN";
const char kEnd[] = "-----END";
const char kDashes[] = "-----";

// One DER element: its tag and where its contents lie in the buffer.
struct Element {
    BYTE tag = 0;
    size_t start = 0;  // first byte of the contents
    size_t length = 0;
};

// Reads the element at `pos`; 0 or the crypt32 error for a header or length that runs past `end`.
DWORD ReadElement(const BYTE* bytes, size_t pos, size_t end, Element& out) {
    if (pos + 2 > end) {
        return CRYPT_E_ASN1_EOD;
    }
    out.tag = bytes[pos];
    size_t length = bytes[pos + 1];
    pos += 2;
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        // Indefinite lengths (count 0) are BER, not DER.
        if (count == 0 || count > 4) {
            return CRYPT_E_ASN1_CORRUPT;
        }
        if (pos + count > end) {
            return CRYPT_E_ASN1_EOD;
        }
        length = 0;
        for (size_t i = 0; i < count; ++i) {
            length = (length << 8) | bytes[pos + i];
        }
        pos += count;
    }
    if (length > end - pos) {
        return CRYPT_E_ASN1_EOD;
    }
    out.start = pos;
    out.length = length;
    return 0;
}

// Reads the element at `pos`, which must carry `tag`, and moves `pos` past it.
DWORD Expect(const BYTE* bytes, size_t& pos, size_t end, BYTE tag, Element& out) {
    // The tag is judged before the length, as Windows and Wine report a wrong tag first.
    if (pos < end && bytes[pos] != tag) {
        return CRYPT_E_ASN1_BADTAG;
    }
    if (DWORD e = ReadElement(bytes, pos, end, out)) {
        return e;
    }
    pos = out.start + out.length;
    return 0;
}

const BYTE kSequence = 0x30;
const BYTE kInteger = 0x02;
const BYTE kBitString = 0x03;
const BYTE kVersionTag = 0xA0;

}  // namespace

DWORD DecodeBase64(std::string_view text, std::vector<BYTE>& out) {
    out.clear();
    unsigned value = 0;
    int bits = 0;
    size_t digits = 0;
    size_t pads = 0;
    for (char c : text) {
        if (IsBlank(c)) {
            continue;
        }
        if (c == '=') {
            ++pads;
            continue;
        }
        const int v = Base64Value(c);
        // A digit after padding, or a character outside the alphabet, is not Base64.
        if (v < 0 || pads != 0) {
            return ERROR_INVALID_DATA;
        }
        ++digits;
        value = (value << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<BYTE>((value >> bits) & 0xFF));
        }
    }
    if (pads > 2 || (digits + pads) % 4 != 0) {
        return ERROR_INVALID_DATA;
    }
    return 0;
}

DWORD FindPemBody(std::string_view text, size_t& bodyStart, size_t& bodyEnd, size_t& skipped) {
    const size_t begin = text.find(kBegin);
    if (begin == std::string_view::npos) {
        return ERROR_INVALID_DATA;
    }
    const size_t headerEnd = text.find(kDashes, begin + std::strlen(kBegin));
    if (headerEnd == std::string_view::npos) {
        return ERROR_INVALID_DATA;
    }
    bodyStart = headerEnd + std::strlen(kDashes);
    bodyEnd = text.find(kEnd, bodyStart);
    if (bodyEnd == std::string_view::npos) {
        return ERROR_INVALID_DATA;
    }
    skipped = begin;
    return 0;
}

DWORD ParseCertificate(const BYTE* bytes, size_t size, ParsedCertificate& out) {
    size_t pos = 0;
    Element outer, tbs, algorithm, signature;
    if (DWORD e = Expect(bytes, pos, size, kSequence, outer)) {
        return e;
    }
    pos = outer.start;
    const size_t outerEnd = outer.start + outer.length;
    if (DWORD e = Expect(bytes, pos, outerEnd, kSequence, tbs)) {
        return e;
    }
    if (DWORD e = Expect(bytes, pos, outerEnd, kSequence, algorithm)) {
        return e;
    }
    if (DWORD e = Expect(bytes, pos, outerEnd, kBitString, signature)) {
        return e;
    }
    if (pos != outerEnd) {
        return CRYPT_E_ASN1_CORRUPT;
    }

    // Inside the signed part: [0] version (absent for version 1), serial, signature algorithm,
    // issuer, validity, subject and the public key, in that order.
    size_t in = tbs.start;
    const size_t tbsEnd = tbs.start + tbs.length;
    Element field;
    out = ParsedCertificate{};
    if (in < tbsEnd && bytes[in] == kVersionTag) {
        if (DWORD e = Expect(bytes, in, tbsEnd, kVersionTag, field)) {
            return e;
        }
        size_t v = field.start;
        Element number;
        if (DWORD e = Expect(bytes, v, field.start + field.length, kInteger, number)) {
            return e;
        }
        if (number.length != 1) {
            return CRYPT_E_ASN1_CORRUPT;
        }
        out.version = bytes[number.start];
    }
    if (DWORD e = Expect(bytes, in, tbsEnd, kInteger, field)) {
        return e;
    }
    out.serial = {field.start, field.length};
    // Then the signature algorithm, issuer, validity, subject and public key, all sequences;
    // CERT_INFO names the issuer and the subject by their whole encoding.
    for (int i = 0; i < 5; ++i) {
        const size_t before = in;
        if (DWORD e = Expect(bytes, in, tbsEnd, kSequence, field)) {
            return e;
        }
        if (i == 1) {
            out.issuer = {before, in - before};
        } else if (i == 3) {
            out.subject = {before, in - before};
        }
    }
    return 0;
}

}  // namespace sim

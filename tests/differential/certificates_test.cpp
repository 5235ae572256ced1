// The machine's "TrustedPublisher" store on both platforms: decoding the program's embedded
// certificate, refusing bytes that are no certificate, and adding one certificate twice.
#include <cstring>
#include <vector>

#include "differential.h"

namespace {

using differential::kSentinel;

const char kPem[] =
#include "resources/publisher_certificate.inc"
    ;

std::vector<BYTE> Decoded() {
    DWORD size = 0;
    EXPECT_TRUE(
        CryptStringToBinaryA(kPem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr));
    std::vector<BYTE> der(size);
    EXPECT_TRUE(CryptStringToBinaryA(kPem, 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                                     nullptr));
    der.resize(size);
    return der;
}

HCERTSTORE OpenTrustedPublisher() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                         "TrustedPublisher");
}

// How many certificates of the store carry exactly these bytes.
int CopiesIn(HCERTSTORE store, const std::vector<BYTE>& der) {
    int copies = 0;
    PCCERT_CONTEXT context = nullptr;
    while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
        if (context->cbCertEncoded == der.size() &&
            std::memcmp(context->pbCertEncoded, der.data(), der.size()) == 0) {
            ++copies;
        }
    }
    return copies;
}

TEST(Certificates, EmbeddedCertificateDecodesToOneDerContext) {
    const std::vector<BYTE> der = Decoded();
    ASSERT_GT(der.size(), 2u);
    EXPECT_EQ(der[0], 0x30);
    PCCERT_CONTEXT context =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    ASSERT_NE(context, nullptr) << GetLastError();
    EXPECT_EQ(context->cbCertEncoded, der.size());
    CertFreeCertificateContext(context);
}

TEST(Certificates, BytesThatAreNoCertificateAreABadTag) {
    const BYTE text[] = {'n', 'o', 't', ' ', 'a', ' ', 'c', 'e', 'r', 't'};
    SetLastError(kSentinel);
    EXPECT_EQ(CertCreateCertificateContext(X509_ASN_ENCODING, text, sizeof text), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_ASN1_BADTAG));
}

TEST(Certificates, SecondAddAsNewFindsTheCopyAndTheStoreHoldsOne) {
    const std::vector<BYTE> der = Decoded();
    PCCERT_CONTEXT context =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    ASSERT_NE(context, nullptr);
    HCERTSTORE store = OpenTrustedPublisher();
    ASSERT_NE(store, nullptr) << GetLastError();
    EXPECT_TRUE(
        CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        << GetLastError();
    SetLastError(kSentinel);
    EXPECT_FALSE(CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_NEW, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_EXISTS));
    EXPECT_EQ(CopiesIn(store, der), 1);
    CertFreeCertificateContext(context);
    CertCloseStore(store, 0);
}

TEST(Certificates, StoreReopenedKeepsTheAddedCertificate) {
    const std::vector<BYTE> der = Decoded();
    PCCERT_CONTEXT context =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    ASSERT_NE(context, nullptr);
    HCERTSTORE store = OpenTrustedPublisher();
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(
        CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
    CertFreeCertificateContext(context);
    CertCloseStore(store, 0);
    HCERTSTORE again = OpenTrustedPublisher();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(CopiesIn(again, der), 1);
    CertCloseStore(again, 0);
}

}  // namespace

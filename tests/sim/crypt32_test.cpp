// crypt32 on the simulated machine: the Base64 decoder's size protocol, certificates that are
// not DER X.509, dispositions, and stores a standard user may not write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "machine.h"
#include "platform/win32.h"

namespace {

const char kPem[] =
#include "resources/publisher_certificate.inc"
    ;

class Crypt32 : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }
    std::vector<BYTE> Decoded() {
        DWORD size = 0;
        EXPECT_TRUE(CryptStringToBinaryA(kPem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                         nullptr, nullptr));
        std::vector<BYTE> der(size);
        EXPECT_TRUE(CryptStringToBinaryA(kPem, 0, CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                         nullptr, nullptr));
        return der;
    }
    HCERTSTORE Open(DWORD extra = 0) {
        return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0x10001, 0,
                             CERT_SYSTEM_STORE_LOCAL_MACHINE | extra, "TrustedPublisher");
    }
};

TEST_F(Crypt32, SizeQueryReportsTheDecodedLengthAndSmallBufferFails) {
    DWORD size = 0;
    ASSERT_TRUE(
        CryptStringToBinaryA(kPem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr));
    EXPECT_EQ(size, 1324u);
    BYTE small[10];
    DWORD smallSize = sizeof(small);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CryptStringToBinaryA(kPem, 0, CRYPT_STRING_BASE64HEADER, small, &smallSize,
                                      nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(smallSize, 10u);
}

TEST_F(Crypt32, TextWithoutMarkersOrWithForeignCharactersIsInvalidData) {
    for (const char* text : {"QUJD", "-----BEGIN CERTIFICATE-----QUJD",
                             "-----BEGIN CERTIFICATE-----AB*D-----END CERTIFICATE-----"}) {
        DWORD size = 77;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                          nullptr, nullptr))
            << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << text;
        EXPECT_EQ(size, 77u) << text;
    }
}

TEST_F(Crypt32, BytesThatAreNotACertificateAreRejected) {
    std::vector<BYTE> der = Decoded();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CertCreateCertificateContext(0x10001, reinterpret_cast<const BYTE*>("garbage"), 7),
              nullptr);
    EXPECT_EQ(GetLastError(), 0x8009310Bu);  // CRYPT_E_ASN1_BADTAG
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CertCreateCertificateContext(0x10001, der.data(), 1314), nullptr);
    EXPECT_EQ(GetLastError(), 0x80093102u);  // CRYPT_E_ASN1_EOD
    // A SEQUENCE of the right length whose first element is no SEQUENCE.
    const BYTE wrongInside[] = {0x30, 0x03, 0x02, 0x01, 0x00};
    EXPECT_EQ(CertCreateCertificateContext(0x10001, wrongInside, sizeof(wrongInside)), nullptr);
    EXPECT_EQ(GetLastError(), 0x8009310Bu);
}

TEST_F(Crypt32, DispositionsDecideWhatTheStoreKeeps) {
    std::vector<BYTE> der = Decoded();
    HCERTSTORE store = Open();
    ASSERT_NE(store, nullptr);
    PCCERT_CONTEXT c = CertCreateCertificateContext(0x10001, der.data(), 1324);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->pCertInfo->dwVersion, 2u);
    EXPECT_TRUE(CertAddCertificateContextToStore(store, c, CERT_STORE_ADD_USE_EXISTING, nullptr));
    EXPECT_TRUE(CertAddCertificateContextToStore(store, c, CERT_STORE_ADD_USE_EXISTING, nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CertAddCertificateContextToStore(store, c, CERT_STORE_ADD_NEW, nullptr));
    EXPECT_EQ(GetLastError(), 0x80092005u);  // CRYPT_E_EXISTS
    ASSERT_EQ(sim::SystemStores().size(), 1u);
    EXPECT_EQ(sim::SystemStores()[0].certificates.size(), 1u);
    EXPECT_TRUE(CertAddCertificateContextToStore(store, c, CERT_STORE_ADD_ALWAYS, nullptr));
    EXPECT_EQ(sim::SystemStores()[0].certificates.size(), 2u);
    CertFreeCertificateContext(c);
    EXPECT_TRUE(CertCloseStore(store, 0));
}

TEST_F(Crypt32, StandardUserCannotOpenTheMachineStoreForWriting) {
    sim::Settings().elevated = false;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HCERTSTORE readOnly = Open(CERT_STORE_READONLY_FLAG);
    EXPECT_NE(readOnly, nullptr);
    CertCloseStore(readOnly, 0);
}

TEST_F(Crypt32, InstallCertificateWithoutRightsPrintsTheOpenFailure) {
    sim::Settings().elevated = false;
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    const int32_t result = InstallCertificate();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 2);
    EXPECT_EQ(out, "open store failed:0x5\n");
    EXPECT_TRUE(sim::SystemStores().empty() || sim::SystemStores()[0].certificates.empty());
}

TEST_F(Crypt32, EachFailingStepPrintsItsLineAndFails) {
    struct Step {
        const char* api;
        DWORD error;
        const char* line;
    };
    const Step steps[] = {
        {"CryptStringToBinaryA", ERROR_INVALID_DATA, ""},
        {"CertOpenStore", ERROR_FILE_NOT_FOUND, "open store failed:0x2\n"},
        {"CertCreateCertificateContext", 0x8009310B, "create context failed:0x8009310b\n"},
        {"CertAddCertificateContextToStore", ERROR_ACCESS_DENIED,
         "Add certificate to store failed:0x5\n"},
    };
    for (const Step& step : steps) {
        sim::ResetToEmpty();
        sim::Fault fault;
        fault.api = step.api;
        fault.error = step.error;
        sim::Faults().push_back(fault);
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        const int32_t result = InstallCertificate();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), step.line) << step.api;
        EXPECT_EQ(result, 2) << step.api;
        // A store that was opened is closed again on every path.
        const unsigned opened = step.api == std::string("CryptStringToBinaryA") ||
                                        step.api == std::string("CertOpenStore")
                                    ? 0u
                                    : 1u;
        EXPECT_EQ(sim::CallCount("CertCloseStore"), opened) << step.api;
    }
}

}  // namespace

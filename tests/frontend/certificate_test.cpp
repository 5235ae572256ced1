// The certificate command against the machine's real "TrustedPublisher" store: the simulated
// one on Linux, Wine's under the Windows build. Runs may repeat in one Wine prefix, so every
// check counts copies of the publisher certificate rather than the store's size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "platform/win32.h"
#include "run_capture.h"

namespace {

const char kOk[] = "Add certificate to store ok.\n";

// The publisher certificate as the maker issued it: 1,324 DER bytes, serial 5A E3 2E 5B 01
// (CERT_INFO holds the serial least significant byte first).
bool IsPublisherCertificate(PCCERT_CONTEXT c) {
    const BYTE serial[] = {0x01, 0x5B, 0x2E, 0xE3, 0x5A};
    if (c->cbCertEncoded != 1324 || c->pCertInfo->SerialNumber.cbData != sizeof(serial)) {
        return false;
    }
    for (size_t i = 0; i < sizeof(serial); ++i) {
        if (c->pCertInfo->SerialNumber.pbData[i] != serial[i]) {
            return false;
        }
    }
    return true;
}

int PublisherCopies() {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG,
                                     "TrustedPublisher");
    if (store == nullptr) {
        return -1;
    }
    int copies = 0;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
        copies += IsPublisherCertificate(c) ? 1 : 0;
    }
    CertCloseStore(store, 0);
    return copies;
}

std::string Echo(const std::vector<std::string>& words) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        text += "argv[" + std::to_string(i) + "]=" + words[i] + "\n";
    }
    return text;
}

TEST(InstallCertificate, TwoRunsBothSucceedAndLeaveOneCopy) {
    const std::vector<std::string> words = {"boardkit.exe", "InstallCertificate"};
    CapturedRun first = RunBoardkit(words);
    CapturedRun second = RunBoardkit(words);
    for (const CapturedRun& run : {first, second}) {
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, Echo(words) + "cmd = InstallCertificate\n" + kOk);
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(PublisherCopies(), 1);
}

TEST(InstallCertificate, ArgumentsAndMachineOptionAreIgnored) {
    const std::vector<std::string> words = {"boardkit.exe",       "-m:\\\\host", "-f",
                                            "installcertificate", "extra",       "words"};
    CapturedRun run = RunBoardkit(words);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Echo(words) + "cmd = installcertificate\n" + kOk);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(PublisherCopies(), 1);
}

TEST(InstallCertificate, ExportedOperationReturnsZeroAndKeepsOneCopy) {
    StreamCapture capture;
    const int32_t result = InstallCertificate();
    std::string out, err;
    capture.Finish(out, err);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, kOk);
    EXPECT_EQ(PublisherCopies(), 1);
}

}  // namespace

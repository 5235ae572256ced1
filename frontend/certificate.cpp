// The certificate command: adds the maker's publisher certificate, carried in the program, to
// the local machine's "TrustedPublisher" store, so that the system trusts the signed driver
// packages the other commands install.
#include <cstdio>
#include <cstring>

#include "boardkit/operations.h"
#include "frontend/handlers.h"
#include "platform/unique.h"
#include "platform/win32.h"

namespace {

const char kPublisherCertificate[] =
#include "resources/publisher_certificate.inc"
    ;

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

}  // namespace

extern "C" int32_t InstallCertificate(void) BOARDKIT_NOEXCEPT {
    const DWORD length = static_cast<DWORD>(std::strlen(kPublisherCertificate));
    DWORD size = 0;
    CryptStringToBinaryA(kPublisherCertificate, length, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                         nullptr, nullptr);
    if (size == 0) {
        return EXIT_RET_FAILURE;
    }
    platform::UniqueLocal buffer(LocalAlloc(LMEM_FIXED, size));
    if (!buffer) {
        return EXIT_RET_FAILURE;
    }
    BYTE* der = static_cast<BYTE*>(buffer.get());
    // The text is the program's own and was just measured, so this decode cannot differ.
    CryptStringToBinaryA(kPublisherCertificate, length, CRYPT_STRING_BASE64HEADER, der, &size,
                         nullptr, nullptr);

    platform::UniqueCertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, kEncoding, 0,
                                                  CERT_SYSTEM_STORE_LOCAL_MACHINE,
                                                  "TrustedPublisher"));
    if (!store) {
        std::printf("open store failed:0x%x\n", static_cast<unsigned>(GetLastError()));
        return EXIT_RET_FAILURE;
    }
    platform::UniqueCertContext context(CertCreateCertificateContext(kEncoding, der, size));
    if (!context) {
        std::printf("create context failed:0x%x\n", static_cast<unsigned>(GetLastError()));
        return EXIT_RET_FAILURE;
    }
    // USE_EXISTING keeps the copy a store already holds, so every run may succeed.
    if (!CertAddCertificateContextToStore(store.get(), context.get(), CERT_STORE_ADD_USE_EXISTING,
                                          nullptr)) {
        std::printf("Add certificate to store failed:0x%x\n",
                    static_cast<unsigned>(GetLastError()));
        return EXIT_RET_FAILURE;
    }
    std::printf("Add certificate to store ok.\n");
    return EXIT_RET_SUCCESS;
}

// Reads none of its inputs: arguments and a machine option change nothing.
int32_t InstallCertificateCommand(const char*, const char*, uint32_t, int32_t, char**) {
    return InstallCertificate();
}

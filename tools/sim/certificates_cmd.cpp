// boardkit-sim's views of the certificate stores and of the pending shutdown request.
#include <cstdio>

#include "crypt32_internal.h"
#include "sim_commands.h"
#include "simwin/windows.h"

namespace tools {

void ShowCertificates() {
    const std::vector<sim::SystemStore> stores = sim::SystemStores();
    std::printf("certificate stores: %zu\n", stores.size());
    for (const sim::SystemStore& store : stores) {
        std::printf("  %s\\%s: %zu certificate(s)\n", store.location.c_str(), store.name.c_str(),
                    store.certificates.size());
        for (const std::vector<BYTE>& der : store.certificates) {
            sim::ParsedCertificate parsed;
            std::printf("    %zu bytes", der.size());
            if (sim::ParseCertificate(der.data(), der.size(), parsed) == 0) {
                std::printf(", serial ");
                for (size_t i = 0; i < parsed.serial.length; ++i) {
                    std::printf("%02x", der[parsed.serial.start + i]);
                }
            }
            std::printf("\n");
        }
    }
}

void ShowShutdown() {
    const sim::PendingShutdown& request = sim::CurrentShutdownRequest();
    if (!request.pending) {
        std::printf("shutdown: none pending\n");
        return;
    }
    std::printf("shutdown: pending, %s, reason 0x%08x, timeout %u, %s\n",
                request.reboot ? "restart" : "power off", static_cast<unsigned>(request.reason),
                static_cast<unsigned>(request.timeout),
                request.forceAppsClosed ? "applications forced closed" : "applications asked");
    if (!request.message.empty()) {
        std::printf("  message: %s\n", request.message.c_str());
    }
}

}  // namespace tools

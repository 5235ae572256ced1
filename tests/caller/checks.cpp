#include "tests/caller/checks.h"

#include <cstdio>
#include <cstring>

#include "platform/win32.h"

namespace {

int passed = 0;
int failed = 0;

}  // namespace

void Check(bool ok, const char* what, const std::string& detail) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAILED: %s %s\n", what, detail.c_str());
    std::fflush(stdout);
}

int CheckSummary() {
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

int NodesWithHardwareId(const char* id) {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        // Two zero bytes kept free, so the list read back is always terminated.
        char ids[1024] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(ids), sizeof ids - 2,
                                              nullptr) &&
            std::strcmp(ids, id) == 0) {
            ++count;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

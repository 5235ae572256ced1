// A host program of boardkit.dll that, like a maker's setup program, calls one operation and
// never restricts its own library search: `dll_caller <operation> [argument...]` prints the
// operation's result. Only the operations the planted-library test runs are offered.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "boardkit/operations.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dll_caller <operation> [argument...]\n");
        return 3;
    }
    const char* operation = argv[1];
    long long result = 0;
    if (std::strcmp(operation, "IsDeviceExist") == 0 && argc == 3) {
        result = IsDeviceExist(argv[2]);
    } else if (std::strcmp(operation, "IsDeviceExistInstalled") == 0 && argc == 3) {
        int found = -1;
        result = IsDeviceExistInstalled(argv[2], &found) ? found : -1;
    } else if (std::strcmp(operation, "InstallDriver") == 0 && argc == 4) {
        int reboot = 0;
        result = InstallDriver(argv[2], argv[3], &reboot);
    } else if (std::strcmp(operation, "InstallCertificate") == 0 && argc == 2) {
        result = InstallCertificate();
    } else if (std::strcmp(operation, "KillBoardkitAPTimer") == 0 && argc == 3) {
        result = KillBoardkitAPTimer(std::atoi(argv[2]));
    } else if (std::strcmp(operation, "RemoveConfigurationByDeviceNum") == 0 && argc == 3) {
        result = RemoveConfigurationByDeviceNum(static_cast<uint32_t>(std::atoi(argv[2])));
    } else {
        std::fprintf(stderr, "dll_caller: %s with %d arguments is not offered\n", operation,
                     argc - 2);
        return 3;
    }
    std::printf("%s -> %lld\n", operation, result);
    return 0;
}

// The floor that whole-process timings are read against: a run of the same platform that
// loads the machine image and changes nothing (`floor load`), or changes one registry value so
// that the exit saves a new generation (`floor change`).
#include <cstdio>
#include <cstring>

#include "machine.h"
#include "platform/win32.h"

int main(int argc, char** argv) {
    const bool change = argc == 2 && std::strcmp(argv[1], "change") == 0;
    if (argc != 2 || (!change && std::strcmp(argv[1], "load") != 0)) {
        std::fprintf(stderr, "usage: bk_floor load|change\n");
        return 2;
    }
    HKEY key = nullptr;
    // Only the change run may create its key: creating it is a change, and the load run must
    // not save a generation even on an image that lacks the key.
    const LONG opened = change ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\BenchMark", 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                               : RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
        return 1;
    }
    if (change) {
        DWORD value = 1;
        RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }
    RegCloseKey(key);
    return 0;
}

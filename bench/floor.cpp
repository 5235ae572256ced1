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
    const REGSAM access = change ? KEY_ALL_ACCESS : KEY_READ;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\BenchMark", 0, nullptr, 0, access, nullptr,
                        &key, nullptr) != ERROR_SUCCESS &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
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

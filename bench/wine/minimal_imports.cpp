// The same one-line program, importing the system libraries that boardkit.exe imports (read
// from its import table: advapi32, crypt32, setupapi, user32), so that a start can be split into
// what the libraries cost and what the program adds.
#include <cstdio>

#include "platform/win32.h"

int main(int argc, char** argv) {
    std::puts("minimal with imports");
    // Never true; the calls only make the linker import each library.
    if (argc > 1000) {
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[0], 0, KEY_READ, &key);
        CertCloseStore(nullptr, 0);
        SetupDiDestroyDeviceInfoList(nullptr);
        MessageBoxA(nullptr, argv[0], argv[0], MB_OK);
    }
    return 0;
}

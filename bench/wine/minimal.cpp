// The floor of a start under Wine: a program that writes one line and ends, linked like
// boardkit.exe (static run-time) but importing no system library beyond the C run-time's.
#include <cstdio>

int main() {
    std::puts("minimal");
    return 0;
}

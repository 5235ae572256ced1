// The device installer library newdev.dll (newdev.h). Programs load it at run time with
// LoadLibraryA("newdev.dll") and GetProcAddress, taking the entry point's type from the
// declaration below (decltype(&UpdateDriverForPlugAndPlayDevicesA)).
#pragma once
#include "simwin/base.h"
#include "simwin/setupapi.h"

#define INSTALLFLAG_FORCE 0x00000001
#define INSTALLFLAG_READONLY 0x00000002
#define INSTALLFLAG_NONINTERACTIVE 0x00000004
#define INSTALLFLAG_BITS 0x00000007

extern "C" {
// Installs the INF's driver on every present device that has the hardware ID; FALSE with the
// last error on failure. *bRebootRequired becomes TRUE when a file could not be replaced now.
BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND hwndParent, LPCSTR HardwareId,
                                               LPCSTR FullInfPath, DWORD InstallFlags,
                                               PBOOL bRebootRequired);
}

extern "C" {
// Installs the driver selected for the set's selected device (SetupDiSetSelectedDevice,
// SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV)); *Reboot becomes nonzero when a file could
// not be replaced now. The MinGW headers do not declare it; programs type the pointer themselves.
BOOL WINAPI InstallSelectedDriver(HWND hwndParent, HDEVINFO DeviceInfoSet, LPCWSTR Reserved,
                                  BOOL Backup, PDWORD Reboot);
}

// Installing and updating drivers on present plug-and-play devices through the system's device
// installer. The exported operations are declared in boardkit/operations.h.
#pragma once
#include <cstdint>

// UpdateDriver on the INF file with the hardware ID "DEMO": the demo device's update.
int32_t UpdateDemoDriver(char* infFile);

// Installs the package on every present device that has the hardware ID, through newdev.dll's
// UpdateDriverForPlugAndPlayDevicesA with INSTALLFLAG_FORCE and no parent window. Returns 0 on
// success, else the error of the step that failed: loading newdev.dll, finding its entry point
// (so a machine without the installer is never reported as updated) or the installer call.
// `rebootRequired` (may be null) gets the installer's reboot flag, 1 or 0, only when the
// installer was called; otherwise it keeps what it held.
uint32_t RunDeviceInstaller(const char* infFile, const char* hardwareId, int* rebootRequired);

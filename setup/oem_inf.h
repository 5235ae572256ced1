// The OEM INF copies of the system's INF folder and the pre-install records under TOLVANPRE:
// the routines that the update, the lists and the uninstall share.
#pragma once
#include <cstdint>

// Writes into `kernelKey` (a caller's zero-filled buffer of MAX_PATH characters) the kernel
// key of the first catalog row whose INF file name occurs in the path; leaves it unchanged
// when no row matches.
void KernelKeyOfInf(char* infPath, char* kernelKey);

// Finds the OEM INF copy of the package of the first catalog row whose kernel key contains the
// given one; writes its file name (oem<N>.inf, MAX_PATH characters) into `oemFile`. False for
// an empty key, a key no row contains, or when no copy carries the row's hardware ID.
bool FindOemInfForKernelKey(char* kernelKey, char* oemFile);

// Removes the OEM INF copies of the kernel key's package one after the other, until none is
// left or one cannot be removed (a copy that stays would be found again and again).
void RemoveOemInfCopies(char* kernelKey);

// The first oem*.inf of the INF folder whose text contains `hardwareId` exactly as given
// (case-sensitive); writes its file name into `oemFile` (MAX_PATH characters).
bool FindOemInfByHardwareId(char* oemFile, char* hardwareId);

// PresentDevice: the board has a device entry, so its package's record goes. NoDevice: the
// package was staged without one, so it gets a record unless it has one.
enum class PreinstallMode { PresentDevice, NoDevice };

// Updates the pre-install record of the INF's package. Failures are not reported.
void UpdatePreinstallRecord(char* infPath, PreinstallMode mode);

// The pre-install records' key below HKEY_LOCAL_MACHINE.
extern const char* const kPreinstallKeyPath;

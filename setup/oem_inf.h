// The OEM INF copies of the system's INF folder and the pre-install records under TOLVANPRE:
// the routines that the update, the lists and the uninstall share.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/unique.h"
#include "platform/win32.h"

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

// Deletes the pre-install record of the kernel key's package: the registry's answer, 2 when
// no catalog row has the key (as given), or 0xE0000017 when the services key cannot be opened.
int32_t RemovePreinstallRecord(const char* kernelKey);

// The pre-install records' key, TOLVANPRE below the services key of HKEY_LOCAL_MACHINE.
extern const char* const kServicesKeyPath;
extern const char* const kPreinstallKeyName;

// Opens the pre-install records' key with KEY_ALL_ACCESS; false when it does not open.
bool OpenPreinstallKey(platform::UniqueHKey& key);

// A package's record is named after its INF file name without the last five characters
// ("s.inf"); a name of five characters or fewer leaves nothing to name it by ("").
std::string PreinstallRecordName(std::string_view infFileName);

// How a walk over the records ended.
enum class PreinstallWalkEnd { Stopped, Exhausted, Failed };

// Visits the records of the open key in enumeration order with name, type and data (ended
// inside its buffer even when stored without a terminator). A record whose name or data is
// too long for a record (260 characters) is no record of ours and is passed over; any other
// enumeration error ends the walk as Failed. The visitor returns true to stop.
PreinstallWalkEnd ForEachPreinstallRecord(
    HKEY key,
    const std::function<bool(std::string_view name, DWORD type, const char* data)>& visit);

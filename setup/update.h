// The update orchestration: bring a board's driver to a new package version, whatever its bus
// and whether the board is plugged in. UpdateNewDriver is declared in boardkit/operations.h.
#pragma once
#include <cstdint>

#include "platform/win32.h"

// CONFIGFLAG_REINSTALL (regstr.h, which windows.h does not bring in): the system installs the
// newest staged package for the entry when its board is next attached.
constexpr DWORD kConfigFlagReinstall = 0x00000020;

// The absent board's answer when its device entries cannot be listed.
constexpr int32_t kNoDeviceList = static_cast<int32_t>(0xE0000017);

// Removes every OEM INF copy of the kernel key's package, one after the other; ends at the
// first copy that cannot be removed. Returns how many copies were removed.
unsigned RemoveOldInfCopies(char* kernelKey);

enum class Staging { Staged, FirstCopyFailed, ReplaceFailed };

// Stages the package into the driver store, replacing an identical one already staged.
// `error` gets ERROR_SUCCESS, or the error of the copy that failed.
Staging StagePackage(const char* infFile, DWORD& error);

// Sets the reinstall flag on every remembered entry of an absent board whose first hardware
// ID, upper-cased, contains `hardwareId`. False when the entries cannot be listed, or not to
// their end; `seen` tells whether any entry of the board exists, attached or not.
bool MarkEntriesForReinstall(const char* hardwareId, bool& seen);

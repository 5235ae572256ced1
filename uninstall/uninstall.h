// What the uninstall operations read besides the store and the device scan: the INF copy a
// device was installed from (all three) and a record by device number (the demo uninstall). The
// exported operations (UninstallDriver, DeleteDriverFile, RemoveDevice, Uninstall,
// UninstallNonePnpDriver) are declared in boardkit/operations.h.
#pragma once
#include <cstdint>

#include "catalog/results.h"
#include "platform/unique.h"
#include "platform/win32.h"

// Writes into `infName` (MAX_PATH characters) the InfPath of the device's driver key: the
// OEM INF copy's file name. False when the key or the value cannot be read, or the value does
// not fit; `infName` is then left as it was.
bool GetDeviceInfPath(HDEVINFO set, SP_DEVINFO_DATA* device, char* infName);

// Opens record `deviceNumber` ("Device" and digits) with KEY_ALL_ACCESS into `record`: 0,
// kResultNoSuchRecord (no such record, or no store), or kResultNotFound (it cannot be opened).
uint32_t OpenDeviceRecord(int32_t deviceNumber, platform::UniqueHKey& record);

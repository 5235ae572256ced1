// What every scan of a device information set shares: the board device class and the one
// reading loop over the devices' hardware-ID lists.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "platform/win32.h"

// The device setup class of the maker's boards.
extern const GUID kBoardDeviceClassGuid;

// How a scan of a device information set ended.
enum class DeviceScanEnd {
    Stopped,    // the visitor asked to stop
    Exhausted,  // every device was visited
    Failed,     // a call failed with an error the scan does not handle
};

// Visits the devices of `set` in enumeration order with each one's hardware-ID list (strings
// ended by NUL, the list ended by an empty string). A device without hardware IDs is passed
// over; any other failed read, or a failed enumeration other than the end of the set, ends
// the scan. The visitor returns true to stop. The property buffer is released on every path.
DeviceScanEnd ForEachDeviceHardwareIds(
    HDEVINFO set, const std::function<bool(SP_DEVINFO_DATA& device, const char* ids)>& visit);

// The first string of a hardware-ID list ("" for an empty list).
inline std::string_view FirstHardwareId(const char* ids) {
    return ids == nullptr ? std::string_view() : std::string_view(ids);
}

// Calls `visit` for every string of the list in order until it returns true; true if it did.
bool AnyHardwareId(const char* ids, const std::function<bool(std::string_view id)>& visit);

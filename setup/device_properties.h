// What every scan of a device information set shares: the board device class, the one reader
// of a device property into a growing buffer, and the one reading loop over the devices'
// hardware-ID lists.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "platform/unique.h"
#include "platform/win32.h"

// The device setup class of the maker's boards.
extern const GUID kBoardDeviceClassGuid;

// The buffer a device property is read into. It grows to the size the last read asked for
// and may be reused for the next device. Two spare zero bytes stay past the size handed to
// SetupAPI, so a text or list stored without its terminators still ends inside the buffer.
struct DevicePropertyBuffer {
    platform::UniqueLocal memory;
    DWORD size = 0;
    const char* text() const { return static_cast<const char*>(memory.get()); }
};

enum class PropertyRead {
    Read,        // the property is in the buffer
    Missing,     // the device has no such property, or it is empty and nothing was allocated
    Unreadable,  // the read failed otherwise, or the property is longer than the limit allows
    NoBuffer,    // the buffer could not be grown, which says nothing about the device
};

// Reads `property` of the device into `buffer`, growing it to the size SetupAPI asks for.
// `limit` is the most bytes the property may take; 0 lets the buffer grow to any size.
PropertyRead ReadDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, DWORD limit,
                                DevicePropertyBuffer& buffer);

// How a scan of a device information set ended.
enum class DeviceScanEnd {
    Stopped,    // the visitor asked to stop
    Exhausted,  // every device was visited
    Failed,     // a call failed with an error the scan does not handle
};

// What a scan does with a device whose hardware-ID list cannot be read: a read that fails for
// any reason other than a missing list, or a list longer than the scan's buffer allows.
enum class UnreadableIds {
    EndScan,     // the scan ends as Failed
    SkipDevice,  // the device is passed over like one without a list
};

// Each scan's own rule for reading the lists; every caller states it.
struct HardwareIdReading {
    UnreadableIds unreadable;
    DWORD bufferLimit;  // the most bytes a list may take; 0: the buffer grows to any size
};

// Visits the devices of `set` in enumeration order with each one's hardware-ID list (strings
// ended by NUL, the list ended by an empty string). A device without hardware IDs is passed
// over; one whose list cannot be read ends the scan or is passed over, as `reading` says; a
// failed enumeration other than the end of the set, or a buffer that cannot be allocated, ends
// the scan whatever the rule. The visitor returns true to stop. The property buffer is
// released on every path.
DeviceScanEnd ForEachDeviceHardwareIds(
    HDEVINFO set, const HardwareIdReading& reading,
    const std::function<bool(SP_DEVINFO_DATA& device, const char* ids)>& visit);

// The first string of a hardware-ID list ("" for an empty list).
inline std::string_view FirstHardwareId(const char* ids) {
    return ids == nullptr ? std::string_view() : std::string_view(ids);
}

// Calls `visit` for every string of the list in order until it returns true; true if it did.
bool AnyHardwareId(const char* ids, const std::function<bool(std::string_view id)>& visit);

// The device property reader and the hardware-ID reading loop shared by every SetupAPI scan
// of the program.
#include "setup/device_properties.h"

#include <cstring>

const GUID kBoardDeviceClassGuid = {
    0x3D5A1C7E, 0x94B2, 0x4F08, {0xA6, 0xC3, 0x1E, 0x7D, 0x2B, 0x9F, 0x50, 0x48}};

namespace {

bool Grow(DevicePropertyBuffer& buffer, DWORD required) {
    buffer.memory.reset();
    buffer.size = 0;
    buffer.memory.reset(LocalAlloc(LPTR, static_cast<SIZE_T>(required) + 2));
    if (!buffer.memory) {
        return false;
    }
    buffer.size = required;
    return true;
}

}  // namespace

PropertyRead ReadDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, DWORD limit,
                                DevicePropertyBuffer& buffer) {
    for (;;) {
        DWORD required = 0;
        if (buffer.memory) {
            std::memset(buffer.memory.get(), 0, static_cast<size_t>(buffer.size) + 2);
        }
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, property, nullptr,
                                              static_cast<BYTE*>(buffer.memory.get()), buffer.size,
                                              &required)) {
            return buffer.memory ? PropertyRead::Read : PropertyRead::Missing;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_DATA) {
            return PropertyRead::Missing;
        }
        // A size that does not grow would ask the same question forever; a property past the
        // caller's limit would not fit the buffer that caller reads into.
        if (error != ERROR_INSUFFICIENT_BUFFER || required <= buffer.size ||
            (limit != 0 && required > limit)) {
            return PropertyRead::Unreadable;
        }
        if (!Grow(buffer, required)) {
            return PropertyRead::NoBuffer;
        }
    }
}

DeviceScanEnd ForEachDeviceHardwareIds(
    HDEVINFO set, const HardwareIdReading& reading,
    const std::function<bool(SP_DEVINFO_DATA& device, const char* ids)>& visit) {
    DevicePropertyBuffer buffer;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            return GetLastError() == ERROR_NO_MORE_ITEMS ? DeviceScanEnd::Exhausted
                                                         : DeviceScanEnd::Failed;
        }
        switch (ReadDeviceProperty(set, device, SPDRP_HARDWAREID, reading.bufferLimit, buffer)) {
            case PropertyRead::Missing:
                continue;
            case PropertyRead::Unreadable:
                if (reading.unreadable == UnreadableIds::SkipDevice) {
                    continue;
                }
                return DeviceScanEnd::Failed;
            case PropertyRead::NoBuffer:
                return DeviceScanEnd::Failed;
            case PropertyRead::Read:
                break;
        }
        if (visit(device, buffer.text())) {
            return DeviceScanEnd::Stopped;
        }
    }
}

bool AnyHardwareId(const char* ids, const std::function<bool(std::string_view id)>& visit) {
    if (ids == nullptr) {
        return false;
    }
    for (const char* id = ids; *id != '\0'; id += std::strlen(id) + 1) {
        if (visit(id)) {
            return true;
        }
    }
    return false;
}

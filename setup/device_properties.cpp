// The hardware-ID reading loop shared by every SetupAPI scan of the program.
#include "setup/device_properties.h"

#include <cstring>

#include "platform/unique.h"

const GUID kBoardDeviceClassGuid = {
    0x3D5A1C7E, 0x94B2, 0x4F08, {0xA6, 0xC3, 0x1E, 0x7D, 0x2B, 0x9F, 0x50, 0x48}};

namespace {

// Unreadable: the device's list cannot be read or does not fit; NoBuffer: the scan's own buffer
// cannot be allocated, which says nothing about the device.
enum class ReadResult { Read, NoIds, Unreadable, NoBuffer };

// The buffer a device's list is read into; it grows to the size the last call asked for and
// is reused for the next device. Two spare zero bytes stay past the size handed to SetupAPI,
// so a list stored without its terminators still ends inside the buffer.
struct PropertyBuffer {
    platform::UniqueLocal memory;
    DWORD size = 0;

    bool Grow(DWORD required) {
        memory.reset();
        size = 0;
        memory.reset(LocalAlloc(LPTR, static_cast<SIZE_T>(required) + 2));
        if (!memory) {
            return false;
        }
        size = required;
        return true;
    }
    BYTE* bytes() const { return static_cast<BYTE*>(memory.get()); }
};

ReadResult ReadHardwareIds(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD limit,
                           PropertyBuffer& buffer) {
    for (;;) {
        DWORD required = 0;
        if (buffer.memory) {
            std::memset(buffer.bytes(), 0, static_cast<size_t>(buffer.size) + 2);
        }
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                              buffer.bytes(), buffer.size, &required)) {
            return buffer.memory ? ReadResult::Read : ReadResult::NoIds;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_DATA) {
            return ReadResult::NoIds;
        }
        // A size that does not grow would ask the same question forever; a list past the
        // scan's limit would not fit the buffer that scan reads into.
        if (error != ERROR_INSUFFICIENT_BUFFER || required <= buffer.size ||
            (limit != 0 && required > limit)) {
            return ReadResult::Unreadable;
        }
        if (!buffer.Grow(required)) {
            return ReadResult::NoBuffer;
        }
    }
}

}  // namespace

DeviceScanEnd ForEachDeviceHardwareIds(
    HDEVINFO set, const HardwareIdReading& reading,
    const std::function<bool(SP_DEVINFO_DATA& device, const char* ids)>& visit) {
    PropertyBuffer buffer;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) {
            return GetLastError() == ERROR_NO_MORE_ITEMS ? DeviceScanEnd::Exhausted
                                                         : DeviceScanEnd::Failed;
        }
        switch (ReadHardwareIds(set, device, reading.bufferLimit, buffer)) {
            case ReadResult::NoIds:
                continue;
            case ReadResult::Unreadable:
                if (reading.unreadable == UnreadableIds::SkipDevice) {
                    continue;
                }
                return DeviceScanEnd::Failed;
            case ReadResult::NoBuffer:
                return DeviceScanEnd::Failed;
            case ReadResult::Read:
                break;
        }
        if (visit(device, reinterpret_cast<const char*>(buffer.bytes()))) {
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

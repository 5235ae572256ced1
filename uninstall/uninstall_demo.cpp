// Uninstall: removal of demo devices with their records, by device number or all at once, and
// OpenDeviceRecord, by which it finds a record from the number its name carries.
#include <cstdio>
#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "catalog/numbers.h"
#include "config/store.h"
#include "setup/device_properties.h"
#include "uninstall/uninstall.h"
#include "platform/last_error.h"

namespace {

constexpr int32_t kNoRecord = -1;
// A device whose hardware IDs cannot be read is no demo device this walk can see: passed over.
constexpr HardwareIdReading kDemoDeviceReading{UnreadableIds::SkipDevice, 0};

// What the walk over present devices learned.
struct WalkState {
    bool all = false;
    std::string boardText;  // single mode: the record's board number as its device carries it
    int32_t deviceNumber = kNoRecord;
    bool matched = false;      // single mode: the record's device was found
    bool attempted = false;    // a removal was tried
    bool lastRemoved = false;  // the last removal tried succeeded
    DWORD removalError = ERROR_SUCCESS;
};

bool ReadRecordValue(int32_t deviceNumber, const char* valueName, uint32_t& value,
                     uint32_t& error) {
    platform::UniqueHKey record;
    error = OpenDeviceRecord(deviceNumber, record);
    if (error != 0) {
        return false;
    }
    if (!ReadRecordNumber(record.get(), valueName, value)) {
        error = kResultNotFound;
        return false;
    }
    return true;
}

// The first string of a device's location information; false when it cannot be read.
bool LocationText(HDEVINFO set, SP_DEVINFO_DATA& device, std::string& text) {
    DevicePropertyBuffer buffer;
    if (ReadDeviceProperty(set, device, SPDRP_LOCATION_INFORMATION, 0, buffer) !=
        PropertyRead::Read) {
        return false;
    }
    text.assign(buffer.text());
    return true;
}

// The leading decimal digits of a location text; false when it starts with none, so that a
// location such as "Root" never stands for board 0.
bool BoardNumberOf(const std::string& text, uint32_t& number) {
    std::size_t length = 0;
    return LeadingDecimal(text, number, length);
}

// The first demo record (ProductID 0) whose BoardID is the number; the scan ends at the
// first record whose values cannot be read.
int32_t DemoRecordOfBoard(uint32_t boardNumber) {
    int32_t found = kNoRecord;
    ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        if (!BeginsWithDe(record.name)) {
            return RecordScanStep::Continue;
        }
        uint32_t board = 0;
        uint32_t product = 0;
        if (!ReadRecordNumber(record.key, "BoardID", board) ||
            !ReadRecordNumber(record.key, "ProductID", product)) {
            return RecordScanStep::Stop;
        }
        if (record.numbered && product == 0 && board == boardNumber &&
            record.deviceNumber <= 0x7FFFFFFFu) {
            found = static_cast<int32_t>(record.deviceNumber);
            return RecordScanStep::Stop;
        }
        return RecordScanStep::Continue;
    });
    return found;
}

// The map entry goes only with its record, so a record that stays keeps its entry.
void DeleteRecordAndEntry(int32_t deviceNumber) {
    if (deviceNumber >= 0) {
        DeleteConfigurationKey(static_cast<uint32_t>(deviceNumber), MapEntry::DeleteWithRecord);
    }
}

void RemoveDemoDevice(HDEVINFO set, SP_DEVINFO_DATA& device, int32_t deviceNumber,
                      WalkState& state) {
    char infName[MAX_PATH] = {};
    const bool haveInf = GetDeviceInfPath(set, &device, infName);
    state.attempted = true;
    if (!SetupDiRemoveDevice(set, &device)) {
        state.removalError = platform::LastErrorOr(ERROR_GEN_FAILURE);
        state.lastRemoved = false;
        return;
    }
    state.lastRemoved = true;
    DeleteRecordAndEntry(deviceNumber);
    // The driver store takes the copy's file name, not its path.
    if (haveInf) {
        DeleteOemInfFile(infName);
    }
}

// Visits one device of the walk; true ends the walk.
bool VisitDevice(HDEVINFO set, SP_DEVINFO_DATA& device, const char* ids, WalkState& state) {
    if (std::strcmp(FirstHardwareId(ids).data(), "DEMO") != 0) {
        return false;
    }
    std::string location;
    const bool located = LocationText(set, device, location);
    if (!state.all) {
        if (!located || location != state.boardText) {
            return false;
        }
        state.matched = true;
        RemoveDemoDevice(set, device, state.deviceNumber, state);
        return true;
    }
    uint32_t board = 0;
    const int32_t record =
        located && BoardNumberOf(location, board) ? DemoRecordOfBoard(board) : kNoRecord;
    RemoveDemoDevice(set, device, record, state);
    return false;
}

}  // namespace

uint32_t OpenDeviceRecord(int32_t deviceNumber, platform::UniqueHKey& record) {
    if (deviceNumber < 0) {
        return kResultNoSuchRecord;
    }
    // Only the wanted record is opened: another subkey that cannot be opened is no reason to
    // miss it.
    uint32_t result = kResultNoSuchRecord;
    ForEachConfigurationName([&](ConfigurationRecord& visited) {
        if (!visited.numbered || visited.deviceNumber != static_cast<uint32_t>(deviceNumber)) {
            return RecordScanStep::Continue;
        }
        result =
            OpenRecord(visited.root, visited.name, record) == ERROR_SUCCESS ? 0 : kResultNotFound;
        return RecordScanStep::Stop;
    });
    return result;
}

uint32_t Uninstall(int32_t deviceNumber) BOARDKIT_NOEXCEPT {
    WalkState state;
    state.all = deviceNumber < 0;
    if (!state.all) {
        uint32_t product = 0;
        uint32_t board = 0;
        uint32_t error = 0;
        if (!ReadRecordValue(deviceNumber, "ProductID", product, error)) {
            return error;
        }
        if (product != 0) {
            return kResultNotDemoRecord;
        }
        if (!ReadRecordValue(deviceNumber, "BoardID", board, error)) {
            return error;
        }
        char text[16] = {};
        std::snprintf(text, sizeof text, "%03d", static_cast<int>(board));
        state.boardText = text;
        state.deviceNumber = deviceNumber;
    }
    DWORD endError = ERROR_SUCCESS;
    platform::UniqueDevInfo set(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set) {
        endError = GetLastError();
    } else {
        const DeviceScanEnd end = ForEachDeviceHardwareIds(
            set.get(), kDemoDeviceReading, [&](SP_DEVINFO_DATA& device, const char* ids) {
                return VisitDevice(set.get(), device, ids, state);
            });
        if (end != DeviceScanEnd::Stopped) {
            endError = GetLastError();
        }
    }
    if (!state.all && !state.matched) {
        return kResultNoSuchRecord;
    }
    if (state.attempted) {
        return state.lastRemoved ? 0 : state.removalError;
    }
    // No demo device at all: the error that ended the walk, never a success.
    return endError != ERROR_SUCCESS ? endError : ERROR_NO_MORE_ITEMS;
}

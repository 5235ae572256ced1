// From a configuration record to the present device it describes.
#include <cstring>
#include <string>

#include "catalog/catalog.h"
#include "catalog/numbers.h"
#include "catalog/text.h"
#include "config/store.h"
#include "setup/device_properties.h"

namespace {

// What a missing identifying value reads as; no location or port of a real board carries it.
constexpr uint32_t kMissingValue = 0xFFFFFFFF;
constexpr DWORD kLocationSize = MAX_PATH;
// The lists are read into 4096 bytes; a device whose list cannot be read, or does not fit,
// is passed over and the search goes on.
constexpr HardwareIdReading kCandidateReading{UnreadableIds::SkipDevice, 4096};

enum class Family { Pci, Usb, Isa, Demo };

Family FamilyOf(const CatalogEntry& row) {
    const std::string bus = row.busType == nullptr ? std::string() : row.busType;
    if (bus == "USB") {
        return Family::Usb;
    }
    if (bus == "ISA") {
        return Family::Isa;
    }
    if (bus == "DEMO") {
        return Family::Demo;
    }
    // "PCI" and every other bus type (the PCI Express rows) are told apart by bus and slot.
    return Family::Pci;
}

// The values of the record that pick its board among the present boards of its model.
struct RecordIdentity {
    Family family = Family::Pci;
    uint32_t first = kMissingValue;   // BusNumber, BaseAddress or BoardID
    uint32_t second = kMissingValue;  // SlotNumber
};

bool ReadRecordNumberOf(uint32_t deviceNumber, const char* valueName, uint32_t& value) {
    platform::UniqueHKey root;
    platform::UniqueHKey record;
    return OpenConfigurationRoot(root) &&
           OpenRecord(root.get(), deviceNumber, record) == ERROR_SUCCESS &&
           ReadRecordNumber(record.get(), valueName, value);
}

RecordIdentity ReadIdentity(uint32_t deviceNumber, const CatalogEntry& row) {
    RecordIdentity identity;
    identity.family = FamilyOf(row);
    switch (identity.family) {
        case Family::Pci:
            ReadRecordNumberOf(deviceNumber, "BusNumber", identity.first);
            ReadRecordNumberOf(deviceNumber, "SlotNumber", identity.second);
            break;
        case Family::Isa:
            ReadRecordNumberOf(deviceNumber, "BaseAddress", identity.first);
            break;
        case Family::Demo:
            ReadRecordNumberOf(deviceNumber, "BoardID", identity.first);
            break;
        case Family::Usb:
            break;
    }
    return identity;
}

bool ReadLocation(HDEVINFO set, SP_DEVINFO_DATA& device, std::string& location) {
    char text[kLocationSize + 1] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_LOCATION_INFORMATION, nullptr,
                                           reinterpret_cast<BYTE*>(text), kLocationSize, nullptr)) {
        return false;
    }
    location = text;
    return true;
}

// The number of the run of digits that `text` starts with, and the run's length; false when
// it does not fit below the value that stands for "missing".
bool RunValue(std::string_view text, uint32_t& value, std::size_t& length) {
    return LeadingDecimal(text, value, length) && value != kMissingValue;
}

// The first and second runs of decimal digits of a text ("PCI bus 3, device 4, function 0").
bool TwoDigitRuns(const std::string& text, uint32_t& first, uint32_t& second) {
    uint32_t values[2] = {};
    std::size_t found = 0;
    std::size_t at = text.find_first_of("0123456789");
    while (found < 2 && at != std::string::npos) {
        std::size_t length = 0;
        if (!RunValue(std::string_view(text).substr(at), values[found], length)) {
            return false;
        }
        ++found;
        at = text.find_first_of("0123456789", at + length);
    }
    if (found < 2) {
        return false;
    }
    first = values[0];
    second = values[1];
    return true;
}

// The number a location text starts with (a demo device's board number); false when it does
// not start with a digit.
bool LeadingNumber(const std::string& text, uint32_t& value) {
    std::size_t length = 0;
    return RunValue(text, value, length);
}

// The low half of the base of the node's first allocated I/O range, 0 when it cannot be read.
uint32_t AllocatedPortBase(LOG_CONF config) {
    RES_DES descriptor = 0;
    if (CM_Get_Next_Res_Des(&descriptor, config, ResType_IO, nullptr, 0) != CR_SUCCESS) {
        return 0;
    }
    IO_RESOURCE io;
    std::memset(&io, 0, sizeof io);
    uint32_t base = 0;
    if (CM_Get_Res_Des_Data(descriptor, &io, sizeof io, 0) == CR_SUCCESS) {
        base = static_cast<uint32_t>(io.IO_Header.IOD_Alloc_Base & 0xFFFFFFFFull);
    }
    CM_Free_Res_Des_Handle(descriptor);
    return base;
}

bool IsaMatches(const SP_DEVINFO_DATA& device, uint32_t baseAddress) {
    LOG_CONF config = 0;
    const CONFIGRET result = CM_Get_First_Log_Conf(&config, device.DevInst, ALLOC_LOG_CONF);
    // A disabled legacy board has no allocated configuration: it stands for any record of
    // its model, so that the record can enable it again.
    if (result == CR_NO_MORE_LOG_CONF) {
        return true;
    }
    uint32_t base = 0;
    if (result == CR_SUCCESS) {
        base = AllocatedPortBase(config);
        CM_Free_Log_Conf_Handle(config);
    }
    return base == baseAddress;
}

bool CandidateMatches(HDEVINFO set, SP_DEVINFO_DATA& device, const RecordIdentity& identity) {
    std::string location;
    uint32_t first = 0;
    uint32_t second = 0;
    switch (identity.family) {
        case Family::Usb:
            return true;
        case Family::Isa:
            return IsaMatches(device, identity.first);
        case Family::Pci:
            return ReadLocation(set, device, location) && TwoDigitRuns(location, first, second) &&
                   first == identity.first && second == identity.second;
        case Family::Demo:
            return ReadLocation(set, device, location) && LeadingNumber(location, first) &&
                   first == identity.first;
    }
    return false;
}

}  // namespace

uint32_t FindConfiguredDevice(uint32_t deviceNumber, platform::UniqueDevInfo& set,
                              SP_DEVINFO_DATA& device) {
    set.reset();
    uint32_t productId = 0;
    if (!ReadRecordNumberOf(deviceNumber, "ProductID", productId)) {
        return 0;
    }
    const CatalogEntry* row = CatalogFindByProductId(productId);
    if (row == nullptr) {
        return 0;
    }
    const RecordIdentity identity = ReadIdentity(deviceNumber, *row);
    const std::string key = UpperCase(row->hardwareId);

    platform::UniqueDevInfo devices(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!devices) {
        return kResultNotFound;
    }
    bool found = false;
    ForEachDeviceHardwareIds(
        devices.get(), kCandidateReading, [&](SP_DEVINFO_DATA& candidate, const char* ids) {
            const bool isCandidate = AnyHardwareId(
                ids, [&](std::string_view id) { return Contains(UpperCase(id), key); });
            if (!isCandidate || !CandidateMatches(devices.get(), candidate, identity)) {
                return false;
            }
            device = candidate;
            found = true;
            return true;
        });
    if (!found) {
        return kResultNotFound;
    }
    set = std::move(devices);
    return 0;
}

// Choosing and installing a driver for one element of a set: the selected device, the
// compatible-driver list of the one INF that the install parameters name, the class
// installer's choice of the best of them, and newdev's InstallSelectedDriver.
#include <cstring>
#include <map>
#include <optional>

#include "choke.h"
#include "driver_store.h"
#include "machine.h"
#include "setupapi_internal.h"
#include "sim/processes.h"
#include "simwin/newdev.h"

namespace sim {
namespace {

// One driver of a compatible-driver list: a model line of the INF.
struct DriverCandidate {
    std::string infPath;
    inf::Model model;
    std::string matchingId;
    size_t rank = 0;  // position of the matching ID among the device's IDs
    std::optional<inf::DriverVersion> version;
    std::string provider;
    std::string manufacturer;
};

struct ElementDrivers {
    bool built = false;
    std::vector<DriverCandidate> compatible;
    std::optional<size_t> selected;
};

// What a set knows of driver selection, kept beside the set: handles are never reused, so an
// entry of a destroyed set is never met again.
struct SetDrivers {
    std::optional<size_t> selectedDevice;       // element index
    std::map<size_t, ElementDrivers> elements;  // by element index
};

std::map<HDEVINFO, SetDrivers>& Selection() {
    static auto* table = new std::map<HDEVINFO, SetDrivers>;
    return *table;
}

// The element `data` names, its index and node; null with the last error set.
DevInfoElement* Resolve(HDEVINFO handle, const SP_DEVINFO_DATA* data, size_t& index,
                        DeviceNode*& node) {
    const Device device = GetDevice(handle, data);
    node = device.node;
    if (node == nullptr) {
        return nullptr;
    }
    index = data->Reserved - 1;
    return device.element;
}

// The manufacturer named by the [Manufacturer] line that leads to the model's section.
std::string ManufacturerOf(const inf::File& file) {
    const inf::Section* section = inf::FindSection(file, "Manufacturer");
    if (section == nullptr || section->lines.empty()) {
        return std::string();
    }
    const inf::Line& line = section->lines.front();
    return line.hasKey ? line.key : inf::Field(line, 0);
}

std::vector<DriverCandidate> CompatibleDrivers(const std::string& infPath, const DeviceNode& node) {
    std::vector<DriverCandidate> list;
    store::Package package;
    // An INF that cannot be read offers no drivers; the list is still built, empty.
    if (store::ReadPackage(infPath, package) != 0) {
        return list;
    }
    for (const inf::Model& model : inf::Models(package.inf)) {
        DriverCandidate candidate;
        if (store::BestModelForDevice({model}, node, candidate.rank, candidate.matchingId) ==
            nullptr) {
            continue;
        }
        candidate.infPath = infPath;
        candidate.model = model;
        candidate.version = inf::DriverVerOf(package.inf);
        candidate.provider = inf::Value(package.inf, "Version", "Provider").value_or("");
        candidate.manufacturer = ManufacturerOf(package.inf);
        list.push_back(std::move(candidate));
    }
    return list;
}

// Earliest matching ID first; for the same ID the newer DriverVer; then the INF's order.
bool Better(const DriverCandidate& a, const DriverCandidate& b) {
    if (a.rank != b.rank) {
        return a.rank < b.rank;
    }
    return a.version && (!b.version || inf::Compare(*a.version, *b.version) > 0);
}

void CopyText(char (&target)[LINE_LEN], const std::string& text) {
    const size_t length = text.size() < LINE_LEN ? text.size() : LINE_LEN - 1;
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

// Days and version packed as SP_DRVINFO_DATA_V2 carries them.
void FillDateAndVersion(const DriverCandidate& driver, SP_DRVINFO_DATA_V2_A& data) {
    data.DriverDate = FILETIME{};
    data.DriverVersion = 0;
    if (!driver.version) {
        return;
    }
    const inf::DriverVersion& v = *driver.version;
    data.DriverVersion = (DWORDLONG(v.parts[0]) << 48) | (DWORDLONG(v.parts[1]) << 32) |
                         (DWORDLONG(v.parts[2]) << 16) | DWORDLONG(v.parts[3]);
    // Days since 1601-01-01 from the civil date, then 100-ns units.
    long long y = v.year, m = v.month, d = v.day;
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long daysFrom1970 = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    const unsigned long long ticks =
        static_cast<unsigned long long>(daysFrom1970 + 134774) * 864000000000ULL;
    data.DriverDate.dwLowDateTime = static_cast<DWORD>(ticks);
    data.DriverDate.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

}  // namespace
}  // namespace sim

using sim::FailWith;

extern "C" {

BOOL WINAPI SetupDiSetSelectedDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
    sim::ApiCall call("SetupDiSetSelectedDevice",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    size_t index = 0;
    sim::DeviceNode* node = nullptr;
    if (sim::Resolve(DeviceInfoSet, DeviceInfoData, index, node) == nullptr) {
        return FALSE;
    }
    sim::Selection()[DeviceInfoSet].selectedDevice = index;
    return TRUE;
}

BOOL WINAPI SetupDiBuildDriverInfoList(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD DriverType) {
    sim::ApiCall call("SetupDiBuildDriverInfoList",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    if (DriverType != SPDIT_COMPATDRIVER && DriverType != SPDIT_CLASSDRIVER) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (DriverType == SPDIT_CLASSDRIVER) {
        sim::NotModelled("SetupDiBuildDriverInfoList", "SPDIT_CLASSDRIVER");
        return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    size_t index = 0;
    sim::DeviceNode* node = nullptr;
    sim::DevInfoElement* element = sim::Resolve(DeviceInfoSet, DeviceInfoData, index, node);
    if (element == nullptr) {
        return FALSE;
    }
    if ((element->install.flags & DI_ENUMSINGLEINF) == 0 || element->install.driverPath.empty()) {
        sim::NotModelled("SetupDiBuildDriverInfoList", "search of the INF folder");
        return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    sim::ElementDrivers& drivers = sim::Selection()[DeviceInfoSet].elements[index];
    if (!drivers.built) {
        drivers.compatible = sim::CompatibleDrivers(element->install.driverPath, *node);
        drivers.built = true;
    }
    return TRUE;
}

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
    sim::ApiCall call("SetupDiCallClassInstaller",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    if (InstallFunction != DIF_SELECTBESTCOMPATDRV) {
        sim::NotModelled("SetupDiCallClassInstaller",
                         "install function " + std::to_string(InstallFunction));
        return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    size_t index = 0;
    sim::DeviceNode* node = nullptr;
    if (sim::Resolve(DeviceInfoSet, DeviceInfoData, index, node) == nullptr) {
        return FALSE;
    }
    sim::ElementDrivers& drivers = sim::Selection()[DeviceInfoSet].elements[index];
    if (drivers.compatible.empty()) {
        return FailWith(ERROR_NO_COMPAT_DRIVERS);
    }
    size_t best = 0;
    for (size_t i = 1; i < drivers.compatible.size(); ++i) {
        if (sim::Better(drivers.compatible[i], drivers.compatible[best])) {
            best = i;
        }
    }
    drivers.selected = best;
    return TRUE;
}

BOOL WINAPI SetupDiGetSelectedDriverA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                      PSP_DRVINFO_DATA_A DriverInfoData) {
    sim::ApiCall call("SetupDiGetSelectedDriverA",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    if (DriverInfoData == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (DriverInfoData->cbSize != sizeof(SP_DRVINFO_DATA_V2_A) &&
        DriverInfoData->cbSize != sizeof(SP_DRVINFO_DATA_V1_A)) {
        return FailWith(ERROR_INVALID_USER_BUFFER);
    }
    size_t index = 0;
    sim::DeviceNode* node = nullptr;
    if (sim::Resolve(DeviceInfoSet, DeviceInfoData, index, node) == nullptr) {
        return FALSE;
    }
    const sim::ElementDrivers& drivers = sim::Selection()[DeviceInfoSet].elements[index];
    if (!drivers.selected) {
        return FailWith(ERROR_NO_DRIVER_SELECTED);
    }
    const sim::DriverCandidate& driver = drivers.compatible[*drivers.selected];
    DriverInfoData->DriverType = SPDIT_COMPATDRIVER;
    DriverInfoData->Reserved = *drivers.selected + 1;
    sim::CopyText(DriverInfoData->Description, driver.model.description);
    sim::CopyText(DriverInfoData->MfgName, driver.manufacturer);
    sim::CopyText(DriverInfoData->ProviderName, driver.provider);
    if (DriverInfoData->cbSize == sizeof(SP_DRVINFO_DATA_V2_A)) {
        sim::FillDateAndVersion(driver, *DriverInfoData);
    }
    return TRUE;
}

BOOL WINAPI InstallSelectedDriver(HWND hwndParent, HDEVINFO DeviceInfoSet, LPCWSTR Reserved,
                                  BOOL Backup, PDWORD Reboot) {
    (void)hwndParent;  // the simulated installer shows no user interface
    (void)Reserved;
    (void)Backup;  // nothing of the old driver is kept aside
    sim::ApiCall call("InstallSelectedDriver");
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    sim::DeviceInfoSet* set = sim::FindInfoSet(DeviceInfoSet);
    if (set == nullptr) {
        return FALSE;
    }
    sim::SetDrivers& selection = sim::Selection()[DeviceInfoSet];
    if (!selection.selectedDevice || *selection.selectedDevice >= set->elements.size()) {
        return FailWith(ERROR_NO_DEVICE_SELECTED);
    }
    sim::DeviceNode* node = sim::ElementNode(set->elements[*selection.selectedDevice]);
    if (node == nullptr) {
        return FALSE;
    }
    const sim::ElementDrivers& drivers = selection.elements[*selection.selectedDevice];
    if (!drivers.selected) {
        return FailWith(ERROR_NO_DRIVER_SELECTED);
    }
    if (!sim::Settings().elevated) {
        return FailWith(ERROR_ACCESS_DENIED);
    }
    // As newdev's other installer, its progress window dispatches the caller's messages.
    sim::PumpTimers(1000);
    const sim::DriverCandidate& driver = drivers.compatible[*drivers.selected];
    sim::store::Package package;
    DWORD error = sim::store::ReadPackage(driver.infPath, package);
    bool reboot = false;
    if (error == 0) {
        error = sim::store::InstallModel(*node, package, driver.model, driver.matchingId, reboot);
    }
    sim::Journal("InstallSelectedDriver", node->instanceId + ", " + driver.infPath,
                 static_cast<long long>(error));
    if (error != 0) {
        return FailWith(error);
    }
    if (Reboot != nullptr) {
        *Reboot = reboot ? 1 : 0;
    }
    return TRUE;
}

}  // extern "C"

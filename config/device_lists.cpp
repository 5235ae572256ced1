// The installed, pre-installed and driverless device lists.
#include "config/device_lists.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "boardkit/operations.h"
#include "catalog/text.h"
#include "config/store.h"
#include "platform/unique.h"
#include "platform/win32.h"
#include "setup/device_properties.h"
#include "setup/oem_inf.h"

namespace {

constexpr uint32_t kListWritten = 1;
constexpr uint32_t kDriverlessListWritten = 0;
// A device whose hardware IDs cannot be read ends the driverless list without a file.
constexpr HardwareIdReading kDriverlessListReading{UnreadableIds::EndScan, 0};

// A failure result must never read as "written": callers map exactly that value to yes.
uint32_t FailureResult(DWORD error, uint32_t writtenValue) {
    return (error == 0 || error == writtenValue) ? ERROR_GEN_FAILURE : error;
}

uint32_t WriteOrReport(const char* operation, const char* path, const DeviceList& list,
                       uint32_t writtenValue) {
    if (WriteDeviceList(path, list)) {
        return writtenValue;
    }
    const DWORD error = GetLastError();
    std::printf("\n%s: the list file %s cannot be written (error %lu); no list written\n",
                operation, path == nullptr ? "(none)" : path, static_cast<unsigned long>(error));
    return FailureResult(error, writtenValue);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The problem number of a device, false when its status cannot be read.
bool ProblemOf(DEVINST node, ULONG& problem) {
    ULONG status = 0;
    return CM_Get_DevNode_Status(&status, &problem, node, 0) == CR_SUCCESS;
}

void AppendDriverlessRow(const SP_DEVINFO_DATA& device, const char* ids, DeviceList& list) {
    const std::string id = UpperCase(FirstHardwareId(ids));
    for (const CatalogEntry* row = CatalogFindByDeviceHardwareIdPrefix(id.c_str()); row != nullptr;
         row = CatalogFindNextByDeviceHardwareIdPrefix(id.c_str(), row)) {
        ULONG problem = 0;
        if (!ProblemOf(device.DevInst, problem)) {
            return;
        }
        if (problem != 0) {
            list.push_back(row);
            return;
        }
    }
}

}  // namespace

std::string DeviceListLine(const CatalogEntry& row) {
    return std::to_string(row.productId) + "," + row.model + "," + row.infRelativePath + "," +
           row.hardwareId + "," + row.userDll + "," + row.kernelDriver;
}

void AppendPreinstalledRows(DeviceList& list) {
    platform::UniqueHKey key;
    if (!OpenPreinstallKey(key)) {
        return;
    }
    // Any value counts, whatever its type; the walk ends at the first error it cannot pass.
    ForEachPreinstallRecord(key.get(), [&](std::string_view, DWORD, const char* data) {
        const CatalogEntry* row = CatalogFindByStoredInfFileName(UpperCase(data).c_str());
        if (row != nullptr && std::find(list.begin(), list.end(), row) == list.end()) {
            list.push_back(row);
        }
        return false;
    });
}

bool WriteDeviceList(const char* path, const DeviceList& list) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    platform::UniqueFile file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::string bytes;
    for (const CatalogEntry* row : list) {
        // The lines end as a text-mode C stream writes them, on every platform.
        bytes += DeviceListLine(*row) + "\r\n";
    }
    if (!WriteAll(file.get(), bytes)) {
        const DWORD error = GetLastError();
        file.reset();
        DeleteFileA(path);
        SetLastError(error);
        return false;
    }
    return true;
}

uint32_t GetDeviceInstalledList(char* path) BOARDKIT_NOEXCEPT {
    std::printf("\n%s", path == nullptr ? "" : path);
    DeviceList list;
    const uint32_t scanned = ForEachConfigurationRecord([&](ConfigurationRecord& record) {
        uint32_t productId = 0;
        if (ReadRecordNumber(record.key, "ProductID", productId)) {
            const CatalogEntry* row = CatalogFindByProductId(productId);
            if (row != nullptr) {
                list.push_back(row);
            }
        }
        return RecordScanStep::Continue;
    });
    if (scanned != 0) {
        std::printf(
            "\nGetDeviceInstalledList: the configuration store cannot be opened; "
            "no list written\n");
        return scanned;
    }
    AppendPreinstalledRows(list);
    return WriteOrReport("GetDeviceInstalledList", path, list, kListWritten);
}

uint32_t GetDevicePreinstalledList(char* path) BOARDKIT_NOEXCEPT {
    DeviceList list;
    AppendPreinstalledRows(list);
    return WriteOrReport("GetDevicePreinstalledList", path, list, kListWritten);
}

uint32_t GetDeviceExistNotInstalledList(char* path) BOARDKIT_NOEXCEPT {
    DeviceList list;
    platform::UniqueDevInfo devices(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (devices) {
        const DeviceScanEnd end = ForEachDeviceHardwareIds(
            devices.get(), kDriverlessListReading, [&](SP_DEVINFO_DATA& device, const char* ids) {
                AppendDriverlessRow(device, ids, list);
                return false;
            });
        if (end == DeviceScanEnd::Failed) {
            const DWORD error = GetLastError();
            std::printf(
                "\nGetDeviceExistNotInstalledList: a device's hardware IDs cannot be "
                "read (error %lu); no list written\n",
                static_cast<unsigned long>(error));
            return kResultFailed;
        }
    }
    return WriteOrReport("GetDeviceExistNotInstalledList", path, list, kDriverlessListWritten);
}

// A program that uses boardkit the way a maker's setup program does: it links the operations
// (boardkit.dll through its import library on Windows, the library over the simulated machine
// on Linux), calls them, and checks each effect through the system's own calls.
#include <cstdio>
#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "platform/win32.h"

// No operation lets an exception reach its caller: each is declared noexcept.
static_assert(noexcept(IsDeviceExist(nullptr)), "IsDeviceExist may throw into its caller");
static_assert(noexcept(IsDeviceExistInstalled(nullptr, nullptr)),
              "IsDeviceExistInstalled may throw into its caller");
static_assert(noexcept(IsDeviceExistNotInstall(nullptr, nullptr)),
              "IsDeviceExistNotInstall may throw into its caller");
static_assert(noexcept(IsDeviceUsing(nullptr)), "IsDeviceUsing may throw into its caller");
static_assert(noexcept(InstallDriver(nullptr, nullptr, nullptr)),
              "InstallDriver may throw into its caller");
static_assert(noexcept(UpdateDriver(nullptr, nullptr, nullptr)),
              "UpdateDriver may throw into its caller");
static_assert(noexcept(InstallNonPnpDriver(nullptr, nullptr)),
              "InstallNonPnpDriver may throw into its caller");
static_assert(noexcept(RefreshDevices()), "RefreshDevices may throw into its caller");
static_assert(noexcept(DeleteOemInfFile(nullptr)), "DeleteOemInfFile may throw into its caller");
static_assert(noexcept(KillBoardkitAPTimer(0)), "KillBoardkitAPTimer may throw into its caller");
static_assert(noexcept(EliminateInstalldevIconinSystemTrayTimer(0)),
              "EliminateInstalldevIconinSystemTrayTimer may throw into its caller");
static_assert(noexcept(KillerInstallProcTimer(0, 0, 0, 0, 0)),
              "KillerInstallProcTimer may throw into its caller");
static_assert(noexcept(CreateDeviceNode(nullptr, nullptr)),
              "CreateDeviceNode may throw into its caller");
static_assert(noexcept(SetResource(0, 0, 0, 0, 0)), "SetResource may throw into its caller");
static_assert(noexcept(DeleteDeviceNode()), "DeleteDeviceNode may throw into its caller");
static_assert(noexcept(CloseDeviceNode()), "CloseDeviceNode may throw into its caller");
static_assert(noexcept(InstallIsaDevice(nullptr, nullptr)),
              "InstallIsaDevice may throw into its caller");
static_assert(noexcept(InstallIsaDeviceEx(nullptr, nullptr, 0)),
              "InstallIsaDeviceEx may throw into its caller");
static_assert(noexcept(InstallIsaDevicePnp(nullptr, nullptr)),
              "InstallIsaDevicePnp may throw into its caller");
static_assert(noexcept(UpdateIsaDriver(nullptr, nullptr, nullptr)),
              "UpdateIsaDriver may throw into its caller");
static_assert(noexcept(IsaResCheckBaseAddrConflict(0, 0)),
              "IsaResCheckBaseAddrConflict may throw into its caller");
static_assert(noexcept(IsaResCheckIrqConflict(0)),
              "IsaResCheckIrqConflict may throw into its caller");
static_assert(noexcept(IsaResCheckDmaConflict(0)),
              "IsaResCheckDmaConflict may throw into its caller");
static_assert(noexcept(PreInstallDriver(nullptr)), "PreInstallDriver may throw into its caller");
static_assert(noexcept(DeletePreInstallDriverFiles(nullptr)),
              "DeletePreInstallDriverFiles may throw into its caller");
static_assert(noexcept(InstallDemoDevice(nullptr)), "InstallDemoDevice may throw into its caller");
static_assert(noexcept(IsDemoDeviceInstalled(nullptr)),
              "IsDemoDeviceInstalled may throw into its caller");
static_assert(noexcept(GetConfigurationItem(0, nullptr, 0, nullptr)),
              "GetConfigurationItem may throw into its caller");
static_assert(noexcept(GetDeviceInstalledList(nullptr)),
              "GetDeviceInstalledList may throw into its caller");
static_assert(noexcept(GetDevicePreinstalledList(nullptr)),
              "GetDevicePreinstalledList may throw into its caller");
static_assert(noexcept(GetDeviceExistNotInstalledList(nullptr)),
              "GetDeviceExistNotInstalledList may throw into its caller");
static_assert(noexcept(RemoveConfigurationByKernelKey(nullptr)),
              "RemoveConfigurationByKernelKey may throw into its caller");
static_assert(noexcept(RemoveConfigurationByProductID(0)),
              "RemoveConfigurationByProductID may throw into its caller");
static_assert(noexcept(RemoveConfigurationByDeviceNum(0)),
              "RemoveConfigurationByDeviceNum may throw into its caller");
static_assert(noexcept(EnableOrDisableDevice(0, 0, nullptr)),
              "EnableOrDisableDevice may throw into its caller");
static_assert(noexcept(EnableDevices(nullptr)), "EnableDevices may throw into its caller");
static_assert(noexcept(DisableDevices(nullptr)), "DisableDevices may throw into its caller");
static_assert(noexcept(UnloadDevice(0)), "UnloadDevice may throw into its caller");
static_assert(noexcept(InstallCertificate()), "InstallCertificate may throw into its caller");
static_assert(noexcept(UpdateNewDriver(nullptr, nullptr, nullptr)),
              "UpdateNewDriver may throw into its caller");
static_assert(noexcept(UninstallDriver(nullptr)), "UninstallDriver may throw into its caller");
static_assert(noexcept(DeleteDriverFile(nullptr)), "DeleteDriverFile may throw into its caller");
static_assert(noexcept(RemoveDevice(nullptr)), "RemoveDevice may throw into its caller");
static_assert(noexcept(Uninstall(0)), "Uninstall may throw into its caller");
static_assert(noexcept(UninstallNonePnpDriver(nullptr, nullptr)),
              "UninstallNonePnpDriver may throw into its caller");

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what, const std::string& detail = "") {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAILED: %s %s\n", what, detail.c_str());
}

const char kStore[] = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";
const char kRecord[] = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device107";
const char kMap[] = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\MapEntry";
const char kFolder[] = "C:\\boardkit-caller";
const char kInf[] = "C:\\boardkit-caller\\caller.inf";
// An ID no catalog row and no machine carries, so the caller meets only its own node.
const char kNodeId[] = "TOLCALLERPROBE";

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool ValueExists(const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool exists =
        RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

bool SetValue(const char* path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok =
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

void DeleteStore() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRecord);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMap);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStore);
}

// How many device nodes of the machine, present or not, carry `id` as a hardware ID.
int NodesWithHardwareId(const char* id) {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char ids[1024] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<BYTE*>(ids), sizeof ids - 2,
                                              nullptr) &&
            std::strcmp(ids, id) == 0) {
            ++count;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

bool WriteInf() {
    static const char kText[] =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=TolBoards\r\n"
        "ClassGuid={3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\r\nProvider=Tolvan\r\n";
    CreateDirectoryA(kFolder, nullptr);
    HANDLE file =
        CreateFileA(kInf, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, kText, sizeof kText - 1, &written, nullptr) && written == sizeof kText - 1;
    CloseHandle(file);
    return ok;
}

void PresenceOfAnUnknownBoard() {
    char id[] = "PCI\\VEN_5AE3&DEV_FFFF";
    Check(!IsDeviceExist(id), "IsDeviceExist answers no for a board nobody plugged in");
}

void ConfigurationRecords() {
    // The caller only removes a store it made itself.
    const bool storeWasThere = KeyExists(kStore);
    if (!storeWasThere) {
        unsigned char buffer[8] = {'k', 'e', 'p', 't', 0};
        char name[] = "KernelKey";
        Check(GetConfigurationItem(107, name, sizeof buffer, buffer) == 0xE0000017u,
              "GetConfigurationItem reports a missing store");
        Check(RemoveConfigurationByDeviceNum(107) == 0xE0000017u,
              "RemoveConfigurationByDeviceNum reports a missing store");
    }
    static const char kKernelKey[] = "TolDemoS";
    const DWORD board = 4;
    Check(SetValue(kRecord, "KernelKey", REG_SZ, kKernelKey, sizeof kKernelKey) &&
              SetValue(kRecord, "BoardID", REG_DWORD, &board, sizeof board) &&
              SetValue(kMap, "107", REG_DWORD, &board, sizeof board),
          "the caller writes a record as the framework does");

    unsigned char text[32] = {};
    char kernelKeyName[] = "KernelKey";
    Check(GetConfigurationItem(107, kernelKeyName, sizeof text, text) == 0,
          "GetConfigurationItem reads a record");
    Check(std::strcmp(reinterpret_cast<char*>(text), kKernelKey) == 0,
          "GetConfigurationItem fills the buffer", reinterpret_cast<char*>(text));
    DWORD number = 0;
    char boardName[] = "BoardID";
    Check(GetConfigurationItem(107, boardName, sizeof number,
                               reinterpret_cast<unsigned char*>(&number)) == 0 &&
              number == board,
          "GetConfigurationItem reads a number");
    unsigned char preset[4] = {'x', 'x', 'x', 0};
    char missingName[] = "NoSuchValue";
    Check(GetConfigurationItem(107, missingName, sizeof preset, preset) == 0 &&
              std::strcmp(reinterpret_cast<char*>(preset), "xxx") == 0,
          "a missing value leaves the caller's buffer alone");

    Check(RemoveConfigurationByDeviceNum(107) == 0, "RemoveConfigurationByDeviceNum succeeds");
    Check(!KeyExists(kRecord), "the record's key is gone");
    Check(!ValueExists(kMap, "107"), "the record's map entry is gone");
    Check(KeyExists(kStore), "the store itself stays");
    if (!storeWasThere) {
        DeleteStore();
    }
}

void LegacyDeviceNode() {
    Check(WriteInf(), "the caller writes its INF file");
    const int before = NodesWithHardwareId(kNodeId);
    Check(before == 0, "no node carries the probe ID before", std::to_string(before));
    char inf[sizeof kInf];
    std::memcpy(inf, kInf, sizeof kInf);
    char id[sizeof kNodeId];
    std::memcpy(id, kNodeId, sizeof kNodeId);
    const uint32_t created = CreateDeviceNode(inf, id);
    Check(created == 0, "CreateDeviceNode makes a node", std::to_string(created));
    Check(NodesWithHardwareId(kNodeId) == 1, "the device tree holds the new node");
    Check(DeleteDeviceNode() == 0, "DeleteDeviceNode removes it");
    Check(NodesWithHardwareId(kNodeId) == 0, "the device tree no longer holds it");

    char missing[] = "C:\\boardkit-caller\\missing.inf";
    Check(CreateDeviceNode(missing, id) != 0, "CreateDeviceNode refuses a missing INF");
    CloseDeviceNode();
    Check(NodesWithHardwareId(kNodeId) == 0, "a refused node leaves nothing behind");
    DeleteFileA(kInf);
    RemoveDirectoryA(kFolder);
}

}  // namespace

int main() {
    PresenceOfAnUnknownBoard();
    ConfigurationRecords();
    LegacyDeviceNode();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

// A program that uses boardkit the way a maker's setup program does: it links the operations
// (boardkit.dll through its import library on Windows, the library over the simulated machine
// on Linux), calls them, and checks each effect through the system's own calls.
#include <cstdio>
#include <cstring>
#include <string>

#include "boardkit/operations.h"
#include "platform/win32.h"
#include "tests/caller/checks.h"

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

// The compatible-ID list of the first node whose first hardware ID is `id`, its strings joined
// with '|'; empty when there is no such node or list.
std::string CompatibleIdsOf(const char* id) {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        return "";
    }
    std::string joined;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; joined.empty() && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        char ids[512] = {};
        char compatible[512] = {};
        if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                               reinterpret_cast<BYTE*>(ids), sizeof ids - 2,
                                               nullptr) ||
            std::strcmp(ids, id) != 0 ||
            !SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_COMPATIBLEIDS, nullptr,
                                               reinterpret_cast<BYTE*>(compatible),
                                               sizeof compatible - 2, nullptr)) {
            continue;
        }
        for (const char* text = compatible; *text != '\0'; text += std::strlen(text) + 1) {
            joined += (joined.empty() ? "" : "|") + std::string(text);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return joined;
}

bool FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

void PresenceQueries() {
    char id[] = "PCI\\VEN_5AE3&DEV_FFFF";
    int found = 7;
    Check(IsDeviceExistInstalled(id, &found) && found == 0,
          "IsDeviceExistInstalled writes no for an absent board", std::to_string(found));
    found = 7;
    Check(IsDeviceExistNotInstall(id, &found) && found == 0,
          "IsDeviceExistNotInstall writes no for an absent board", std::to_string(found));
    Check(!IsDeviceUsing(id), "IsDeviceUsing answers no for an ID that is no catalog ID");
    int installed = 7;
    Check(IsDemoDeviceInstalled(&installed) && installed == 0,
          "IsDemoDeviceInstalled writes no without a demo device", std::to_string(installed));
}

// The refusals that come before any change, the same on every machine.
void RefusedArguments() {
    char legacyId[] = "IX104";
    char pciId[] = "PCI\\VEN_5AE3&DEV_1001";
    char missingInf[] = "C:\\boardkit-caller\\missing.inf";
    int reboot = 7;
    Check(!InstallDriver(missingInf, legacyId, &reboot) && reboot == 7,
          "InstallDriver refuses a legacy board's ID and stores no reboot flag");
    Check(!InstallDriver(missingInf, pciId, nullptr),
          "InstallDriver refuses an INF file that does not exist");
    Check(UpdateNewDriver(nullptr, pciId, &reboot) == 2, "UpdateNewDriver refuses a null INF");
    char unknownId[] = "TOLNOSUCHBOARD";
    Check(UpdateNewDriver(missingInf, unknownId, &reboot) == 2,
          "UpdateNewDriver refuses an ID no catalog row contains");
    char lowerCase[] = "ix104";
    Check(UpdateIsaDriver(missingInf, lowerCase, &reboot) == 0,
          "UpdateIsaDriver with a lower-case text matches no board and gives 0");
    char noSuchCopy[] = "oem4093.inf";
    Check(DeleteOemInfFile(noSuchCopy) != 0, "DeleteOemInfFile reports a copy that is not there");
    Check(!PreInstallDriver(missingInf), "PreInstallDriver refuses an INF file that is not there");
    Check(!DeletePreInstallDriverFiles(missingInf),
          "DeletePreInstallDriverFiles refuses an INF file that is not there");
    char unknownKey[] = "TOLNOSUCHKEY";
    Check(UninstallDriver(unknownKey) == 2, "UninstallDriver refuses a kernel key of no row");
    Check(DeleteDriverFile(unknownKey) == 2, "DeleteDriverFile refuses a kernel key of no row");
    char empty[] = "";
    Check(UninstallNonePnpDriver(missingInf, empty) == 2,
          "UninstallNonePnpDriver refuses an empty prefix");
    Check(IsaResCheckBaseAddrConflict(0, 16) == 0 && IsaResCheckIrqConflict(0) == 0 &&
              IsaResCheckDmaConflict(0) == 0,
          "the conflict checks answer 0 for the value 0 without asking the system");
}

void WizardTimerSwitches() {
    Check(KillBoardkitAPTimer(1) && KillBoardkitAPTimer(1) && KillBoardkitAPTimer(0),
          "KillBoardkitAPTimer starts, starts again and stops with true");
    Check(!EliminateInstalldevIconinSystemTrayTimer(1) &&
              !EliminateInstalldevIconinSystemTrayTimer(0),
          "EliminateInstalldevIconinSystemTrayTimer gives false whatever it did");
}

void Certificate() {
    Check(InstallCertificate() == 0, "InstallCertificate adds the publisher certificate");
    Check(InstallCertificate() == 0, "InstallCertificate keeps a copy already there");
}

// Records of a demo board (product ID 0) whose device is absent.
void RecordsWithoutTheirDevice() {
    const bool storeWasThere = KeyExists(kStore);
    char listFile[] = "C:\\boardkit-caller\\installed.txt";
    CreateDirectoryA(kFolder, nullptr);
    if (!storeWasThere) {
        Check(GetDeviceInstalledList(listFile) == 0xE0000017u && !FileExists(listFile),
              "GetDeviceInstalledList writes no file without a store");
    }
    static const char kKernelKey[] = "TolDemoS";
    const DWORD demo = 0;
    const DWORD board = 4;
    Check(SetValue(kRecord, "KernelKey", REG_SZ, kKernelKey, sizeof kKernelKey) &&
              SetValue(kRecord, "ProductID", REG_DWORD, &demo, sizeof demo) &&
              SetValue(kRecord, "BoardID", REG_DWORD, &board, sizeof board) &&
              SetValue(kMap, "107", REG_DWORD, &board, sizeof board),
          "the caller writes a demo board's record");
    Check(GetDeviceInstalledList(listFile) == 1 && FileExists(listFile),
          "GetDeviceInstalledList writes its file");
    DeleteFileA(listFile);
    int reboot = 7;
    Check(EnableOrDisableDevice(1, 107, &reboot) == static_cast<int32_t>(0xE0000017u),
          "EnableOrDisableDevice reports a record whose device is absent");
    Check(UnloadDevice(107) == static_cast<int32_t>(0xE0000017u),
          "UnloadDevice reports a record whose device is absent");
    Check(Uninstall(107) == 0xE0000015u, "Uninstall reports a demo record without its device");
    Check(Uninstall(4093) == 0xE0000015u, "Uninstall reports a number no record has");
    char otherKey[] = "TolNoSuchKey";
    Check(EnableDevices(otherKey) == 0 && DisableDevices(otherKey) == 0,
          "EnableDevices and DisableDevices pass over records of other kernel keys");
    Check(RemoveConfigurationByProductID(0x7FFF) == 0 && KeyExists(kRecord),
          "RemoveConfigurationByProductID leaves a record of another product");
    Check(RemoveConfigurationByKernelKey(otherKey) == 0 && KeyExists(kRecord),
          "RemoveConfigurationByKernelKey leaves a record of another kernel key");
    char lowerKey[] = "toldemos";
    Check(RemoveConfigurationByKernelKey(lowerKey) == 0 && !KeyExists(kRecord) &&
              !ValueExists(kMap, "107"),
          "RemoveConfigurationByKernelKey removes the record whatever the key's case, with its "
          "map entry");
    if (!storeWasThere) {
        DeleteStore();
    }
    RemoveDirectoryA(kFolder);
}

// A node kept with its resources, then taken away by its hardware ID.
void LegacyNodeKeptAndRemoved() {
    Check(WriteInf(), "the caller writes its INF file");
    char inf[sizeof kInf];
    std::memcpy(inf, kInf, sizeof kInf);
    char id[sizeof kNodeId];
    std::memcpy(id, kNodeId, sizeof kNodeId);
    Check(CreateDeviceNode(inf, id) == 0, "CreateDeviceNode makes a node to keep");
    Check(SetResource(0x300, 16, 5, 0, 0) == 0, "SetResource writes the resource record");
    CloseDeviceNode();
    Check(CompatibleIdsOf(kNodeId) == "Init|300|10|5|0|0",
          "the kept node carries the resource record", CompatibleIdsOf(kNodeId));
    Check(RemoveDevice(id) && NodesWithHardwareId(kNodeId) == 0,
          "RemoveDevice takes the kept node away");

    // This program carries no dialog template, and the operation opens it from the program's
    // own resources: the dialog cannot be shown, and the new node must not stay.
    const uint32_t shown = InstallIsaDevice(inf, id);
    Check(shown != 0 && NodesWithHardwareId(kNodeId) == 0,
          "InstallIsaDevice without a dialog to show fails and removes its node",
          std::to_string(shown));
    DeleteFileA(kInf);
    RemoveDirectoryA(kFolder);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--linger") == 0) {
        return LingerAsWizard();
    }
    PresenceOfAnUnknownBoard();
    PresenceQueries();
    RefusedArguments();
    WizardTimerSwitches();
    ConfigurationRecords();
    RecordsWithoutTheirDevice();
    LegacyDeviceNode();
    LegacyNodeKeptAndRemoved();
    Certificate();
    WizardProcesses(argv[0]);
    return CheckSummary();
}

#include "machine_builder.h"

#include <cstdio>

#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"

namespace tools {

const char* const kFrameworkServiceKey = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";
const char* const kPreinstallServiceKey = "SYSTEM\\CurrentControlSet\\Services\\TOLVANPRE";
const char* const kBoardClass = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";
const char* const kSystemClass = "{4d36e97d-e325-11ce-bfc1-08002be10318}";

namespace {

const char* const kClassKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

}  // namespace

RecordValue DwordValue(const std::string& name, uint32_t value) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                  static_cast<uint8_t>(value >> 16),
                                  static_cast<uint8_t>(value >> 24)};
    return {name, REG_DWORD, bytes};
}

RecordValue StringValue(const std::string& name, const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return {name, REG_SZ, bytes};
}

bool WriteKey(const std::string& keyPath, const std::vector<RecordValue>& values) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    for (const RecordValue& value : values) {
        ok = ok && RegSetValueExA(key, value.name.c_str(), 0, value.type, value.bytes.data(),
                                  static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

bool AddConfigurationRecord(unsigned deviceNumber, const std::vector<RecordValue>& values) {
    char name[32];
    std::snprintf(name, sizeof name, "\\Device%03u", deviceNumber);
    return WriteKey(std::string(kFrameworkServiceKey) + name, values);
}

bool AddMapEntry(unsigned deviceNumber, uint32_t data) {
    return WriteKey(std::string(kFrameworkServiceKey) + "\\MapEntry",
                    {DwordValue(std::to_string(deviceNumber), data)});
}

bool AddPreinstallRecord(const std::string& name, const std::string& infFileName) {
    return WriteKey(kPreinstallServiceKey, {StringValue(name, infFileName)});
}

bool AddEmptyStore() {
    return WriteKey(std::string(kFrameworkServiceKey) + "\\MapEntry", {});
}

bool AddDemoRecord(unsigned deviceNumber, unsigned board, const std::string& kernelKey) {
    return AddConfigurationRecord(deviceNumber,
                                  {DwordValue("ProductID", 0), DwordValue("BoardID", board),
                                   StringValue("KernelKey", kernelKey)});
}

sim::DeviceNode* AddBoard(const Board& board) {
    sim::DeviceSpec spec;
    spec.instanceId = board.instanceId;
    spec.parentId = board.parent;
    spec.presence = board.presence;
    spec.problem = board.problem;
    spec.hardwareIds = board.hardwareIds;
    spec.classGuid = board.classGuid;
    spec.locationInformation = board.location;
    spec.driver = board.driver;
    spec.configFlags = board.configFlags;
    return sim::AddDevice(spec);
}

sim::DeviceNode* AddBoardAt(const std::string& instanceId, const std::string& hardwareId,
                            const std::string& location, ULONG problem) {
    Board board{instanceId, {hardwareId}, sim::Presence::Present, problem};
    board.location = location;
    return AddBoard(board);
}

std::string AddDemoBoard(unsigned board, const std::string& oemInf, std::vector<std::string> ids) {
    char id[32];
    std::snprintf(id, sizeof id, "ROOT\\DAQBOARD\\%04u", board);
    char location[16];
    std::snprintf(location, sizeof location, "%03u", board);
    char driver[16];
    std::snprintf(driver, sizeof driver, "%04u", board);
    Board node{id, std::move(ids)};
    node.location = location;
    if (!oemInf.empty()) {
        node.driver = std::string(kBoardClass) + "\\" + driver;
        if (!WriteKey(kClassKey + node.driver, {StringValue("InfPath", oemInf)})) {
            return "";
        }
    }
    return AddBoard(node) != nullptr ? id : "";
}

bool WriteMachineFile(const std::string& windowsPath, const std::string& content) {
    const std::string folder = windowsPath.substr(0, windowsPath.rfind('\\'));
    return sim::files::CreateDirectories(folder) == 0 &&
           sim::files::WriteWholeFile(windowsPath, content) == 0;
}

bool AddOemInfCopy(const std::string& name, const std::string& content) {
    return WriteMachineFile("C:\\Windows\\INF\\" + name, content);
}

std::string BoardPackageInf(const std::string& hardwareId, const std::string& service,
                            const std::string& sys, const std::string& version) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=TolBoards\r\n"
           "ClassGuid={3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\r\nProvider=%V%\r\n"
           "DriverVer=05/02/2025," +
           version + "\r\n[Manufacturer]\r\n%V%=Boards,NTamd64\r\n[Boards.NTamd64]\r\n%D%=Inst," +
           hardwareId + "\r\n[Inst.NTamd64]\r\n[Inst.NTamd64.Services]\r\nAddService=" + service +
           ",2,Svc\r\n[Svc]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\n"
           "ServiceBinary=%12%\\" +
           sys + "\r\n[Strings]\r\nV=\"Tolvan\"\r\nD=\"Board\"\r\n";
}

bool AddBoardPackage(const std::string& infPath, const std::string& hardwareId,
                     const std::string& service, const std::string& sys,
                     const std::string& version) {
    return WriteMachineFile(infPath, BoardPackageInf(hardwareId, service, sys, version)) &&
           WriteMachineFile(infPath.substr(0, infPath.rfind('\\') + 1) + sys, "sys " + version);
}

void FailCall(const char* api, const std::string& arg, DWORD error, unsigned nth) {
    sim::Faults().push_back({api, arg, nth, 0, error, 0});
}

bool FileExists(const std::string& windowsPath) {
    return GetFileAttributesA(windowsPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PreinstallRecordExists(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPreinstallServiceKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool found =
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

}  // namespace tools

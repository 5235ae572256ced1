// What the collector's Wine test needs of the prefix that the Wine tools do not give:
//   prefix_tool devices
//       every device instance SetupAPI lists, "ID<TAB>present" or "ID<TAB>absent", one a line;
//   prefix_tool locked KEY COMMANDLINE
//       runs COMMANDLINE while HKLM\KEY grants no access to anyone (as Windows keeps a device's
//       Properties key to the system account), restores the key's access afterwards and exits
//       with the command's exit code. One process for both, since Wine keeps a key's security
//       only while its server runs.
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    if (!SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr)) {
        return "";
    }
    return id;
}

std::set<std::string> Listed(DWORD flags) {
    std::set<std::string> ids;
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | flags);
    if (set == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "SetupDiGetClassDevsA failed: %lu\n", GetLastError());
        std::exit(1);
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        ids.insert(InstanceId(set, device));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

int Devices() {
    const std::set<std::string> present = Listed(DIGCF_PRESENT);
    for (const std::string& id : Listed(0)) {
        std::printf("%s\t%s\n", id.c_str(), present.count(id) != 0 ? "present" : "absent");
    }
    return 0;
}

int Locked(const char* key, const char* commandLine) {
    HKEY handle = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, READ_CONTROL | WRITE_DAC, &handle);
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "%s cannot be opened: %ld\n", key, status);
        return 1;
    }
    DWORD size = 0;
    RegGetKeySecurity(handle, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<BYTE> saved(size);
    status = RegGetKeySecurity(handle, DACL_SECURITY_INFORMATION, saved.data(), &size);
    SECURITY_DESCRIPTOR none;
    ACL empty;
    InitializeSecurityDescriptor(&none, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SetSecurityDescriptorDacl(&none, TRUE, &empty, FALSE);
    if (status != ERROR_SUCCESS ||
        (status = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, &none)) != ERROR_SUCCESS) {
        std::fprintf(stderr, "%s cannot be locked: %ld\n", key, status);
        return 1;
    }
    std::string command = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD exitCode = 1;
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        std::fprintf(stderr, "%s cannot be started: %lu\n", commandLine, GetLastError());
    }
    RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, saved.data());
    RegCloseKey(handle);
    return static_cast<int>(exitCode);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "devices") {
        return Devices();
    }
    if (argc == 4 && std::string(argv[1]) == "locked") {
        return Locked(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: prefix_tool devices | locked KEY COMMANDLINE\n");
    return 2;
}

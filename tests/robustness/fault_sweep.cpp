#include "fault_sweep.h"

#include <cstdio>
#include <functional>

#include "boardkit/operations.h"
#include "devices.h"
#include "file_system.h"
#include "frontend/run_capture.h"
#include "machine.h"
#include "registry_tree.h"

namespace robustness {
namespace {

// The simulated calls a fault may hit. Left out are calls that cannot fail on Windows for the
// arguments the program passes (code-page queries, character stepping, string lengths, the
// process's own pseudo handle, the clock, Sleep).
const char* const kApis[] = {
    "AdjustTokenPrivileges",
    "CM_Connect_MachineA",
    "CM_Disconnect_Machine",
    "CM_Free_Log_Conf_Handle",
    "CM_Free_Res_Des_Handle",
    "CM_Free_Resource_Conflict_Handle",
    "CM_Get_Child",
    "CM_Get_DevNode_Registry_PropertyA",
    "CM_Get_DevNode_Status",
    "CM_Get_Device_IDA",
    "CM_Get_Device_ID_Size",
    "CM_Get_First_Log_Conf",
    "CM_Get_Next_Res_Des",
    "CM_Get_Parent",
    "CM_Get_Res_Des_Data",
    "CM_Get_Res_Des_Data_Size",
    "CM_Get_Resource_Conflict_Count",
    "CM_Get_Sibling",
    "CM_Locate_DevNodeA",
    "CM_Query_Resource_Conflict_List",
    "CM_Reenumerate_DevNode",
    "CertAddCertificateContextToStore",
    "CertCloseStore",
    "CertCreateCertificateContext",
    "CertEnumCertificatesInStore",
    "CertFreeCertificateContext",
    "CertOpenStore",
    "CloseHandle",
    "CopyFileA",
    "CreateDirectoryA",
    "CreateFileA",
    "CreateToolhelp32Snapshot",
    "CryptStringToBinaryA",
    "DeleteFileA",
    "DialogBoxParamA",
    "EnableWindow",
    "EndDialog",
    "FindClose",
    "FindFirstFileA",
    "FindNextFileA",
    "FindResourceA",
    "FindWindowA",
    "FindWindowExA",
    "FormatMessageA",
    "FreeLibrary",
    "GetDlgItem",
    "GetFileAttributesA",
    "GetFileSize",
    "GetFileSizeEx",
    "GetModuleHandleA",
    "GetProcAddress",
    "GetSystemDirectoryA",
    "GetWindowsDirectoryA",
    "InitiateSystemShutdownExA",
    "InstallSelectedDriver",
    "IsWindowEnabled",
    "KillTimer",
    "LoadLibraryExA",
    "LoadResource",
    "LocalAlloc",
    "LookupPrivilegeValueA",
    "MessageBoxA",
    "NtClose",
    "NtQueryInformationProcess",
    "OpenProcess",
    "OpenProcessToken",
    "PostMessageA",
    "Process32First",
    "Process32Next",
    "ReadFile",
    "ReadProcessMemory",
    "RegCloseKey",
    "RegCreateKeyA",
    "RegCreateKeyExA",
    "RegDeleteKeyA",
    "RegDeleteValueA",
    "RegEnumKeyA",
    "RegEnumKeyExA",
    "RegEnumKeyW",
    "RegEnumValueA",
    "RegOpenKeyExA",
    "RegOpenKeyExW",
    "RegQueryInfoKeyA",
    "RegQueryValueExA",
    "RegSetValueExA",
    "RemoveDirectoryA",
    "SendMessageA",
    "SetFilePointer",
    "SetFilePointerEx",
    "SetTimer",
    "SetupCopyOEMInfA",
    "SetupDiBuildDriverInfoList",
    "SetupDiCallClassInstaller",
    "SetupDiChangeState",
    "SetupDiCreateDeviceInfoA",
    "SetupDiCreateDeviceInfoList",
    "SetupDiDestroyDeviceInfoList",
    "SetupDiEnumDeviceInfo",
    "SetupDiGetClassDevsA",
    "SetupDiGetDeviceInstallParamsA",
    "SetupDiGetDeviceInstanceIdA",
    "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiGetINFClassA",
    "SetupDiGetSelectedDriverA",
    "SetupDiOpenDevRegKey",
    "SetupDiRegisterDeviceInfo",
    "SetupDiRemoveDevice",
    "SetupDiSetClassInstallParamsA",
    "SetupDiSetDeviceInstallParamsA",
    "SetupDiSetDeviceRegistryPropertyA",
    "SetupDiSetSelectedDevice",
    "SetupUninstallOEMInfA",
    "SizeofResource",
    "TerminateProcess",
    "UpdateDriverForPlugAndPlayDevicesA",
    "WideCharToMultiByte",
    "WriteFile",
};

// Representative failures: access denied for everything (what a locked-down machine gives),
// a generic Configuration Manager failure for CM_ calls, and for the calls whose callers treat
// particular codes in a way of their own, those codes too.
std::vector<DWORD> ErrorsFor(const std::string& api) {
    if (api.rfind("CM_", 0) == 0) {
        return {CR_FAILURE};
    }
    if (api == "LocalAlloc") {
        return {ERROR_NOT_ENOUGH_MEMORY};
    }
    if (api == "SetupDiGetDeviceRegistryPropertyA") {
        return {ERROR_ACCESS_DENIED, ERROR_INVALID_DATA};
    }
    if (api == "SetupCopyOEMInfA") {
        return {ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS};
    }
    if (api == "RegOpenKeyExA") {
        return {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND};
    }
    if (api.rfind("RegEnum", 0) == 0 || api == "SetupDiEnumDeviceInfo") {
        return {ERROR_ACCESS_DENIED, ERROR_NO_MORE_ITEMS};
    }
    return {ERROR_ACCESS_DENIED};
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return text;
}

// Names the system generates (oem<N>.inf, Control\Class\{class}\NNNN) depend on what was
// there before, so a run that did less work first numbers the same result differently. The
// facts name an INF copy by its content and a driver key by the device that owns it.
struct Aliases {
    std::map<std::string, std::string> oemByName;      // upper-cased file name -> alias
    std::map<std::string, std::string> ownerByDriver;  // upper-cased driver key path -> owner
};

Aliases CollectAliases() {
    Aliases aliases;
    for (const sim::files::EntryInfo& entry : sim::files::ListDirectory("C:\\Windows\\INF")) {
        const std::string name = Upper(entry.name);
        if (!entry.directory && name.rfind("OEM", 0) == 0) {
            std::string bytes;
            sim::files::ReadWholeFile("C:\\Windows\\INF\\" + entry.name, bytes);
            aliases.oemByName[name] =
                "oem{" + std::to_string(std::hash<std::string>()(bytes)) + "}";
        }
    }
    for (sim::DeviceNode* node : sim::AllDevices()) {
        sim::RegKey* key = sim::DeviceKey(*node);
        const auto driver = key != nullptr ? sim::GetStringValue(*key, "Driver") : std::nullopt;
        if (driver) {
            aliases.ownerByDriver[Upper("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\" +
                                        *driver)] = "driver key of " + node->instanceId;
        }
    }
    return aliases;
}

std::string KeyName(const std::string& path, const Aliases& aliases) {
    const std::string upper = Upper(path);
    for (const auto& [driverPath, owner] : aliases.ownerByDriver) {
        if (upper == driverPath || upper.rfind(driverPath + "\\", 0) == 0) {
            return owner + path.substr(driverPath.size());
        }
    }
    return path;
}

std::string ValueText(const sim::RegKey& key, const sim::RegValue& value, const Aliases& aliases) {
    const std::string name = Upper(value.name);
    if (name == "DRIVER" || name == "INFPATH") {
        const auto text = sim::GetStringValue(key, value.name);
        if (text && name == "DRIVER") {
            return "names a driver key";
        }
        auto it = text ? aliases.oemByName.find(Upper(*text)) : aliases.oemByName.end();
        if (it != aliases.oemByName.end()) {
            return "names " + it->second;
        }
        if (text) {
            return "names " + *text + ", not in the INF folder";
        }
    }
    return std::to_string(value.type) + ":" + Hex(value.data);
}

void AddKeyFacts(const sim::RegKey& key, const std::string& path, const Aliases& aliases,
                 Facts& facts) {
    const std::string name = KeyName(path, aliases);
    facts["reg:" + name] = "";
    for (const sim::RegValue& value : key.values) {
        facts["reg:" + name + " :: " + value.name] = ValueText(key, value, aliases);
    }
    for (const auto& sub : key.subkeys) {
        if (!sub->deleted) {
            AddKeyFacts(*sub, path + "\\" + sub->name, aliases, facts);
        }
    }
}

void AddFileFacts(const std::string& folder, const Aliases& aliases, Facts& facts) {
    for (const sim::files::EntryInfo& entry : sim::files::ListDirectory(folder)) {
        const std::string path = folder + "\\" + entry.name;
        if (entry.directory) {
            facts["dir:" + path] = "";
            AddFileFacts(path, aliases, facts);
            continue;
        }
        std::string bytes;
        sim::files::ReadWholeFile(path, bytes);
        auto it = aliases.oemByName.find(Upper(entry.name));
        const bool oemCopy = Upper(folder) == "C:\\WINDOWS\\INF" && it != aliases.oemByName.end();
        facts["file:" + (oemCopy ? folder + "\\" + it->second : path)] = bytes;
    }
}

void AddCertificateFacts(const char* store, Facts& facts) {
    HCERTSTORE handle =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, X509_ASN_ENCODING, 0,
                      CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, store);
    if (handle == nullptr) {
        return;
    }
    std::string text;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(handle, c)) != nullptr;) {
        const std::string bytes(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded);
        text += std::to_string(std::hash<std::string>()(bytes)) + ";";
    }
    CertCloseStore(handle, 0);
    facts[std::string("cert:") + store] = text;
}

// The counts of every API so far, to take a run's own calls as a difference.
std::map<std::string, unsigned> CountsNow() {
    std::map<std::string, unsigned> counts;
    for (const char* api : kApis) {
        counts[api] = sim::CallCount(api);
    }
    return counts;
}

struct RunResult {
    int exitCode;
    std::string out, err;
    Facts after;
    std::map<std::string, unsigned> calls;
};

// One run on a fresh machine, the fault (if any) armed after the machine is built so that
// only the command's own calls are counted against it.
RunResult RunOnce(const Scenario& scenario, const FaultPoint* fault) {
    sim::ResetToEmpty();
    scenario.build();
    const std::map<std::string, unsigned> start = CountsNow();
    if (fault != nullptr) {
        const unsigned nth = fault->onwards ? 0 : fault->nth;
        const unsigned from = fault->onwards ? fault->nth : 0;
        sim::Faults().push_back({fault->api, "", nth, from, fault->error, 0});
    }
    std::vector<std::string> words{"boardkit"};
    words.insert(words.end(), scenario.words.begin(), scenario.words.end());
    const CapturedRun run = RunBoardkit(words);
    RunResult result{run.exitCode, run.out, run.err, {}, {}};
    for (const auto& [api, count] : CountsNow()) {
        if (count > start.at(api)) {
            result.calls[api] = count - start.at(api);
        }
    }
    sim::Faults().clear();
    result.after = MachineFacts();
    // Timers are module state of the program and outlive a run in this process; stopping them
    // lets the next run start from a program as fresh as a new process.
    KillBoardkitAPTimer(0);
    EliminateInstalldevIconinSystemTrayTimer(0);
    return result;
}

Facts FactsOfFreshMachine(const Scenario& scenario) {
    sim::ResetToEmpty();
    scenario.build();
    return MachineFacts();
}

}  // namespace

Facts MachineFacts() {
    Facts facts;
    const Aliases aliases = CollectAliases();
    AddKeyFacts(sim::Hklm(), "HKLM", aliases, facts);
    AddFileFacts("C:", aliases, facts);
    for (sim::DeviceNode* node : sim::AllDevices()) {
        facts["dev:" + node->instanceId] =
            "presence " + std::to_string(static_cast<int>(node->presence)) + " problem " +
            std::to_string(node->problem) + " status " + std::to_string(sim::DeviceStatus(*node));
    }
    AddCertificateFacts("TrustedPublisher", facts);
    return facts;
}

Changes Compare(const Facts& before, const Facts& after) {
    Changes changes;
    for (const auto& [fact, value] : before) {
        auto it = after.find(fact);
        if (it == after.end()) {
            changes[fact] = {value, std::nullopt};
        } else if (it->second != value) {
            changes[fact] = {value, it->second};
        }
    }
    for (const auto& [fact, value] : after) {
        if (before.count(fact) == 0) {
            changes[fact] = {std::nullopt, value};
        }
    }
    return changes;
}

std::string Describe(const FaultPoint& fault) {
    char error[16];
    std::snprintf(error, sizeof error, "0x%lx", static_cast<unsigned long>(fault.error));
    return fault.api + " #" + std::to_string(fault.nth) + (fault.onwards ? " and on" : "") +
           " fails with " + error;
}

std::vector<unsigned> Occurrences(unsigned count, unsigned perApi) {
    std::vector<unsigned> picks;
    if (count <= perApi) {
        for (unsigned n = 1; n <= count; ++n) {
            picks.push_back(n);
        }
        return picks;
    }
    // Loops meet their first items' failures early; the spread and the last one reach the
    // failures that come after work has been done.
    const unsigned head = perApi - perApi / 3;
    for (unsigned n = 1; n <= head; ++n) {
        picks.push_back(n);
    }
    const unsigned spread = perApi - head - 1;
    for (unsigned i = 1; i <= spread; ++i) {
        const unsigned n = head + (count - head) * i / (spread + 1);
        if (n > picks.back() && n < count) {
            picks.push_back(n);
        }
    }
    picks.push_back(count);
    return picks;
}

Sweep RunSweep(const Scenario& scenario, unsigned perApi) {
    Sweep sweep;
    sweep.before = FactsOfFreshMachine(scenario);
    const RunResult clean = RunOnce(scenario, nullptr);
    sweep.cleanExit = clean.exitCode;
    sweep.cleanOut = clean.out;
    sweep.clean = Compare(sweep.before, clean.after);
    sweep.calls = clean.calls;
    for (const auto& [api, count] : clean.calls) {
        for (unsigned nth : Occurrences(count, perApi)) {
            std::vector<FaultPoint> faults;
            for (DWORD error : ErrorsFor(api)) {
                faults.push_back({api, nth, error, false});
            }
            if (nth < count) {
                faults.push_back({api, nth, ErrorsFor(api).front(), true});
            }
            for (const FaultPoint& fault : faults) {
                const RunResult run = RunOnce(scenario, &fault);
                sweep.runs.push_back(
                    {fault, run.exitCode, run.err, Compare(sweep.before, run.after), run.after});
            }
        }
    }
    sim::ResetToEmpty();
    return sweep;
}

}  // namespace robustness

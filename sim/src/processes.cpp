// The machine's processes: the table kept in machine.json, toolhelp snapshots, OpenProcess and
// TerminateProcess, and the new-hardware wizard that Windows starts for a board without a
// driver. A process holds the files it has loaded for as long as it runs.
#include <algorithm>
#include <cstring>
#include <memory>

#include "choke.h"
#include "file_system.h"
#include "machine.h"
#include "processes_internal.h"
#include "simwin/security.h"
#include "simwin/toolhelp.h"
#include "text.h"

namespace sim {

const char* const kWizardImage = "C:\\Windows\\System32\\rundll32.exe";

namespace {

constexpr DWORD kFirstPid = 1000;
constexpr DWORD kSystemPid = 4;
// What a protected process grants even to a debugger.
constexpr DWORD kAlwaysGranted = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;

struct Table {
    std::vector<ProcessRecord> processes;
    DWORD nextPid = kFirstPid;
    unsigned wizardPipes = 0;
};

Table& Raw() {
    static auto* table = new Table;
    return *table;
}

Table& T() {
    EnsureLoaded();
    return Raw();
}

void HoldAll(const ProcessRecord& p) {
    for (const std::string& path : p.holds) {
        files::HoldFile(path, p.pid);
    }
}

void ReleaseAll() {
    for (const ProcessRecord& p : Raw().processes) {
        files::ReleaseProcessFiles(p.pid);
    }
}

nlohmann::json Save() {
    const Table& t = Raw();
    if (t.processes.empty() && t.nextPid == kFirstPid) {
        return nullptr;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const ProcessRecord& p : t.processes) {
        list.push_back({{"pid", p.pid},
                        {"parent", p.parentPid},
                        {"image", p.image},
                        {"commandLine", p.commandLine},
                        {"holds", p.holds},
                        {"system", p.system},
                        {"wizard", p.wizard}});
    }
    return {{"nextPid", t.nextPid}, {"wizardPipes", t.wizardPipes}, {"list", std::move(list)}};
}

void Load(const nlohmann::json& j) {
    ReleaseAll();
    Raw() = Table{};
    if (j.is_null()) {
        return;
    }
    Table& t = Raw();
    t.nextPid = j.value("nextPid", kFirstPid);
    t.wizardPipes = j.value("wizardPipes", 0u);
    for (const auto& e : j.value("list", nlohmann::json::array())) {
        ProcessRecord p;
        p.pid = e.at("pid").get<DWORD>();
        p.parentPid = e.value("parent", 0u);
        p.image = e.value("image", std::string());
        p.commandLine = e.value("commandLine", std::string());
        p.holds = e.value("holds", std::vector<std::string>());
        p.system = e.value("system", false);
        p.wizard = e.value("wizard", false);
        HoldAll(p);
        t.processes.push_back(std::move(p));
    }
}

const bool registered = [] {
    RegisterSection({"processes", Load, Save, [] {
                         ReleaseAll();
                         Raw() = Table{};
                     }});
    return true;
}();

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The two entries every snapshot begins with: the idle process and the kernel's.
std::vector<PROCESSENTRY32> SnapshotEntries() {
    std::vector<PROCESSENTRY32> entries;
    auto add = [&entries](DWORD pid, DWORD parent, DWORD threads, const std::string& exe) {
        PROCESSENTRY32 e{};
        e.dwSize = sizeof e;
        e.th32ProcessID = pid;
        e.th32ParentProcessID = parent;
        e.cntThreads = threads;
        e.pcPriClassBase = 8;
        // Image names longer than the field are cut, as Windows does in this structure.
        std::strncpy(e.szExeFile, exe.c_str(), sizeof e.szExeFile - 1);
        entries.push_back(e);
    };
    add(0, 0, 2, "[System Process]");
    add(kSystemPid, 0, 120, "System");
    for (const ProcessRecord& p : T().processes) {
        add(p.pid, p.parentPid, 1, FileNameOf(p.image));
    }
    return entries;
}

class SnapshotObject : public HandleObject {
  public:
    explicit SnapshotObject(std::vector<PROCESSENTRY32> entries) : entries_(std::move(entries)) {}
    const char* kind() const override { return "snapshot"; }
    // Copies entry `index` into `out`; false past the end.
    bool Copy(size_t index, PROCESSENTRY32& out) {
        if (index >= entries_.size()) {
            return false;
        }
        out = entries_[index];
        next_ = index + 1;
        return true;
    }
    size_t next() const { return next_; }

  private:
    std::vector<PROCESSENTRY32> entries_;
    size_t next_ = 0;
};

BOOL NextEntry(const char* api, HANDLE snapshot, LPPROCESSENTRY32 entry, bool first) {
    ApiCall call(api);
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto* object = LookupHandleAs<SnapshotObject>(snapshot);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (entry == nullptr || entry->dwSize < sizeof(PROCESSENTRY32)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (!object->Copy(first ? 0 : object->next(), *entry)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

DWORD StartProcess(ProcessRecord record) {
    if (Utf16FromUtf8(record.commandLine, Utf8Rule::kStrict).size() > kMaxCommandLineUnits) {
        return 0;
    }
    Table& t = T();
    record.pid = t.nextPid;
    t.nextPid += 4;
    HoldAll(record);
    t.processes.push_back(std::move(record));
    MarkDirty("machine");
    return t.processes.back().pid;
}

bool StopProcess(DWORD pid) {
    Table& t = T();
    auto it = std::find_if(t.processes.begin(), t.processes.end(),
                           [pid](const ProcessRecord& p) { return p.pid == pid; });
    if (it == t.processes.end()) {
        return false;
    }
    files::ReleaseProcessFiles(pid);
    t.processes.erase(it);
    MarkDirty("machine");
    return true;
}

std::vector<ProcessRecord> RunningProcesses() {
    return T().processes;
}

const ProcessRecord* FindProcess(DWORD pid) {
    for (const ProcessRecord& p : T().processes) {
        if (p.pid == pid) {
            return &p;
        }
    }
    return nullptr;
}

DWORD StartNewHardwareWizard(const std::string& instanceId) {
    // Windows runs one client-side install at a time; a second board waits for the first.
    for (const ProcessRecord& p : T().processes) {
        if (p.wizard) {
            return p.pid;
        }
    }
    ProcessRecord wizard;
    wizard.image = kWizardImage;
    wizard.commandLine =
        "rundll32.exe newdev.dll,ClientSideInstall \\\\.\\pipe\\PNP_Device_Install_Pipe_0.{" +
        std::to_string(++T().wizardPipes) + "}";
    wizard.holds = {kWizardImage, "C:\\Windows\\System32\\newdev.dll"};
    wizard.wizard = true;
    DWORD pid = StartProcess(std::move(wizard));
    AddTrayIcon(pid, "Installing device driver software");
    Journal("NewHardwareWizard", instanceId, pid);
    return pid;
}

}  // namespace sim

extern "C" {

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    sim::ApiCall call("CreateToolhelp32Snapshot");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    if (flags != TH32CS_SNAPPROCESS) {
        sim::NotModelled("CreateToolhelp32Snapshot", "snapshots of heaps, threads or modules");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    (void)processId;  // a process snapshot always lists every process
    return sim::AddHandle(std::make_unique<sim::SnapshotObject>(sim::SnapshotEntries()));
}

BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    return sim::NextEntry("Process32First", snapshot, entry, true);
}

BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    return sim::NextEntry("Process32Next", snapshot, entry, false);
}

DWORD WINAPI GetCurrentProcessId(void) {
    sim::ApiCall call("GetCurrentProcessId");
    // The calling program is not one of the machine's listed processes; it has an ID of its
    // own that no listed process takes.
    return 8;
}

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    sim::ApiCall call("OpenProcess", std::to_string(processId));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    (void)inheritHandle;
    if ((desiredAccess & 0xF0000000u) != 0) {
        sim::NotModelled("OpenProcess", "generic access rights");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if (processId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool kernel = processId == sim::kSystemPid;
    const sim::ProcessRecord* process = kernel ? nullptr : sim::FindProcess(processId);
    if (!kernel && process == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD beyond = desiredAccess & ~static_cast<DWORD>(sim::kAlwaysGranted);
    // The kernel's process is protected; a SYSTEM process opens only for a debugger.
    const bool denied =
        beyond != 0 &&
        (kernel || (process->system && !sim::ProcessPrivilegeEnabled(SE_DEBUG_NAME)));
    if (denied) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return sim::AddHandle(std::make_unique<sim::ProcessHandle>(processId, desiredAccess));
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
    sim::ApiCall call("TerminateProcess");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto* object = sim::LookupHandleAs<sim::ProcessHandle>(process);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((object->access() & PROCESS_TERMINATE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // A process that has already ended cannot be ended again.
    if (!sim::StopProcess(object->pid())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    sim::Journal("TerminateProcess", std::to_string(object->pid()) + "," + std::to_string(exitCode),
                 TRUE);
    return TRUE;
}

}  // extern "C"

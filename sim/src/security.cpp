// Access tokens and privileges of the calling process, and the machine's shutdown request.
//
// The process token is built on first use from the machine's settings: an elevated process
// holds the administrators' privileges, a filtered one the few a standard user holds. Enabled
// states live only as long as the process, as on Windows. A shutdown request is machine state:
// it stays pending in machine.json until a tool carries out the simulated restart.
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "choke.h"
#include "handles.h"
#include "machine.h"
#include "text.h"
#include "simwin/security.h"

namespace sim {
namespace {

struct PrivilegeName {
    const char* name;
    DWORD low;
};

// The well-known privilege LUIDs of winnt.h (SE_*_PRIVILEGE).
const PrivilegeName kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
    {"SeUndockPrivilege", 25},
    {"SeSyncAgentPrivilege", 26},
    {"SeEnableDelegationPrivilege", 27},
    {"SeManageVolumePrivilege", 28},
    {"SeImpersonatePrivilege", 29},
    {"SeCreateGlobalPrivilege", 30},
    {"SeTrustedCredManAccessPrivilege", 31},
    {"SeRelabelPrivilege", 32},
    {"SeIncreaseWorkingSetPrivilege", 33},
    {"SeTimeZonePrivilege", 34},
    {"SeCreateSymbolicLinkPrivilege", 35},
};

// What a standard user's (or a filtered administrator's) token holds.
const DWORD kStandardPrivileges[] = {19, 23, 25, 33, 34};
// What an elevated administrator's token holds.
const DWORD kElevatedPrivileges[] = {5,  8,  9,  10, 11, 12, 13, 14, 15, 17, 18,
                                     19, 20, 22, 23, 25, 28, 29, 30, 33, 34, 35};
// Enabled from the start in either token.
const DWORD kEnabledByDefault[] = {23, 29, 30};

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

const char* PrivilegeNameOf(DWORD low) {
    for (const PrivilegeName& p : kPrivileges) {
        if (p.low == low) {
            return p.name;
        }
    }
    return "?";
}

struct ProcessToken {
    bool built = false;
    std::map<DWORD, DWORD> held;  // LUID low part -> attributes
};

ProcessToken& RawToken() {
    static auto* token = new ProcessToken;
    return *token;
}

// The token, built from the machine's settings the first time the process asks for it.
ProcessToken& Token() {
    ProcessToken* token = &RawToken();
    if (!token->built) {
        token->built = true;
        if (Settings().elevated) {
            for (DWORD low : kElevatedPrivileges)
                token->held[low] = 0;
        } else {
            for (DWORD low : kStandardPrivileges)
                token->held[low] = 0;
        }
        for (DWORD low : kEnabledByDefault) {
            auto it = token->held.find(low);
            if (it != token->held.end())
                it->second = SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT;
        }
    }
    return *token;
}

class TokenObject : public HandleObject {
  public:
    explicit TokenObject(DWORD access) : access_(access) {}
    const char* kind() const override { return "token"; }
    DWORD access() const { return access_; }

  private:
    DWORD access_;
};

PendingShutdown& Shutdown() {
    static auto* request = new PendingShutdown;
    return *request;
}

nlohmann::json SaveShutdown() {
    const PendingShutdown& s = Shutdown();
    if (!s.pending) {
        return nullptr;
    }
    return {{"reboot", s.reboot},
            {"forceAppsClosed", s.forceAppsClosed},
            {"timeout", s.timeout},
            {"reason", s.reason},
            {"message", s.message}};
}

void LoadShutdown(const nlohmann::json& j) {
    PendingShutdown& s = Shutdown();
    s = PendingShutdown{};
    if (j.is_null()) {
        return;
    }
    s.pending = true;
    s.reboot = j.value("reboot", false);
    s.forceAppsClosed = j.value("forceAppsClosed", false);
    s.timeout = j.value("timeout", 0u);
    s.reason = j.value("reason", 0u);
    s.message = j.value("message", std::string());
}

struct Registration {
    Registration() {
        RegisterSection(
            {"shutdown", LoadShutdown, SaveShutdown, [] { Shutdown() = PendingShutdown{}; }});
        // The token is per process and never saved; a new machine gives a new token.
        RegisterSection({"process-token", [](const nlohmann::json&) { RawToken() = {}; },
                         [] { return nlohmann::json(); }, [] { RawToken() = {}; }});
    }
} registration;

}  // namespace

const PendingShutdown& CurrentShutdownRequest() {
    EnsureLoaded();
    return Shutdown();
}

void ClearShutdownRequest() {
    EnsureLoaded();
    if (Shutdown().pending) {
        Shutdown() = PendingShutdown{};
        MarkDirty("machine");
    }
}

bool ProcessPrivilegeEnabled(const char* name) {
    EnsureLoaded();
    for (const PrivilegeName& p : kPrivileges) {
        if (sim::EqualNoCase(p.name, name, sim::CaseRule::kAscii)) {
            auto it = Token().held.find(p.low);
            return it != Token().held.end() && (it->second & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return false;
}

}  // namespace sim

extern "C" {

HANDLE WINAPI GetCurrentProcess(void) {
    sim::ApiCall call("GetCurrentProcess");
    return sim::kCurrentProcess;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
    sim::ApiCall call("OpenProcessToken");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    // Only the calling process is modelled; another process's handle is not a process here.
    if (process != sim::kCurrentProcess) {
        return sim::FailWith(ERROR_INVALID_HANDLE);
    }
    if (token == nullptr) {
        return sim::FailWith(ERROR_NOACCESS);
    }
    if ((desiredAccess & ~static_cast<DWORD>(TOKEN_ALL_ACCESS)) != 0) {
        sim::NotModelled("OpenProcessToken", "generic or extra access rights");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    *token = sim::AddHandle(std::make_unique<sim::TokenObject>(desiredAccess));
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    sim::ApiCall call("LookupPrivilegeValueA", name != nullptr ? name : "");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    if (systemName != nullptr && *systemName != '\0') {
        sim::NotModelled("LookupPrivilegeValueA", "privileges of another system");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    if (name == nullptr || luid == nullptr) {
        return sim::FailWith(ERROR_NOACCESS);
    }
    for (const sim::PrivilegeName& p : sim::kPrivileges) {
        if (sim::EqualNoCase(p.name, name, sim::CaseRule::kAscii)) {
            luid->LowPart = p.low;
            luid->HighPart = 0;
            return TRUE;
        }
    }
    return sim::FailWith(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                  DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                                  PDWORD returnLength) {
    sim::ApiCall call("AdjustTokenPrivileges");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    auto* object = sim::LookupHandleAs<sim::TokenObject>(token);
    if (object == nullptr) {
        return sim::FailWith(ERROR_INVALID_HANDLE);
    }
    if ((object->access() & TOKEN_ADJUST_PRIVILEGES) == 0) {
        return sim::FailWith(ERROR_ACCESS_DENIED);
    }
    if (disableAll || previousState != nullptr || bufferLength != 0 || returnLength != nullptr) {
        sim::NotModelled("AdjustTokenPrivileges", "disabling all or returning the previous state");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    if (newState == nullptr) {
        return sim::FailWith(ERROR_INVALID_PARAMETER);
    }
    // The array runs past the declared one entry, as callers lay it out.
    const LUID_AND_ATTRIBUTES* entries = newState->Privileges;
    bool allAssigned = true;
    std::string args;
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = entries[i];
        auto it = sim::Token().held.find(entry.Luid.LowPart);
        if (entry.Luid.HighPart != 0 || it == sim::Token().held.end()) {
            allAssigned = false;
            continue;
        }
        if ((entry.Attributes & SE_PRIVILEGE_REMOVED) != 0) {
            sim::Token().held.erase(it);
        } else if ((entry.Attributes & SE_PRIVILEGE_ENABLED) != 0) {
            it->second |= SE_PRIVILEGE_ENABLED;
        } else {
            it->second &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
        }
        args += (args.empty() ? "" : ",") + std::string(sim::PrivilegeNameOf(entry.Luid.LowPart)) +
                ":" + std::to_string(entry.Attributes);
    }
    // Success even when some privilege is not held: the caller learns it from the last error.
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    sim::Journal("AdjustTokenPrivileges", args, TRUE);
    return TRUE;
}

BOOL WINAPI InitiateSystemShutdownExA(LPSTR machineName, LPSTR message, DWORD timeout,
                                      BOOL forceAppsClosed, BOOL rebootAfterShutdown,
                                      DWORD reason) {
    sim::ApiCall call("InitiateSystemShutdownExA", machineName != nullptr ? machineName : "");
    if (DWORD e = call.fault()) {
        return sim::FailWith(e);
    }
    if (machineName != nullptr && *machineName != '\0') {
        sim::NotModelled("InitiateSystemShutdownExA", "shutting down another machine");
        return sim::FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    }
    std::string args = "reboot=" + std::to_string(rebootAfterShutdown != FALSE) +
                       ",force=" + std::to_string(forceAppsClosed != FALSE) +
                       ",timeout=" + std::to_string(timeout) + ",reason=" + std::to_string(reason);
    if (!sim::ProcessPrivilegeEnabled(SE_SHUTDOWN_NAME)) {
        sim::Journal("InitiateSystemShutdownExA", args, FALSE);
        return sim::FailWith(ERROR_PRIVILEGE_NOT_HELD);
    }
    if (sim::Shutdown().pending) {
        sim::Journal("InitiateSystemShutdownExA", args, FALSE);
        return sim::FailWith(ERROR_SHUTDOWN_IN_PROGRESS);
    }
    sim::PendingShutdown& s = sim::Shutdown();
    s.pending = true;
    s.reboot = rebootAfterShutdown != FALSE;
    s.forceAppsClosed = forceAppsClosed != FALSE;
    s.timeout = timeout;
    s.reason = reason;
    s.message = message != nullptr ? message : "";
    sim::MarkDirty("machine");
    sim::Journal("InitiateSystemShutdownExA", args, TRUE);
    return TRUE;
}

}  // extern "C"

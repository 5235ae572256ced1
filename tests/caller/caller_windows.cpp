// The process-killer timer of the wizard suppression against real processes: the caller starts
// itself again with a wizard's command line and lets the timer end it, once through a message
// loop of its own (timers fire only while their thread dispatches) and once by calling the
// timer's procedure directly.
#include <string>

#include "boardkit/operations.h"
#include "platform/win32.h"
#include "tests/caller/checks.h"

namespace {

constexpr DWORD kEndWaitMs = 5000;
constexpr DWORD kLingerMs = 30000;
constexpr DWORD kExitCodeOfLinger = 3;

struct Child {
    HANDLE process;
    bool started;
};

Child StartWizardStandIn(const char* self, const char* tail) {
    std::string line = std::string("\"") + self + "\" --linger " + tail;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return {nullptr, false};
    }
    CloseHandle(info.hThread);
    return {info.hProcess, true};
}

bool Running(const Child& child) {
    return child.started && WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT;
}

DWORD ExitCodeOf(const Child& child) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(child.process, &code);
    return code;
}

void EndAndClose(Child& child) {
    if (!child.started) {
        return;
    }
    if (Running(child)) {
        TerminateProcess(child.process, 9);
        WaitForSingleObject(child.process, kEndWaitMs);
    }
    CloseHandle(child.process);
    child.started = false;
}

// Dispatches this thread's messages, so that its timers fire, until `child` has ended.
void DispatchUntilEnded(const Child& child) {
    const DWORD start = GetTickCount();
    while (Running(child) && GetTickCount() - start < kEndWaitMs) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
}

void ProcedureCalledDirectly(const char* self) {
    Child wizard = StartWizardStandIn(self, "rundll32.exe newdev.dll,ClientSideInstall");
    Check(wizard.started, "a wizard stand-in starts");
    const DWORD start = GetTickCount();
    while (Running(wizard) && GetTickCount() - start < kEndWaitMs) {
        KillerInstallProcTimer(0, 0, 0, 0, 0);
        Sleep(50);
    }
    Check(wizard.started && !Running(wizard) && ExitCodeOf(wizard) == 0,
          "KillerInstallProcTimer ends the wizard with exit code 0",
          std::to_string(ExitCodeOf(wizard)));
    EndAndClose(wizard);
}

}  // namespace

int LingerAsWizard() {
    Sleep(kLingerMs);
    return static_cast<int>(kExitCodeOfLinger);
}

void WizardProcesses(const char* self) {
    Child wizard = StartWizardStandIn(self, "rundll32.exe newdev.dll,ClientSideInstall");
    Child capitals = StartWizardStandIn(self, "RUNDLL32.EXE NEWDEV.DLL");
    Check(wizard.started && capitals.started, "two wizard stand-ins start");
    Check(KillBoardkitAPTimer(1), "KillBoardkitAPTimer starts the timer");
    DispatchUntilEnded(wizard);
    Check(wizard.started && !Running(wizard) && ExitCodeOf(wizard) == 0,
          "the running timer ends the process whose command line holds rundll32.exe newdev.dll",
          std::to_string(ExitCodeOf(wizard)));
    Check(KillBoardkitAPTimer(0), "KillBoardkitAPTimer stops the timer");
    Check(Running(capitals), "a command line in capitals is not the wizard's and runs on");
    EndAndClose(wizard);
    EndAndClose(capitals);
    ProcedureCalledDirectly(self);
}

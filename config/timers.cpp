// The wizard-suppression timers. Both run without a window, so their procedures run only while
// this thread is inside a platform call that dispatches messages (the device installer); a run
// that only starts a timer ends before it fires.
#include "config/timers.h"

#include "config/process_command_line.h"
#include "platform/privilege.h"
#include "platform/unique.h"

using platform::UniqueFile;
using platform::UniqueHandle;

namespace {

// The access that XP-era headers call PROCESS_ALL_ACCESS; newer Windows accepts it as well.
constexpr DWORD kTerminateAccess = 0x1F0FFF;

UINT_PTR killerTimer = 0;
UINT_PTR trayTimer = 0;

void CALLBACK KillerTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    KillerInstallProcTimer(0, 0, 0, 0, 0);
}

// Starts or stops one timer; a stop waits so that a tick already queued has run out.
void SwitchTimer(int start, UINT_PTR& id, TIMERPROC procedure) {
    if (start != 0) {
        if (id == 0) {
            id = SetTimer(nullptr, 0, kWizardTimerPeriodMs, procedure);
        }
        return;
    }
    KillTimer(nullptr, id);
    Sleep(kTimerStopWaitMs);
    id = 0;
}

}  // namespace

UINT_PTR KillerTimerId() {
    return killerTimer;
}

UINT_PTR TrayTimerId() {
    return trayTimer;
}

void CALLBACK SweepTrayIcons(HWND, UINT, UINT_PTR, DWORD) {
    HWND window = FindWindowA("Shell_TrayWnd", nullptr);
    const char* chain[] = {"TrayNotifyWnd", "SysPager", "ToolbarWindow32"};
    for (const char* cls : chain) {
        if (window == nullptr) {
            return;
        }
        window = FindWindowExA(window, nullptr, cls, nullptr);
    }
    if (window != nullptr) {
        PostMessageA(window, WM_MOUSEMOVE, 0, 0);
    }
}

extern "C" {

void KillerInstallProcTimer(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) BOARDKIT_NOEXCEPT {
    // A failed snapshot is INVALID_HANDLE_VALUE, the empty value of this owner.
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    // Needed to read the memory of processes that run under another account; once per tick.
    // Without it no process is read or ended on a half-made token: the tick passes them over.
    if (!platform::EnableTokenPrivilege(SE_DEBUG_NAME)) {
        return;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        std::string commandLine;
        if (!ReadProcessCommandLine(entry.th32ProcessID, commandLine) ||
            commandLine.find(kWizardCommandLineMark) == std::string::npos) {
            continue;
        }
        UniqueHandle process(OpenProcess(kTerminateAccess, FALSE, entry.th32ProcessID));
        if (process) {
            TerminateProcess(process.get(), 0);
        }
    }
}

bool KillBoardkitAPTimer(int start) BOARDKIT_NOEXCEPT {
    SwitchTimer(start, killerTimer, KillerTimerProc);
    return true;
}

bool EliminateInstalldevIconinSystemTrayTimer(int start) BOARDKIT_NOEXCEPT {
    SwitchTimer(start, trayTimer, SweepTrayIcons);
    return false;
}

}  // extern "C"

// The simulated machine's processes, windows and timers, for the other areas of sim, for
// tests and for boardkit-sim. Processes and windows are machine state (machine.json); timers
// and the virtual clock belong to the calling process and live only as long as it.
#pragma once
#include <string>
#include <vector>

#include "simwin/base.h"

namespace sim {

struct ProcessRecord {
    DWORD pid = 0;
    DWORD parentPid = 0;
    std::string image;               // full path, for example C:\Windows\System32\rundll32.exe
    std::string commandLine;         // UTF-8; the process's memory holds it as UTF-16
    std::vector<std::string> holds;  // files the process has loaded: they cannot be deleted
    bool system = false;             // runs as SYSTEM: reading or ending it needs SeDebugPrivilege
    bool wizard = false;             // the machine's new-hardware wizard
};

// Starts a process; returns its ID. The files it holds are held until it ends.
DWORD StartProcess(ProcessRecord record);
// Ends a process as TerminateProcess does; false when there is none with that ID.
bool StopProcess(DWORD pid);
// The running processes in start order (the machine's fixed System entries not included).
std::vector<ProcessRecord> RunningProcesses();
const ProcessRecord* FindProcess(DWORD pid);

// What Windows does when a board without a driver arrives: starts the new-hardware wizard
// (rundll32.exe newdev.dll,...) unless one already runs, and puts its icon in the
// notification area. Returns the wizard's process ID.
DWORD StartNewHardwareWizard(const std::string& instanceId);
extern const char* const kWizardImage;

struct WindowRecord {
    HWND handle = nullptr;
    HWND parent = nullptr;  // null: a top-level window
    std::string className;
    std::string title;
    DWORD ownerPid = 0;
};
// Every window, parents before their children, each level in creation (Z) order.
std::vector<WindowRecord> Windows();
// Adds a window; returns its handle.
HWND CreateSimWindow(HWND parent, const std::string& className, const std::string& title,
                     DWORD ownerPid = 0);
// Removes a window and its children.
void DestroySimWindow(HWND window);
// The notification area's chain Shell_TrayWnd > TrayNotifyWnd > SysPager > ToolbarWindow32:
// present on a new machine; a machine can be without it (a shell that has not started).
void RemoveTrayChain();
void EnsureTrayChain();

struct TrayIcon {
    DWORD ownerPid = 0;
    std::string tip;
};
// The icons the notification area shows. The icon of a process that has ended stays until
// the toolbar sees the mouse move over it, as Explorer's does.
std::vector<TrayIcon> TrayIcons();
void AddTrayIcon(DWORD ownerPid, const std::string& tip);

// The calling thread's timers: runs due timer procedures while virtual time advances by
// `milliseconds`, as a call that dispatches messages does. Simulated calls that dispatch
// messages (the device installer, dialogs) call this.
void PumpTimers(DWORD milliseconds);
// Virtual milliseconds since the process started (GetTickCount, Sleep and pumps advance it).
DWORD VirtualClock();
// The identifiers of the calling thread's running timers.
std::vector<UINT_PTR> RunningTimers();

}  // namespace sim

namespace sim {
// The in-memory image of ntdll.dll (what GetModuleHandleA("ntdll") returns; null when it could
// not be mapped), and GetProcAddress's answer for one of its exports.
HMODULE NtdllImageModule();
FARPROC NtdllExport(const char* name);
}  // namespace sim

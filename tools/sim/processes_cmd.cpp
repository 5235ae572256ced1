// boardkit-sim's process and window commands: start and stop processes that hold files, start
// the new-hardware wizard as Windows does for a driverless board, take the notification area
// away and back, and show processes, windows and the journal of timer firings.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "machine.h"
#include "sim/processes.h"
#include "sim_commands.h"

namespace tools {

namespace {

using Args = std::vector<std::string>;

const char* const kProcessUsage =
    "usage: boardkit-sim process start IMAGE [--cmdline TEXT] [--holds PATH]... [--system]\n"
    "       boardkit-sim process stop PID\n"
    "       boardkit-sim wizard start [INSTANCE-ID]\n"
    "       boardkit-sim tray remove|restore\n";

int ProcessUsage() {
    std::fputs(kProcessUsage, stderr);
    return 2;
}

bool ParsePid(const std::string& text, DWORD& pid) {
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return false;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (end == nullptr || *end != '\0' || value == 0 || value > 0xFFFFFFFFul) {
        return false;
    }
    pid = static_cast<DWORD>(value);
    return true;
}

// A Windows program is named by a full path; anything else would never match a path the
// program under test builds.
bool IsFullPath(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && path[2] == '\\';
}

int Start(const Args& args) {
    if (args.size() < 2 || !IsFullPath(args[1])) {
        return ProcessUsage();
    }
    sim::ProcessRecord record;
    record.image = args[1];
    record.commandLine = args[1];
    for (size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--system") {
            record.system = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return ProcessUsage();
        }
        if (args[i] == "--cmdline") {
            record.commandLine = args[++i];
        } else if (args[i] == "--holds" && IsFullPath(args[i + 1])) {
            record.holds.push_back(args[++i]);
        } else {
            return ProcessUsage();
        }
    }
    const DWORD pid = sim::StartProcess(record);
    if (pid == 0) {
        std::fprintf(stderr, "boardkit-sim: the command line is longer than Windows allows\n");
        return 1;
    }
    std::printf("%lu\n", static_cast<unsigned long>(pid));
    return 0;
}

int Stop(const Args& args) {
    DWORD pid = 0;
    if (args.size() != 2 || !ParsePid(args[1], pid)) {
        return ProcessUsage();
    }
    if (!sim::StopProcess(pid)) {
        std::fprintf(stderr, "boardkit-sim: no process %lu runs\n",
                     static_cast<unsigned long>(pid));
        return 1;
    }
    return 0;
}

std::string Handle(HWND window) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

void PrintWindow(const sim::WindowRecord& w, size_t depth) {
    const std::string indent(2 + 2 * depth, ' ');
    std::printf("%s%s %s \"%s\"", indent.c_str(), Handle(w.handle).c_str(), w.className.c_str(),
                w.title.c_str());
    if (w.ownerPid != 0) {
        std::printf(" pid=%lu", static_cast<unsigned long>(w.ownerPid));
    }
    std::printf("\n");
}

// Children below their parent, in the order FindWindowExA visits them. The depth bound ends
// the walk of a damaged image whose parents form a loop.
void PrintLevel(const std::vector<sim::WindowRecord>& windows, HWND parent, size_t depth) {
    if (depth > windows.size()) {
        return;
    }
    for (const sim::WindowRecord& w : windows) {
        if (w.parent == parent) {
            PrintWindow(w, depth);
            PrintLevel(windows, w.handle, depth + 1);
        }
    }
}

bool IsTimerLine(const std::string& line) {
    for (const char* api : {"SetTimer(", "KillTimer(", "WM_TIMER("}) {
        if (line.compare(0, std::string(api).size(), api) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int ProcessCommand(const Args& args) {
    if (!args.empty() && args[0] == "start") {
        return Start(args);
    }
    if (!args.empty() && args[0] == "stop") {
        return Stop(args);
    }
    return ProcessUsage();
}

int WizardCommand(const Args& args) {
    if (args.empty() || args[0] != "start" || args.size() > 2) {
        return ProcessUsage();
    }
    const std::string instanceId = args.size() == 2 ? args[1] : "";
    std::printf("%lu\n", static_cast<unsigned long>(sim::StartNewHardwareWizard(instanceId)));
    return 0;
}

int TrayCommand(const Args& args) {
    if (args.size() != 1 || (args[0] != "remove" && args[0] != "restore")) {
        return ProcessUsage();
    }
    if (args[0] == "remove") {
        sim::RemoveTrayChain();
    } else {
        sim::EnsureTrayChain();
    }
    return 0;
}

void ShowProcesses() {
    const std::vector<sim::ProcessRecord> processes = sim::RunningProcesses();
    std::printf("processes: %zu\n", processes.size());
    for (const sim::ProcessRecord& p : processes) {
        std::printf("  %lu %s%s%s\n    command line: %s\n", static_cast<unsigned long>(p.pid),
                    p.image.c_str(), p.system ? " (SYSTEM)" : "", p.wizard ? " (wizard)" : "",
                    p.commandLine.c_str());
        for (const std::string& held : p.holds) {
            std::printf("    holds %s\n", held.c_str());
        }
    }
}

void ShowWindows() {
    const std::vector<sim::WindowRecord> windows = sim::Windows();
    std::printf("windows: %zu\n", windows.size());
    PrintLevel(windows, nullptr, 0);
    const std::vector<sim::TrayIcon> icons = sim::TrayIcons();
    std::printf("tray icons: %zu\n", icons.size());
    for (const sim::TrayIcon& icon : icons) {
        const bool ended = sim::FindProcess(icon.ownerPid) == nullptr;
        std::printf("  pid=%lu \"%s\"%s\n", static_cast<unsigned long>(icon.ownerPid),
                    icon.tip.c_str(), ended ? " (process ended)" : "");
    }
}

void ShowTimers() {
    // Timers live only as long as the program that set them; what stays is the journal.
    std::ifstream in(sim::ImageDir() + "/journal.log", std::ios::binary);
    std::string line;
    size_t count = 0;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        if (IsTimerLine(line)) {
            lines.push_back(line);
            count += line.compare(0, 9, "WM_TIMER(") == 0 ? 1 : 0;
        }
    }
    std::printf("timer firings: %zu\n", count);
    for (const std::string& l : lines) {
        std::printf("  %s\n", l.c_str());
    }
}

}  // namespace tools

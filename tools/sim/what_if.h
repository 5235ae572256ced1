// What-if runs: a boardkit command run on a copy of a machine image, reported as its exit code,
// its output and what it changed, while the image itself stays exactly as it was.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tools {

// What a person compares between two states of a machine, each entry as one printable text.
struct MachineSnapshot {
    std::set<std::string> registryKeys;                 // "HKEY_LOCAL_MACHINE\..."
    std::map<std::string, std::string> registryValues;  // key path + "\n" + name -> data text
    std::map<std::string, std::string> devices;         // instance ID -> presence and problem
    std::map<std::string, std::string> driverStore;     // OEM copy name -> size and digest
    std::map<std::string, std::string> files;           // C:\... -> size and digest
    std::map<std::string, std::string> fileTexts;       // C:\... -> content, text under 64 KB
    std::map<std::string, std::string> certificates;    // store and serial -> size and digest
    std::map<std::string, std::string> processes;       // "pid N" -> image and command line
    std::map<std::string, std::string> windows;         // window or tray icon -> what it shows
};
// Reads the image in `imageDir` (which it locks while reading and never saves). Uses the
// process's simulated machine, which is left empty and held in memory.
MachineSnapshot TakeSnapshot(const std::string& imageDir);

// One change: its line ("+ " added, "- " removed, "~ " changed (old -> new)) and what it
// holds, where that is more than the line tells (the values of an added key, a file's text).
struct Change {
    std::string line;
    std::vector<std::string> details;
    bool operator==(const Change& other) const {
        return line == other.line && details == other.details;
    }
};
struct MachineDiff {
    std::vector<Change> registry;
    std::vector<Change> devices;
    std::vector<Change> driverStore;
    std::vector<Change> files;
    std::vector<Change> certificates;
    std::vector<Change> processes;
    std::vector<Change> windows;
    bool Empty() const;
};
MachineDiff DiffSnapshots(const MachineSnapshot& before, const MachineSnapshot& after);
// The lines of the changes, without their details.
std::vector<std::string> Lines(const std::vector<Change>& changes);

struct WhatIfRequest {
    std::string imageDir;
    std::vector<std::string> command;  // boardkit's arguments, without the program name
    std::string boardkit;              // the program to run; "" finds it beside boardkit-sim
};

struct WhatIfReport {
    bool ok = false;
    std::string error;  // why the command could not be tried
    int exitCode = 0;
    std::string standardOutput;
    std::string standardError;
    std::vector<std::string> journal;  // the state-changing calls of the run
    // The calls that tried to change a host file: the host's files are read-only to a what-if.
    std::vector<std::string> hostRefused;
    MachineDiff diff;
};
WhatIfReport WhatIf(const WhatIfRequest& request);
// The report as boardkit-sim what-if prints it, and the same as JSON for scripts.
std::string FormatWhatIf(const WhatIfReport& report);
std::string FormatWhatIfJson(const WhatIfReport& report);

// `boardkit-sim what-if IMAGE [--json] [--boardkit PATH] -- ARGS...`: the command's own exit
// code, or kWhatIfFailed when it could not be tried.
int WhatIfCommand(const std::vector<std::string>& args);
constexpr int kWhatIfFailed = 125;

// Copies the image's current state (its generation, pointer and journal) into the new folder
// `to`, taking the image's lock for reading so that no run changes it meanwhile.
bool CopyImage(const std::string& from, const std::string& to, std::string& error);

}  // namespace tools

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
};
// Reads the image in `imageDir` (which it locks while reading and never saves). Uses the
// process's simulated machine, which is left empty and held in memory.
MachineSnapshot TakeSnapshot(const std::string& imageDir);

// One line per change: "+ " added, "- " removed, "~ " changed (old -> new).
struct MachineDiff {
    std::vector<std::string> registry;
    std::vector<std::string> devices;
    std::vector<std::string> driverStore;
    std::vector<std::string> files;
    bool Empty() const;
};
MachineDiff DiffSnapshots(const MachineSnapshot& before, const MachineSnapshot& after);

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
    MachineDiff diff;
};
WhatIfReport WhatIf(const WhatIfRequest& request);
// The report as boardkit-sim what-if prints it.
std::string FormatWhatIf(const WhatIfReport& report);

// `boardkit-sim what-if IMAGE [--boardkit PATH] -- ARGS...`; the exit code.
int WhatIfCommand(const std::vector<std::string>& args);

// Copies the image's current state (its generation, pointer and journal) into the new folder
// `to`, taking the image's lock for reading so that no run changes it meanwhile.
bool CopyImage(const std::string& from, const std::string& to, std::string& error);

}  // namespace tools

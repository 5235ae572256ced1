// The machines the fault sweep runs each changing command on, each prepared so that the
// command does real work: records to remove, nodes to create or remove, package copies to
// replace, files to delete, a list to write.
#pragma once
#include <set>
#include <string>
#include <vector>

#include "fault_sweep.h"

namespace robustness {

// A scenario together with the exit codes its command documents.
struct SweepCase {
    Scenario scenario;
    std::set<int> exitCodes;
};

// One case per changing command of the Command Table (and per path of UpdateNewDriver that
// changes the machine differently: a present board, a remembered absent one, a board never
// seen), plus the query that moves a library aside and the two timer switches.
std::vector<SweepCase> SetupCases();      // drivers, updates, the demo device, refresh
std::vector<SweepCase> ConfigCases();     // records, lists, enable, disable, unload, timers
std::vector<SweepCase> UninstallCases();  // uninstall, removal of devices, ISA boards
std::vector<SweepCase> FrontEndCases();   // the certificate

// Paths the cases use, for the rules that judge their outcomes.
extern const char* const kDemoInf;
extern const char* const kIsaInf;
extern const char* const kPxInf;
extern const char* const kListFile;

}  // namespace robustness

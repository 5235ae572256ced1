// The anomaly loop over one command: run it once on a machine held in memory and count every
// simulated call it makes, then run it again on a fresh copy of the machine for each call in
// turn with that one call failing, and keep what each run left behind.
#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace robustness {

// Everything a run can leave on the machine, one text per fact: "reg:<key>" for a key,
// "reg:<key> :: <value>" for a value (type and bytes), "file:<path>" and "dir:<path>" for
// drive C:, "dev:<instance>" for a device node's presence and status, "cert:<store>" for the
// certificates of a machine store.
using Facts = std::map<std::string, std::string>;
Facts MachineFacts();

// What a run changed: each fact that differs, with its value before and after (none when the
// fact was not there).
struct FactChange {
    std::optional<std::string> before, after;
};
using Changes = std::map<std::string, FactChange>;
Changes Compare(const Facts& before, const Facts& after);

// One failed call: the Nth call of `api` in the run fails with `error`; when `onwards`, that
// call and every later call of `api` fail (a fault that does not go away).
struct FaultPoint {
    std::string api;
    unsigned nth = 0;
    DWORD error = 0;
    bool onwards = false;
};
std::string Describe(const FaultPoint& fault);

struct Scenario {
    std::string name;
    std::function<void()> build;     // fills the empty machine the command meets
    std::vector<std::string> words;  // the command line after the program name
};

struct FaultRun {
    FaultPoint fault;
    int exitCode = -1;
    std::string err;
    Changes changes;  // against the machine before the run
    Facts after;
};

struct Sweep {
    Facts before;
    int cleanExit = -1;
    std::string cleanOut;
    Changes clean;                          // what the run without a fault changed
    std::map<std::string, unsigned> calls;  // the calls of the run without a fault, by API
    std::vector<FaultRun> runs;
};

// The calls of a run that fail at most `perApi` times each: every occurrence when an API is
// called that often or less, else the first ones, a few spread over the rest, and the last.
std::vector<unsigned> Occurrences(unsigned count, unsigned perApi);

// Runs the scenario without a fault, then once for every selected occurrence of every call
// it made and for each error that call is failed with, and once more for each occurrence
// with that call failing from there on.
Sweep RunSweep(const Scenario& scenario, unsigned perApi);

}  // namespace robustness

// The anomaly loop over every command that changes the machine: each platform call the command
// makes fails once, in turn, on a fresh copy of a machine where the command does real work.
// Every run must end with an exit code its command documents and leave the machine as it was,
// as the run without a fault leaves it, or part way in a way the command's own failure
// handling describes; the rules below name each such way and why it is allowed.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>

#include "fault_machines.h"

namespace {

using namespace robustness;

// How many occurrences of one API a sweep fails (all of them for APIs called that often or
// less); bounded so the whole sweep stays within seconds under the sanitizers.
constexpr unsigned kPerApi = 16;

const char* const kRecordKey = "reg:HKLM\\SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device";
const char* const kMapValue = "reg:HKLM\\SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\MapEntry :: ";

// A change that is not part of the run without a fault but that the command documents for a
// failure of one of `apis` (any API when empty), with one of `errors` (any when empty), at the
// `nth` call of the API (any when 0), and only for a fault that does not go away when
// `lasting`.
struct Allowance {
    std::string pattern;  // regular expression over the fact's name
    std::set<std::string> apis;
    const char* why;
    std::set<DWORD> errors = {};
    unsigned nth = 0;
    bool lasting = false;
};

struct Rules {
    std::vector<Allowance> allow;
    std::vector<unsigned> records;  // records whose map entry must go with them
    bool listFile = false;          // a list command: judged by the list file's lines
    bool unchanged = false;         // a query or switch: nothing changes, fault or not
};

// A node whose creation fails part way is left as far as it was built, not cleaned up: an
// element that has its hardware ID, or has none, and was never registered. Only the
// creation's own calls: the hardware ID is the first property written, so a failed later
// write (the demo device's location) must still remove the node.
const Allowance kPhantomNode = {"ROOT\\\\TOLBOARDS\\\\0000",
                                {"SetupDiRegisterDeviceInfo"},
                                "a node whose registration fails is left as far as it was built"};
const Allowance kPhantomNodeWithoutIds = {
    "ROOT\\\\TOLBOARDS\\\\0000",
    {"SetupDiSetDeviceRegistryPropertyA"},
    "a node whose hardware-ID write (the first property written) fails is left unregistered",
    {},
    1};
const Allowance kCopyGoneUnderDevice = {
    ":: InfPath$",
    {},
    "copies go with SUOI_FORCEDELETE even while a device uses them, so a device the run "
    "could not find or remove keeps a driver key naming a removed copy"};

std::map<std::string, Rules> RulesByCase() {
    std::map<std::string, Rules> rules;
    rules["InstallDemoDevice"].allow = {
        kPhantomNode,
        kPhantomNodeWithoutIds,
        {"ROOT\\\\TOLBOARDS\\\\0000 :: LocationInformation$",
         {"RegOpenKeyExA", "RegEnumKeyA"},
         "a store that is not there, or whose subkeys end early, holds no number the board-number "
         "scan can see, so the lowest number is taken",
         {ERROR_FILE_NOT_FOUND, ERROR_NO_MORE_ITEMS}}};
    rules["InstallIsaDevicePnp"].allow = {kPhantomNode, kPhantomNodeWithoutIds};
    rules["InstallDriver"].allow = {
        {":: ConfigFlags$",
         {"FindFirstFileA", "LoadLibraryExA", "GetProcAddress",
          "UpdateDriverForPlugAndPlayDevicesA"},
         "the re-enumeration before the INF check retried the driverless board and marked its "
         "install failed; only the install that this failure stopped would have cleared that"}};
    rules["UpdateNewDriver remembered absent board"].allow = {
        // One failed read passes over one entry, and the board has two: only reads that keep
        // failing can hide both.
        {"TOLVANPRE :: TolUa08$",
         {"SetupDiGetDeviceRegistryPropertyA"},
         "entries whose hardware IDs cannot be read are passed over; with no entry of the board "
         "seen the package is recorded as pre-installed",
         {},
         0,
         true},
        {"TOLVANPRE :: TolUa08$",
         {"SetupDiEnumDeviceInfo"},
         "an enumeration that reports its end early holds no entry of the board, so the package "
         "is recorded as pre-installed",
         {ERROR_NO_MORE_ITEMS}}};
    rules["IsDeviceUsing"].unchanged = true;
    rules["IsDeviceUsing"].allow = {
        {"TolPx10s?\\.dll$",
         {"CopyFileA", "DeleteFileA"},
         "a library that cannot be copied back stays as its side copy, answered as in use "
         "(IsDeviceUsingNeverLosesTheLibrary); a side copy that cannot be removed stays"}};
    for (const char* name : {"RemoveConfigurationByKernelKey", "RemoveConfigurationByProductID"}) {
        rules[name].records = {1, 2, 3};
    }
    rules["RemoveConfigurationByDeviceNum"].records = {1};
    rules["UninstallDriver"].records = {4, 5};
    rules["UninstallDriver"].allow = {kCopyGoneUnderDevice};
    rules["UninstallNonePnpDriver"].records = {2};
    rules["UninstallNonePnpDriver"].allow = {kCopyGoneUnderDevice};
    for (const char* name : {"GetDeviceInstalledList", "GetDevicePreinstalledList",
                             "GetDeviceExistNotInstalledList"}) {
        rules[name].listFile = true;
    }
    rules["KillBoardkitAPTimer"].unchanged = true;
    rules["EliminateInstalldevIconinSystemTrayTimer"].unchanged = true;
    return rules;
}

std::string Show(const std::optional<std::string>& value) {
    return value ? "\"" + value->substr(0, 48) + "\"" : "(none)";
}

bool Allowed(const Rules& rules, const std::string& fact, const FaultPoint& fault) {
    for (const Allowance& a : rules.allow) {
        if ((a.apis.empty() || a.apis.count(fault.api) != 0) &&
            (a.errors.empty() || a.errors.count(fault.error) != 0) &&
            (a.nth == 0 || a.nth == fault.nth) && (!a.lasting || fault.onwards) &&
            std::regex_search(fact, std::regex(a.pattern))) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A list run ends with 16 exactly when its file is there, and the file holds whole lines of
// the list the run without a fault writes, in its order: a scan that a failure ended lists
// less, never something else.
void CheckListFile(const Sweep& sweep, const FaultRun& run, std::vector<std::string>& complaints) {
    const std::string fact = std::string("file:") + kListFile;
    const auto written = run.after.find(fact);
    const auto clean = sweep.clean.find(fact);
    if ((run.exitCode == 16) != (written != run.after.end())) {
        complaints.push_back("exit " + std::to_string(run.exitCode) + " but the list file is " +
                             (written != run.after.end() ? "there" : "missing"));
    }
    if (written == run.after.end() || clean == sweep.clean.end()) {
        return;
    }
    const std::vector<std::string> whole = Lines(clean->second.after.value_or(""));
    size_t next = 0;
    for (const std::string& line : Lines(written->second)) {
        while (next < whole.size() && whole[next] != line) {
            ++next;
        }
        if (next == whole.size()) {
            complaints.push_back("list line not in the whole list: " + line);
            return;
        }
        ++next;
    }
}

// A record and its map entry go together, except where the failure handling says one goes
// without the other: the entry is deleted only after its record is gone, so an entry whose
// key cannot be opened or value deleted stays behind its deleted record, and a record that
// resists deletion keeps its entry.
void CheckRecords(const Rules& rules, const FaultRun& run, std::vector<std::string>& complaints) {
    for (unsigned n : rules.records) {
        char record[8];
        std::snprintf(record, sizeof record, "%03u", n);
        const bool recordThere = run.after.count(kRecordKey + std::string(record)) != 0;
        const bool entryThere = run.after.count(kMapValue + std::to_string(n)) != 0;
        const std::string& api = run.fault.api;
        if (!recordThere && entryThere && api != "RegOpenKeyExA" && api != "RegDeleteValueA") {
            complaints.push_back("record " + std::to_string(n) + " gone, its map entry left");
        }
        if (recordThere && !entryThere) {
            complaints.push_back("map entry " + std::to_string(n) + " gone, its record left");
        }
    }
}

std::vector<std::string> Complaints(const SweepCase& c, const Rules& rules, const Sweep& sweep,
                                    const FaultRun& run) {
    std::vector<std::string> complaints;
    if (c.exitCodes.count(run.exitCode) == 0) {
        complaints.push_back("exit code " + std::to_string(run.exitCode) + " is not documented");
    }
    for (const auto& [fact, change] : run.changes) {
        if (rules.listFile && fact == std::string("file:") + kListFile) {
            continue;
        }
        const auto clean = sweep.clean.find(fact);
        const bool partOfTheWork =
            !rules.unchanged && clean != sweep.clean.end() && clean->second.after == change.after;
        if (!partOfTheWork && !Allowed(rules, fact, run.fault)) {
            complaints.push_back(fact + ": " + Show(change.before) + " -> " + Show(change.after));
        }
    }
    if (rules.listFile) {
        CheckListFile(sweep, run, complaints);
    }
    CheckRecords(rules, run, complaints);
    return complaints;
}

struct Totals {
    unsigned cases = 0, apis = 0, calls = 0, runs = 0;
};

void SweepAll(const std::vector<SweepCase>& cases, Totals& totals) {
    const std::map<std::string, Rules> rules = RulesByCase();
    for (const SweepCase& c : cases) {
        SCOPED_TRACE(c.scenario.name);
        const auto found = rules.find(c.scenario.name);
        const Rules r = found != rules.end() ? found->second : Rules{};
        const Sweep sweep = RunSweep(c.scenario, kPerApi);
        // The run without a fault succeeds and, for a changing command, changes something.
        EXPECT_TRUE(sweep.cleanExit == 0 || sweep.cleanExit == 16 || sweep.cleanExit == 17)
            << sweep.cleanExit;
        EXPECT_EQ(sweep.clean.empty(), r.unchanged) << "changes without a fault";
        for (const FaultRun& run : sweep.runs) {
            for (const std::string& complaint : Complaints(c, r, sweep, run)) {
                ADD_FAILURE() << c.scenario.name << ", " << Describe(run.fault) << ": "
                              << complaint;
            }
        }
        unsigned calls = 0;
        for (const auto& entry : sweep.calls) {
            calls += entry.second;
        }
        std::printf("%-44s %3zu APIs, %4u calls, %4zu runs with a fault\n", c.scenario.name.c_str(),
                    sweep.calls.size(), calls, sweep.runs.size());
        std::string apis;
        for (const auto& entry : sweep.calls) {
            apis += " " + entry.first + "x" + std::to_string(entry.second);
        }
        std::printf("    fails:%s\n", apis.c_str());
        totals.cases += 1;
        totals.apis += static_cast<unsigned>(sweep.calls.size());
        totals.calls += calls;
        totals.runs += static_cast<unsigned>(sweep.runs.size());
    }
}

void Report(const Totals& totals) {
    std::printf("fault sweep: %u cases, %u distinct calls per case summed, %u calls, %u faults\n",
                totals.cases, totals.apis, totals.calls, totals.runs);
    ::testing::Test::RecordProperty("faults_injected", static_cast<int>(totals.runs));
}

TEST(FaultSweep, DriverSetupCommandsEndWholeOrAsTheirFailureHandlingSays) {
    Totals totals;
    SweepAll(SetupCases(), totals);
    Report(totals);
}

TEST(FaultSweep, ConfigurationCommandsEndWholeOrAsTheirFailureHandlingSays) {
    Totals totals;
    SweepAll(ConfigCases(), totals);
    Report(totals);
}

TEST(FaultSweep, UninstallAndLegacyCommandsEndWholeOrAsTheirFailureHandlingSays) {
    Totals totals;
    SweepAll(UninstallCases(), totals);
    Report(totals);
}

TEST(FaultSweep, TheCertificateCommandEndsWholeOrAsItsFailureHandlingSays) {
    Totals totals;
    SweepAll(FrontEndCases(), totals);
    Report(totals);
}

// The judge itself: a record left without its entry, a change the command never makes, an
// exit code the row does not document and a list line out of order are each reported.
TEST(FaultSweep, TheJudgeReportsWhatIsHalfDone) {
    const std::string record = kRecordKey + std::string("001");
    const std::string entry = kMapValue + std::string("1");
    const std::string list = std::string("file:") + kListFile;
    SweepCase c{{"judged", [] {}, {}}, {0, 2}};
    Sweep sweep;
    sweep.clean[record] = {std::string(), std::nullopt};
    sweep.clean[entry] = {std::string("1"), std::nullopt};
    FaultRun run;
    run.fault = {"RegEnumKeyA", 1, ERROR_ACCESS_DENIED};
    run.exitCode = 0;
    run.changes[record] = {std::string(), std::nullopt};
    run.after[entry] = "1";
    Rules rules;
    rules.records = {1};
    EXPECT_EQ(Complaints(c, rules, sweep, run),
              std::vector<std::string>{"record 1 gone, its map entry left"});
    run.exitCode = 5;
    run.changes["reg:HKLM\\SOFTWARE :: Stray"] = {std::nullopt, std::string("4:01000000")};
    EXPECT_EQ(Complaints(c, rules, sweep, run).size(), 3u);

    const SweepCase listCase{{"judged list", [] {}, {}}, {16, 17}};
    Rules listRules;
    listRules.listFile = true;
    Sweep lists;
    lists.clean[list] = {std::nullopt, std::string("a\nb\nc\n")};
    FaultRun shorter;
    shorter.exitCode = 16;
    shorter.after[list] = "a\nc\n";
    EXPECT_TRUE(Complaints(listCase, listRules, lists, shorter).empty());
    shorter.after[list] = "c\na\n";
    EXPECT_EQ(Complaints(listCase, listRules, lists, shorter).size(), 1u);
    shorter.after.clear();
    EXPECT_EQ(Complaints(listCase, listRules, lists, shorter).size(), 1u);  // 16 without a file
}

// The library a query moves aside is never lost: after any one failure its bytes are still
// under its own name, or under the side copy's name with the answer "in use".
TEST(FaultSweep, IsDeviceUsingNeverLosesTheLibrary) {
    SweepCase query;
    for (const SweepCase& c : SetupCases()) {
        if (c.scenario.name == "IsDeviceUsing") {
            query = c;
        }
    }
    ASSERT_FALSE(query.scenario.name.empty());
    const Sweep sweep = RunSweep(query.scenario, kPerApi);
    std::set<std::string> keptAside;
    for (const FaultRun& run : sweep.runs) {
        for (const char* folder : {"System32", "SysWOW64"}) {
            const std::string library = std::string("file:C:\\Windows\\") + folder + "\\TolPx10";
            const std::string bytes = sweep.before.at(library + ".dll");
            const auto there = run.after.find(library + ".dll");
            if (there != run.after.end()) {
                EXPECT_EQ(there->second, bytes) << Describe(run.fault);
                continue;
            }
            const auto aside = run.after.find(library + "s.dll");
            ASSERT_NE(aside, run.after.end()) << Describe(run.fault) << ": " << folder;
            EXPECT_EQ(aside->second, bytes) << Describe(run.fault);
            EXPECT_EQ(run.exitCode, 16) << Describe(run.fault);
            keptAside.insert(folder);
        }
    }
    // The sweep reaches the failed restore in both folders.
    EXPECT_EQ(keptAside.size(), 2u);
}

}  // namespace

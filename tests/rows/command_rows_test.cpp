// Every row of the Command Table run through the program's own entry: what a short, a long or a
// remote command line gives, and which exit code each answer of the row's operation becomes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "choke.h"
#include "frontend/entry.h"
#include "legacy/legacy_machine.h"
#include "setup/setup_machine.h"
#include "tools/machine_builder.h"

namespace {

// Exit codes as setup programs read them.
constexpr int kDone = 0, kFailed = 2, kBadUsage = 3, kYes = 16, kNo = 17;

const char* const kProgram = "bk.exe";
const char* const kPx1001Inf = "C:\\Drivers\\PX1001\\TolPx10s.inf";
const char* const kPx1001Id = "PCI\\VEN_5AE3&DEV_1001";
const char* const kList = "C:\\lists\\out.txt";

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the program's entry on `words` (the program name is put in front) and catches both
// streams.
ProgramRun RunProgram(std::vector<std::string> words) {
    words.insert(words.begin(), kProgram);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    ProgramRun run;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run.exitCode = RunCommandLine(CommandTable(), static_cast<int>(words.size()), argv.data());
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

// The two echo lines and nothing else: what a command line that never reaches its operation
// prints on standard output.
std::string EchoOnly(const std::vector<std::string>& words, const std::string& command) {
    std::string text = std::string("argv[0]=") + kProgram + "\n";
    for (size_t i = 0; i < words.size(); ++i) {
        text += "argv[" + std::to_string(i + 1) + "]=" + words[i] + "\n";
    }
    return text + "cmd = " + command + "\n";
}

std::string InvalidUse(const std::string& command) {
    return std::string(kProgram) + ": Invalid use of " + command +
           ".\r\nFor more information, type: " + kProgram + " help " + command + "\n";
}

// --- Machine states --------------------------------------------------------------------------

// Two demo records (numbers 3 and 12, boards 1 and 2) with their map entries, without boards.
void DemoRecords() {
    ASSERT_TRUE(tools::AddDemoRecord(3, 1));
    ASSERT_TRUE(tools::AddDemoRecord(12, 2));
    ASSERT_TRUE(tools::AddMapEntry(3, 1));
    ASSERT_TRUE(tools::AddMapEntry(12, 2));
}

// The same records with their present boards.
void DemoRecordsAndBoards() {
    DemoRecords();
    EXPECT_NE(tools::AddDemoBoard(1), "");
    EXPECT_NE(tools::AddDemoBoard(2), "");
}

void Px1001Package() {
    ASSERT_TRUE(
        tools::AddBoardPackage(kPx1001Inf, kPx1001Id, "TolPx10S", "TolPx10s.sys", "2.0.0.0"));
}

void EmptyStore() {
    ASSERT_TRUE(tools::AddEmptyStore());
}

void ListFolder() {
    EXPECT_TRUE(tools::WriteMachineFile("C:\\lists\\keep.txt", ""));
}

// --- The rows --------------------------------------------------------------------------------

// One answer of a row's operation: the machine that brings it, the arguments, the exit code.
struct Outcome {
    std::function<void()> machine;
    std::vector<std::string> args;
    int exitCode;
};

struct Row {
    std::string name;  // as the table writes it, which is what the messages show
    int required;      // arguments the command needs
    Outcome good;      // success or yes
    Outcome bad;       // failure or no
};

const std::string kDemoInf = legacy_test::kDemoInf;
const std::string kIsaInf = legacy_test::kIsaInf;
const std::string kWidgetInf = BK_SOURCE_DIR "/tests/fixtures/inf/widget/widget.inf";

std::vector<Row> OperationRows() {
    auto nothing = [] {};
    auto packages = [] { legacy_test::InstallPackages(); };
    return {
        {"InstallDemoDevice",
         1,
         {packages, {kDemoInf}, kDone},
         {[] {
              legacy_test::InstallPackages();
              tools::FailCall("UpdateDriverForPlugAndPlayDevicesA", "", ERROR_ACCESS_DENIED);
          },
          {kDemoInf},
          kFailed}},
        {"UninstallDriver",
         1,
         {EmptyStore, {"TolDemoS"}, kDone},
         {EmptyStore, {"NOSUCHKEY"}, kFailed}},
        {"IsDeviceExistInstalled",
         1,
         {[] {
              EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}}), nullptr);
          },
          {"DEMO"},
          kYes},
         {nothing, {"DEMO"}, kNo}},
        {"RemoveDevice",
         1,
         {[] {
              EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0001", {"DEMO"}}), nullptr);
              sim::SetPresence(*sim::FindDevice("ROOT\\DAQBOARD\\0001"), sim::Presence::Phantom);
          },
          {"DEMO"},
          kDone},
         {nothing, {""}, kFailed}},
        {"RefreshDevices",
         0,
         {nothing, {}, kDone},
         {[] { tools::FailCall("CM_Locate_DevNodeA", "", CR_FAILURE); }, {}, kFailed}},
        {"InstallIsaDevicePnp",
         2,
         {packages, {kIsaInf, "IX104"}, kDone},
         {packages, {kIsaInf, "PCL818L"}, kFailed}},
        {"InstallDriver",
         2,
         {[] {
              Px1001Package();
              EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_1001\\3&1&0&18",
                                         {kPx1001Id},
                                         sim::Presence::Present,
                                         CM_PROB_FAILED_INSTALL}),
                        nullptr);
          },
          {kPx1001Inf, kPx1001Id},
          kDone},
         {nothing, {kPx1001Inf, kPx1001Id}, kFailed}},
        {"UpdateDriver",
         2,
         {[] {
              EXPECT_NE(tools::AddBoard({"PCI\\VEN_1234&DEV_5678\\3&1&0&20",
                                         {"PCI\\VEN_1234&DEV_5678"},
                                         sim::Presence::Present,
                                         28}),
                        nullptr);
          },
          {kWidgetInf, "PCI\\VEN_1234&DEV_5678"},
          kDone},
         {[] {
              EXPECT_NE(tools::AddBoard({"PCI\\VEN_1234&DEV_5678\\3&1&0&20",
                                         {"PCI\\VEN_1234&DEV_5678"},
                                         sim::Presence::Present,
                                         28}),
                        nullptr);
              tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
          },
          {kWidgetInf, "PCI\\VEN_1234&DEV_5678"},
          kFailed}},
        {"IsDemoDeviceInstalled",
         0,
         {[] {
              EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}}), nullptr);
          },
          {},
          kYes},
         {nothing, {}, kNo}},
        {"GetDeviceInstalledList",
         1,
         {[] {
              EmptyStore();
              ListFolder();
          },
          {kList},
          kYes},
         {EmptyStore, {kList}, kNo}},
        {"GetDevicePreinstalledList", 1, {ListFolder, {kList}, kYes}, {nothing, {kList}, kNo}},
        {"GetDeviceExistNotInstalledList", 1, {ListFolder, {kList}, kYes}, {nothing, {kList}, kNo}},
        {"IsDeviceExist",
         1,
         {[] {
              EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}}), nullptr);
          },
          {"DEMO"},
          kYes},
         {nothing, {"DEMO"}, kNo}},
        {"UpdateNewDriver",
         2,
         {Px1001Package, {kPx1001Inf, kPx1001Id}, kDone},
         {nothing, {kPx1001Inf, kPx1001Id}, kFailed}},
        {"UpdateIsaDriver",
         2,
         {[] {
              legacy_test::InstallPackages();
              EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
          },
          {kIsaInf, "IX10"},
          kDone},
         {[] {
              legacy_test::InstallPackages();
              EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
              tools::FailCall("UpdateDriverForPlugAndPlayDevicesA", "", ERROR_ACCESS_DENIED);
          },
          {kIsaInf, "IX10"},
          kFailed}},
        {"IsDeviceUsing",
         1,
         {[] {
              EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}}), nullptr);
              EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\TolDemo.dll", "MZ"));
              sim::files::HoldFile("C:\\Windows\\system32\\TolDemo.dll", 4242);
          },
          {"DEMO"},
          kYes},
         {[] {
              EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}}), nullptr);
              EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\TolDemo.dll", "MZ"));
          },
          {"DEMO"},
          kNo}},
        {"RemoveConfigurationByKernelKey",
         1,
         {DemoRecordsAndBoards, {"TolDemoS"}, kDone},
         {nothing, {"TolDemoS"}, kFailed}},
        {"RemoveConfigurationByProductID",
         1,
         {DemoRecordsAndBoards, {"0x0"}, kDone},
         {nothing, {"0x0"}, kFailed}},
        {"RemoveConfigurationByDeviceNum",
         1,
         {DemoRecordsAndBoards, {"3"}, kDone},
         {nothing, {"3"}, kFailed}},
        {"IsDeviceExistNotInstall",
         1,
         {[] {
              EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0001\\1",
                                         {"PCI\\VEN_5AE3&DEV_0001"},
                                         sim::Presence::Present,
                                         CM_PROB_FAILED_INSTALL}),
                        nullptr);
          },
          {"PCI\\VEN_5AE3&DEV_0001"},
          kYes},
         {[] {
              EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0001\\1", {"PCI\\VEN_5AE3&DEV_0001"}}),
                        nullptr);
          },
          {"PCI\\VEN_5AE3&DEV_0001"},
          kNo}},
        // The timer switches end with 0 whatever their operation answers.
        {"KillBoardkitAPTimer",
         1,
         {nothing, {"1"}, kDone},
         {[] { tools::FailCall("SetTimer", "", ERROR_NOT_ENOUGH_MEMORY); }, {"1"}, kDone}},
        {"UninstallNonePnpDriver",
         2,
         {EmptyStore, {kDemoInf, "DEMO"}, kDone},
         {EmptyStore, {kDemoInf, ""}, kFailed}},
        {"EliminateInstalldevIconinSystemTrayTimer",
         1,
         {nothing, {"1"}, kDone},
         {[] { tools::FailCall("SetTimer", "", ERROR_NOT_ENOUGH_MEMORY); }, {"1"}, kDone}},
        {"UnloadDevice", 1, {DemoRecordsAndBoards, {"3"}, kDone}, {DemoRecords, {"3"}, kFailed}},
        {"EnableOrDisableDevice",
         2,
         {DemoRecordsAndBoards, {"1", "3"}, kDone},
         {[] {
              DemoRecordsAndBoards();
              tools::FailCall("SetupDiChangeState", "", 0xE000020B);
          },
          {"1", "3"},
          kFailed}},
    };
}

class CommandRows : public setup_test::MachineTest {
  protected:
    void TearDown() override {
        sim::files::ReleaseAllFiles();
        // A timer a row started must not fire into the next test.
        RunProgram({"KillBoardkitAPTimer", "0"});
        RunProgram({"EliminateInstalldevIconinSystemTrayTimer", "0"});
        MachineTest::TearDown();
    }
    void Fresh(const Outcome& outcome) {
        sim::files::ReleaseAllFiles();
        sim::ResetToEmpty();
        outcome.machine();
    }
    // Runs `words` where the command must be refused before its operation runs.
    void ExpectRefused(const std::string& name, std::vector<std::string> words) {
        const size_t journal = sim::JournalLines().size();
        const ProgramRun run = RunProgram(words);
        EXPECT_EQ(run.exitCode, kBadUsage);
        EXPECT_EQ(run.out, EchoOnly(words, words[words[0][0] == '-' ? 1 : 0]));
        EXPECT_EQ(run.err, InvalidUse(name));
        EXPECT_EQ(sim::JournalLines().size(), journal) << "the operation changed the machine";
    }
};

std::vector<std::string> Command(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> words{name};
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

TEST_F(CommandRows, EachAnswerOfTheOperationBecomesTheRowsExitCode) {
    for (const Row& row : OperationRows()) {
        SCOPED_TRACE(row.name);
        for (const Outcome* outcome : {&row.good, &row.bad}) {
            Fresh(*outcome);
            const ProgramRun run = RunProgram(Command(row.name, outcome->args));
            EXPECT_EQ(run.exitCode, outcome->exitCode) << run.out;
            // Only a failure is reported, and it names the program.
            EXPECT_EQ(run.err,
                      outcome->exitCode == kFailed ? std::string(kProgram) + " failed.\n" : "");
        }
    }
}

TEST_F(CommandRows, TooFewArgumentsAreRefusedBeforeTheOperationRuns) {
    for (const Row& row : OperationRows()) {
        if (row.required == 0) {
            continue;
        }
        SCOPED_TRACE(row.name);
        Fresh(row.good);
        std::vector<std::string> args = row.good.args;
        args.resize(static_cast<size_t>(row.required - 1));
        ExpectRefused(row.name, Command(row.name, args));
    }
}

TEST_F(CommandRows, WordsBeyondTheRequiredOnesAreIgnored) {
    for (const Row& row : OperationRows()) {
        if (row.required == 0 || row.name == "RemoveDevice") {
            continue;  // RemoveDevice reads a second word as a device number
        }
        SCOPED_TRACE(row.name);
        Fresh(row.good);
        std::vector<std::string> args = row.good.args;
        args.push_back("surplus");
        args.push_back("words");
        EXPECT_EQ(RunProgram(Command(row.name, args)).exitCode, row.good.exitCode);
    }
}

TEST_F(CommandRows, CommandsWithoutArgumentsRefuseAnyArgument) {
    for (const Row& row : OperationRows()) {
        if (row.required != 0) {
            continue;
        }
        SCOPED_TRACE(row.name);
        Fresh(row.good);
        ExpectRefused(row.name, Command(row.name, {"0"}));
    }
    // IsDemoDeviceInstalled was one of them: check that the loop met it.
    Fresh(Outcome{[] {}, {}, 0});
    ExpectRefused("IsDemoDeviceInstalled", {"IsDemoDeviceInstalled", "x"});
}

// Any machine name is refused, a plain one as well as one past MAX_PATH or of bytes above 0x7F.
TEST_F(CommandRows, AMachineOptionIsRefusedEvenWithCompleteArguments) {
    const std::string names[] = {"\\\\buildhost", std::string(261, 'A'), std::string(100000, 'A'),
                                 "\xC4\xD6\xDC\xE9\xFF\x80\x81\x9F\xA0"};
    for (const Row& row : OperationRows()) {
        for (const std::string& name : names) {
            SCOPED_TRACE(row.name + " on a machine name of " + std::to_string(name.size()));
            Fresh(row.good);
            std::vector<std::string> words = Command(row.name, row.good.args);
            words.insert(words.begin(), "-m:" + name);
            ExpectRefused(row.name, words);
        }
    }
}

TEST_F(CommandRows, TheTableHoldsTwentyEightRowsInHelpOrder) {
    const std::vector<std::string> expected = {"help",
                                               "InstallDemoDevice",
                                               "UninstallDriver",
                                               "IsDeviceExistInstalled",
                                               "RemoveDevice",
                                               "RefreshDevices",
                                               "InstallIsaDevicePnp",
                                               "InstallDriver",
                                               "UpdateDriver",
                                               "IsDemoDeviceInstalled",
                                               "GetDeviceInstalledList",
                                               "GetDevicePreinstalledList",
                                               "GetDeviceExistNotInstalledList",
                                               "IsDeviceExist",
                                               "UpdateNewDriver",
                                               "UpdateIsaDriver",
                                               "IsDeviceUsing",
                                               "RemoveConfigurationByKernelKey",
                                               "RemoveConfigurationByProductID",
                                               "RemoveConfigurationByDeviceNum",
                                               "IsDeviceExistNotInstall",
                                               "KillBoardkitAPTimer",
                                               "UninstallNonePnpDriver",
                                               "EliminateInstalldevIconinSystemTrayTimer",
                                               "UnloadDevice",
                                               "EnableOrDisableDevice",
                                               "?",
                                               "InstallCertificate"};
    std::vector<std::string> names;
    for (const CommandEntry* row = CommandTable(); row->name != nullptr; ++row) {
        names.push_back(row->name);
    }
    EXPECT_EQ(names, expected);
    // Every operation row above has its own case here.
    std::vector<std::string> covered;
    for (const Row& row : OperationRows()) {
        covered.push_back(row.name);
    }
    EXPECT_EQ(covered, std::vector<std::string>(expected.begin() + 1, expected.begin() + 26));
}

TEST_F(CommandRows, RemoveDeviceWithANumberUnloadsThatRecordsBoard) {
    DemoRecordsAndBoards();
    EXPECT_EQ(RunProgram({"RemoveDevice", "IGNORED", "3"}).exitCode, kDone);
    EXPECT_EQ(sim::FindDevice("ROOT\\DAQBOARD\\0001"), nullptr);
    EXPECT_NE(sim::FindDevice("ROOT\\DAQBOARD\\0002"), nullptr);
    // The record's board is gone now: the same number fails, whatever the ID would match.
    EXPECT_EQ(RunProgram({"RemoveDevice", "DEMO", "3"}).exitCode, kFailed);
    EXPECT_NE(sim::FindDevice("ROOT\\DAQBOARD\\0002"), nullptr);
    ExpectRefused("RemoveDevice", {"-m:\\\\h", "RemoveDevice", "DEMO", "12"});
}

TEST_F(CommandRows, HelpRowsIgnoreTheMachineOptionAndExtraWords) {
    for (const char* word : {"help", "?"}) {
        SCOPED_TRACE(word);
        const ProgramRun run = RunProgram({"-m:\\\\h", word, "UpdateDriver", "more"});
        EXPECT_EQ(run.exitCode, kDone);
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("Boardkit UpdateDriver Command"), std::string::npos);
    }
}

TEST_F(CommandRows, CertificateRowIgnoresItsCommandLineAndFailsForAStandardUser) {
    EXPECT_EQ(RunProgram({"-m:\\\\h", "InstallCertificate", "a", "b"}).exitCode, kDone);
    EXPECT_EQ(RunProgram({"InstallCertificate"}).exitCode, kDone);
    sim::Settings().elevated = false;
    const ProgramRun run = RunProgram({"InstallCertificate", "x"});
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_EQ(run.err, std::string(kProgram) + " failed.\n");
}

TEST_F(CommandRows, TimerSwitchesStopWithZeroAndEndWithZero) {
    EXPECT_EQ(RunProgram({"KillBoardkitAPTimer", "0"}).exitCode, kDone);
    EXPECT_EQ(RunProgram({"EliminateInstalldevIconinSystemTrayTimer", "0x0"}).exitCode, kDone);
    EXPECT_EQ(RunProgram({"KillBoardkitAPTimer", "1"}).exitCode, kDone);
    EXPECT_EQ(sim::CallCount("SetTimer"), 1u);
}

}  // namespace

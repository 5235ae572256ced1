// Every command with over-long, empty and non-ASCII arguments over the sample machine: the run
// ends with the result stated here, echoes every argument whole, and prints exactly the
// dispatcher's message for that result. Run under the sanitizers, it also shows that no
// buffer is overrun on the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/run_capture.h"
#include "machine.h"
#include "sample_machine.h"

namespace {

const char kProgram[] = "boardkit";

enum class Kind { Chars259, Chars260, Chars261, Chars1000, Chars100000, Empty, NonAscii };

std::string Argument(Kind kind) {
    switch (kind) {
        case Kind::Chars259:
            return std::string(259, 'A');
        case Kind::Chars260:
            return std::string(260, 'A');
        case Kind::Chars261:
            return std::string(261, 'A');
        case Kind::Chars1000:
            return std::string(1000, 'A');
        case Kind::Chars100000:
            return std::string(100000, 'A');
        case Kind::Empty:
            return std::string();
        case Kind::NonAscii:
            return "\xC4\xD6\xDC\xE9\xFF\x80\x81\x9F\xA0";
    }
    return {};
}

const Kind kKinds[] = {Kind::Chars259,    Kind::Chars260, Kind::Chars261, Kind::Chars1000,
                       Kind::Chars100000, Kind::Empty,    Kind::NonAscii};
const char* KindName(Kind kind) {
    static const char* names[] = {"259", "260", "261", "1000", "100000", "empty", "non-ASCII"};
    return names[static_cast<int>(kind)];
}

// What a command ends with when each of its arguments is hostile text: a long run of 'A' (a
// text no catalog row contains; as a number, no digits in base 10 and an overflow in base 16),
// an empty text (contained in every ID and key) and bytes above 0x7F. A device number that
// converts to 0 names the sample's demo record, whose device is present: unloading, enabling
// and disabling it succeed. A removal or uninstall that matches nothing succeeds; an empty
// hardware ID or prefix is refused rather than matching every device.
struct Expectation {
    const char* command;
    int arguments;  // how many the command requires; each gets the hostile text
    int longText;   // exit code for the five long texts
    int empty;
    int nonAscii;
};

const Expectation kCommands[] = {
    {"InstallDemoDevice", 1, 2, 2, 2},
    {"UninstallDriver", 1, 2, 2, 2},
    {"IsDeviceExistInstalled", 1, 17, 16, 17},
    {"RemoveDevice", 1, 0, 2, 0},
    {"InstallIsaDevicePnp", 2, 2, 2, 2},
    {"InstallDriver", 2, 2, 2, 2},
    {"UpdateDriver", 2, 2, 2, 2},
    {"GetDeviceInstalledList", 1, 17, 17, 16},
    {"GetDevicePreinstalledList", 1, 17, 17, 16},
    {"GetDeviceExistNotInstalledList", 1, 17, 17, 16},
    {"IsDeviceExist", 1, 17, 16, 17},
    {"UpdateNewDriver", 2, 2, 2, 2},
    {"UpdateIsaDriver", 2, 0, 2, 0},
    {"IsDeviceUsing", 1, 17, 17, 17},
    {"RemoveConfigurationByKernelKey", 1, 0, 0, 0},
    {"RemoveConfigurationByProductID", 1, 0, 0, 0},
    {"RemoveConfigurationByDeviceNum", 1, 0, 0, 0},
    {"IsDeviceExistNotInstall", 1, 17, 16, 17},
    {"KillBoardkitAPTimer", 1, 0, 0, 0},
    {"UninstallNonePnpDriver", 2, 0, 2, 0},
    {"EliminateInstalldevIconinSystemTrayTimer", 1, 0, 0, 0},
    {"UnloadDevice", 1, 0, 0, 0},
    {"EnableOrDisableDevice", 2, 0, 0, 0},
};

int Expected(const Expectation& e, Kind kind) {
    if (kind == Kind::Empty) {
        return e.empty;
    }
    return kind == Kind::NonAscii ? e.nonAscii : e.longText;
}

std::string MessageFor(int exitCode, const std::string& command) {
    const std::string program = kProgram;
    if (exitCode == 3) {
        return program + ": Invalid use of " + command +
               ".\r\nFor more information, type: " + program + " help " + command + "\n";
    }
    if (exitCode == 0 || exitCode == 1 || exitCode == 16 || exitCode == 17) {
        return "";
    }
    return program + " failed.\n";
}

std::string EchoOf(const std::vector<std::string>& words) {
    std::string echo;
    for (size_t i = 0; i < words.size(); ++i) {
        echo += "argv[" + std::to_string(i) + "]=" + words[i] + "\n";
    }
    return echo;
}

CapturedRun RunOnSample(const std::vector<std::string>& words) {
    sim::ResetToEmpty();
    EXPECT_TRUE(tools::BuildSampleMachine());
    return RunBoardkit(words);
}

void CheckRun(const std::vector<std::string>& words, const std::string& command, int expected,
              const std::string& label) {
    const CapturedRun run = RunOnSample(words);
    EXPECT_EQ(run.exitCode, expected) << label;
    const std::string head = EchoOf(words) + "cmd = " + command + "\n";
    EXPECT_EQ(run.out.substr(0, head.size()), head) << label << ": the echo is not whole";
    EXPECT_EQ(run.err, MessageFor(expected, command)) << label;
}

class HostileArguments : public ::testing::Test {
  protected:
    void TearDown() override { sim::ResetToEmpty(); }
};

TEST_F(HostileArguments, EveryCommandEndsWithItsStatedResult) {
    for (const Expectation& e : kCommands) {
        for (Kind kind : kKinds) {
            std::vector<std::string> words{kProgram, e.command};
            for (int i = 0; i < e.arguments; ++i) {
                words.push_back(Argument(kind));
            }
            CheckRun(words, e.command, Expected(e, kind),
                     std::string(e.command) + " with " + KindName(kind));
        }
    }
}

TEST_F(HostileArguments, AHostileTextBesideAGoodOneIsRefusedTheSameWay) {
    // The good hardware ID of a present sample board does not rescue a hostile INF path.
    for (Kind kind : kKinds) {
        CheckRun({kProgram, "InstallDriver", Argument(kind), "PCI\\VEN_5AE3"}, "InstallDriver", 2,
                 std::string("InstallDriver INF ") + KindName(kind));
    }
}

TEST_F(HostileArguments, HostileCommandWordsAreUsageErrors) {
    for (Kind kind : kKinds) {
        const std::vector<std::string> words{kProgram, Argument(kind)};
        const CapturedRun run = RunOnSample(words);
        EXPECT_EQ(run.exitCode, 3) << KindName(kind);
        EXPECT_EQ(run.out, EchoOf(words) + "cmd = " + Argument(kind) + "\n") << KindName(kind);
        EXPECT_NE(run.err.find("Usage: "), std::string::npos) << KindName(kind);
    }
}

TEST_F(HostileArguments, HelpForAHostileCommandNameEndsCleanly) {
    for (Kind kind : kKinds) {
        // help never fails; a name that no row has gets the unknown-command line and the list.
        const std::vector<std::string> words{kProgram, "help", Argument(kind)};
        const CapturedRun run = RunOnSample(words);
        EXPECT_EQ(run.exitCode, 0) << KindName(kind);
        EXPECT_EQ(run.err, "") << KindName(kind);
        const std::string head = EchoOf(words) + "cmd = help\nUnknown command.\n";
        EXPECT_EQ(run.out.substr(0, head.size()), head) << KindName(kind);
    }
}

}  // namespace

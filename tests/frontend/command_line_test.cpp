// The command line of the program's own commands: what every operation command refuses before
// it reaches its operation, and what the dispatcher then prints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_capture.h"

namespace {

struct Row {
    const char* name;
    int required;  // arguments the command needs
};

// Rows 1 to 25 of the Command Table with the arguments each one requires.
const Row kOperationRows[] = {
    {"InstallDemoDevice", 1},
    {"UninstallDriver", 1},
    {"IsDeviceExistInstalled", 1},
    {"RemoveDevice", 1},
    {"RefreshDevices", 0},
    {"InstallIsaDevicePnp", 2},
    {"InstallDriver", 2},
    {"UpdateDriver", 2},
    {"IsDemoDeviceInstalled", 0},
    {"GetDeviceInstalledList", 1},
    {"GetDevicePreinstalledList", 1},
    {"GetDeviceExistNotInstalledList", 1},
    {"IsDeviceExist", 1},
    {"UpdateNewDriver", 2},
    {"UpdateIsaDriver", 2},
    {"IsDeviceUsing", 1},
    {"RemoveConfigurationByKernelKey", 1},
    {"RemoveConfigurationByProductID", 1},
    {"RemoveConfigurationByDeviceNum", 1},
    {"IsDeviceExistNotInstall", 1},
    {"KillBoardkitAPTimer", 1},
    {"UninstallNonePnpDriver", 2},
    {"EliminateInstalldevIconinSystemTrayTimer", 1},
    {"UnloadDevice", 1},
    {"EnableOrDisableDevice", 2},
};

std::string InvalidUse(const std::string& program, const std::string& command) {
    return program + ": Invalid use of " + command + ".\r\nFor more information, type: " + program +
           " help " + command + "\n";
}

std::vector<std::string> WithArguments(std::vector<std::string> words, int count) {
    for (int i = 0; i < count; ++i) {
        words.push_back("1");
    }
    return words;
}

TEST(OperationCommands, AnyMachineNameIsInvalidUseEvenWithCompleteArguments) {
    for (const Row& row : kOperationRows) {
        CapturedRun run =
            RunBoardkit(WithArguments({"bk.exe", "-m:\\\\host", row.name}, row.required));
        EXPECT_EQ(run.exitCode, 3) << row.name;
        EXPECT_EQ(run.err, InvalidUse("bk.exe", row.name)) << row.name;
    }
}

TEST(OperationCommands, TooFewArgumentsAreInvalidUse) {
    for (const Row& row : kOperationRows) {
        if (row.required == 0) {
            continue;
        }
        CapturedRun run = RunBoardkit(WithArguments({"bk.exe", row.name}, row.required - 1));
        EXPECT_EQ(run.exitCode, 3) << row.name;
        EXPECT_EQ(run.err, InvalidUse("bk.exe", row.name)) << row.name;
    }
}

TEST(OperationCommands, CommandsWithoutArgumentsRefuseAny) {
    for (const char* name : {"RefreshDevices", "IsDemoDeviceInstalled"}) {
        CapturedRun run = RunBoardkit({"bk.exe", name, "extra"});
        EXPECT_EQ(run.exitCode, 3) << name;
        EXPECT_EQ(run.err, InvalidUse("bk.exe", name)) << name;
    }
}

TEST(OperationCommands, InvalidUseNamesTheCommandAsTheTableWritesIt) {
    CapturedRun run = RunBoardkit({"bk.exe", "-m:\\\\host", "updatedriver", "a.inf", "PCI\\X"});
    EXPECT_EQ(run.out,
              "argv[0]=bk.exe\nargv[1]=-m:\\\\host\nargv[2]=updatedriver\nargv[3]=a.inf\n"
              "argv[4]=PCI\\X\ncmd = updatedriver\n");
    EXPECT_EQ(run.err, InvalidUse("bk.exe", "UpdateDriver"));
    EXPECT_EQ(run.exitCode, 3);
}

}  // namespace

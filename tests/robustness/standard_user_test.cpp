// A standard user's runs: without administrator rights every command that would change the
// machine is refused by the platform, the run says so through its result, and the registry,
// the files and the device tree are exactly as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices.h"
#include "file_system.h"
#include "frontend/run_capture.h"
#include "machine.h"
#include "reg_file.h"
#include "registry_tree.h"
#include "sample_machine.h"

namespace {

const std::string kFixtures = std::string(BK_SOURCE_DIR) + "/tests/fixtures/inf";

// Everything a run could change, in one comparable text.
std::string Listing(const std::string& folder) {
    std::string text;
    for (const sim::files::EntryInfo& entry : sim::files::ListDirectory(folder)) {
        const std::string path = folder + "\\" + entry.name;
        if (entry.directory) {
            text += "D " + path + "\n" + Listing(path);
        } else {
            std::string bytes;
            sim::files::ReadWholeFile(path, bytes);
            text += "F " + path + " " + std::to_string(bytes.size()) + "\n" + bytes + "\n";
        }
    }
    return text;
}

std::string MachineState() {
    std::string state = sim::ExportRegFile(sim::Hklm(), "HKEY_LOCAL_MACHINE");
    state += Listing("C:");
    for (sim::DeviceNode* node : sim::AllDevices()) {
        state += node->instanceId + " status " + std::to_string(sim::DeviceStatus(*node)) + "\n";
    }
    return state;
}

struct Refusal {
    std::vector<std::string> words;  // after the program name
    int exitCode;                    // as the command's result table maps the refusal
};

// The commands that change the machine, each with arguments that an administrator's run of
// the sample machine acts on. The framework's key opens only with full access, so for a
// standard user a record lookup finds no record: unloading, enabling and disabling then end
// with 0 having done nothing, as their failure handling documents; no ISA board is present,
// so the ISA update has nothing to do.
std::vector<Refusal> Refusals() {
    const std::string demo = kFixtures + "/demo/TolDemoS.inf";
    const std::string isa = kFixtures + "/isa/TolIx10s.inf";
    const std::string pci = "PCI\\VEN_5AE3&DEV_1001";
    return {
        {{"InstallDemoDevice", demo}, 2},
        {{"UninstallDriver", "TolPx10S"}, 2},
        {{"RemoveDevice", pci}, 2},
        {{"RemoveDevice", pci, "1"}, 0},
        {{"InstallDriver", demo, "DEMO"}, 2},
        {{"UpdateDriver", demo, "DEMO"}, 2},
        {{"UpdateNewDriver", demo, "DEMO"}, 2},
        {{"UpdateIsaDriver", isa, "IX104"}, 0},
        {{"InstallIsaDevicePnp", isa, "IX104"}, 2},
        {{"RemoveConfigurationByKernelKey", "TolPx10S"}, 2},
        {{"RemoveConfigurationByProductID", "101"}, 2},
        {{"RemoveConfigurationByDeviceNum", "1"}, 2},
        {{"UninstallNonePnpDriver", isa, "IX"}, 2},
        {{"UnloadDevice", "1"}, 0},
        {{"EnableOrDisableDevice", "0", "1"}, 0},
        {{"InstallCertificate"}, 2},
        {{"GetDeviceInstalledList", "C:\\Windows\\boards.txt"}, 17},
    };
}

class StandardUser : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        ASSERT_TRUE(tools::BuildSampleMachine());
        sim::Settings().elevated = false;
    }
    void TearDown() override { sim::ResetToEmpty(); }
};

TEST_F(StandardUser, EveryChangingCommandIsRefusedAndChangesNothing) {
    for (const Refusal& refusal : Refusals()) {
        SetUp();
        const std::string before = MachineState();
        std::vector<std::string> words{"boardkit"};
        words.insert(words.end(), refusal.words.begin(), refusal.words.end());
        const CapturedRun run = RunBoardkit(words);
        const std::string& command = refusal.words[0];
        EXPECT_EQ(run.exitCode, refusal.exitCode) << command << "\n" << run.out;
        if (refusal.exitCode == 2) {
            EXPECT_EQ(run.err, "boardkit failed.\n") << command;
        } else {
            EXPECT_EQ(run.err, "") << command;
        }
        EXPECT_TRUE(MachineState() == before) << command << " changed the machine";
    }
}

TEST_F(StandardUser, QueriesStillAnswer) {
    // Reading needs no rights: the present sample board is found, the absent USB one is not.
    EXPECT_EQ(RunBoardkit({"boardkit", "IsDeviceExist", "PCI\\VEN_5AE3&DEV_1001"}).exitCode, 16);
    EXPECT_EQ(RunBoardkit({"boardkit", "IsDeviceExist", "USB\\VID_2E5B&PID_0001"}).exitCode, 17);
    EXPECT_EQ(RunBoardkit({"boardkit", "IsDemoDeviceInstalled"}).exitCode, 16);
}

TEST_F(StandardUser, AListIsNotWrittenEvenWhereTheUserMayWrite) {
    // The framework's key cannot be opened with full access, so no list is begun.
    const CapturedRun run =
        RunBoardkit({"boardkit", "GetDeviceInstalledList", "C:\\Users\\Public\\boards.txt"});
    EXPECT_EQ(run.exitCode, 17);
    EXPECT_NE(run.out.find("no list written"), std::string::npos) << run.out;
    EXPECT_FALSE(sim::files::Exists("C:\\Users\\Public\\boards.txt"));
}

}  // namespace

// InstallDriver, UpdateDriver and RefreshDevices on the paths that end before or without the
// device installer: other buses, a missing INF, a missing installer, a long argument.
#include <string>

#include "boardkit/operations.h"
#include "setup/install.h"
#include "setup_machine.h"
#include "sim/modules.h"

namespace {

const char* const kInf = "C:\\Drivers\\Px10\\TolPx10s.inf";

// Counts one API's calls across a step.
class CallsOf {
  public:
    explicit CallsOf(const char* api) : api_(api), before_(sim::CallCount(api)) {}
    unsigned made() const { return sim::CallCount(api_) - before_; }

  private:
    std::string api_;
    unsigned before_;
};

bool Install(std::string inf, std::string id, int* reboot) {
    return InstallDriver(&inf[0], &id[0], reboot);
}

int32_t Update(std::string inf, std::string id, int* reboot, std::string& out) {
    testing::internal::CaptureStdout();
    const int32_t state = UpdateDriver(&inf[0], &id[0], reboot);
    out = testing::internal::GetCapturedStdout();
    return state;
}

class InstallDriverPaths : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        EXPECT_TRUE(tools::WriteMachineFile(kInf, "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\n"));
    }
};

TEST_F(InstallDriverPaths, ABoardOfAnotherBusIsRefusedBeforeAnythingHappens) {
    for (const char* id : {"PCL818L", "DEMO", "ACPI\\PNP0501"}) {
        CallsOf reenumerate("CM_Reenumerate_DevNode");
        CallsOf load("LoadLibraryExA");
        int reboot = 7;
        EXPECT_FALSE(Install(kInf, id, &reboot)) << id;
        EXPECT_EQ(reenumerate.made(), 0u) << id;
        EXPECT_EQ(load.made(), 0u) << id;
        EXPECT_EQ(reboot, 7) << id;
    }
}

TEST_F(InstallDriverPaths, ALowerCaseBusPrefixStillQualifies) {
    CallsOf reenumerate("CM_Reenumerate_DevNode");
    CallsOf find("FindFirstFileA");
    Install(kInf, "pci\\ven_5ae3&dev_0001", nullptr);
    EXPECT_EQ(reenumerate.made(), 1u);
    EXPECT_EQ(find.made(), 1u);
}

TEST_F(InstallDriverPaths, AMissingInfEndsBeforeTheInstallerIsLoaded) {
    CallsOf load("LoadLibraryExA");
    int reboot = 7;
    EXPECT_FALSE(Install("C:\\Drivers\\missing.inf", "USB\\VID_2E5B&PID_0007", &reboot));
    EXPECT_EQ(load.made(), 0u);
    EXPECT_EQ(reboot, 7);
}

TEST_F(InstallDriverPaths, AnInstallerThatCannotBeLoadedIsAFailureAndLeavesNothingLoaded) {
    tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
    int reboot = 7;
    EXPECT_FALSE(Install(kInf, "PCI\\VEN_5AE3&DEV_0001", &reboot));
    EXPECT_EQ(reboot, 7);
    EXPECT_EQ(sim::LibraryLoadCount("newdev.dll"), 0u);
}

TEST_F(InstallDriverPaths, ArgumentsLongerThanAPathAreRefusedWithoutAnyCall) {
    CallsOf reenumerate("CM_Reenumerate_DevNode");
    const std::string longId = "PCI\\VEN_5AE3&DEV_0001" + std::string(300, 'X');
    const std::string longInf = "C:\\Drivers\\" + std::string(300, 'a') + ".inf";
    EXPECT_FALSE(Install(kInf, longId, nullptr));
    EXPECT_FALSE(Install(longInf, "PCI\\VEN_5AE3&DEV_0001", nullptr));
    EXPECT_EQ(reenumerate.made(), 0u);
}

TEST_F(InstallDriverPaths, AnArgumentOfExactly259CharactersStillFits) {
    CallsOf reenumerate("CM_Reenumerate_DevNode");
    const std::string id = "PCI\\" + std::string(255, 'Y');
    ASSERT_EQ(id.size(), 259u);
    Install(kInf, id, nullptr);
    EXPECT_EQ(reenumerate.made(), 1u);
}

class UpdateDriverPaths : public setup_test::MachineTest {};

// A machine without the installer has installed nothing: the state is the load's error, not
// the 0 that would tell the caller its board was updated.
TEST_F(UpdateDriverPaths, WithoutTheInstallerTheStateIsTheLoadError) {
    tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
    std::string out;
    int reboot = 7;
    EXPECT_EQ(Update(kInf, "PCI\\VEN_5AE3&DEV_0001", &reboot, out), 126);
    EXPECT_EQ(out, "<==UpdateDriver, state=0x7e\n");
    EXPECT_EQ(reboot, 7);
}

TEST_F(UpdateDriverPaths, AMissingEntryPointGivesItsErrorAndReleasesTheLibrary) {
    tools::FailCall("GetProcAddress", "UpdateDriverForPlugAndPlayDevicesA", ERROR_PROC_NOT_FOUND);
    std::string out;
    EXPECT_EQ(Update(kInf, "PCI\\VEN_5AE3&DEV_0001", nullptr, out), 127);
    EXPECT_EQ(out, "<==UpdateDriver, state=0x7f\n");
    EXPECT_EQ(sim::LibraryLoadCount("newdev.dll"), 0u);
}

TEST_F(UpdateDriverPaths, TheSharedInstallerStepReportsEachFailedStep) {
    int reboot = 7;
    tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(RunDeviceInstaller(kInf, "PCI\\VEN_5AE3&DEV_0001", &reboot), 126u);
    sim::Faults().clear();
    tools::FailCall("GetProcAddress", "UpdateDriverForPlugAndPlayDevicesA", ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(RunDeviceInstaller(kInf, "PCI\\VEN_5AE3&DEV_0001", &reboot), 127u);
    EXPECT_EQ(reboot, 7);
    sim::Faults().clear();
    // The installer itself ran and found no INF there; the flag is written.
    EXPECT_EQ(RunDeviceInstaller(kInf, "PCI\\VEN_5AE3&DEV_0001", &reboot), 2u);
    EXPECT_EQ(reboot, 0);
}

TEST_F(UpdateDriverPaths, AMissingArgumentFailsWithTwoAndStillTraces) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(UpdateDriver(nullptr, nullptr, nullptr), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<==UpdateDriver, state=0x2\n");
}

TEST_F(UpdateDriverPaths, TheAliasesGiveWhatUpdateDriverGivesWithItsTrace) {
    tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
    std::string inf = kInf;
    std::string id = "PCI\\VEN_5AE3&DEV_0001";
    testing::internal::CaptureStdout();
    EXPECT_EQ(InstallNonPnpDriver(&inf[0], &id[0]), 126u);
    EXPECT_EQ(UpdateDemoDriver(&inf[0]), 126);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "<==UpdateDriver, state=0x7e\n<==UpdateDriver, state=0x7e\n");
}

class Refresh : public setup_test::MachineTest {};

TEST_F(Refresh, AnArrivingBoardBecomesPresent) {
    EXPECT_NE(
        tools::AddBoard(
            {"PCI\\VEN_5AE3&DEV_0001\\3&1", {"PCI\\VEN_5AE3&DEV_0001"}, sim::Presence::Arriving}),
        nullptr);
    EXPECT_TRUE(RefreshDevices());
    sim::DeviceNode* node = sim::FindDevice("PCI\\VEN_5AE3&DEV_0001\\3&1");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->presence, sim::Presence::Present);
}

TEST_F(Refresh, AFailedLocateOrReenumerationIsFalse) {
    tools::FailCall("CM_Reenumerate_DevNode", "", CR_FAILURE);
    EXPECT_FALSE(RefreshDevices());
    sim::Faults().clear();
    tools::FailCall("CM_Locate_DevNodeA", "", CR_FAILURE);
    CallsOf reenumerate("CM_Reenumerate_DevNode");
    EXPECT_FALSE(RefreshDevices());
    EXPECT_EQ(reenumerate.made(), 0u);
}

}  // namespace

// The demo device's board numbers and install, and the pre-install of packages into the store.
#include <string>

#include "boardkit/operations.h"
#include "legacy/device_node.h"
#include "legacy/legacy_machine.h"
#include "setup/preinstall.h"
#include "tools/machine_builder.h"

namespace {

using legacy_test::kDemoInf;
using legacy_test::kFirstNode;
using tools::DwordValue;

void AddDemoRecord(unsigned deviceNumber, uint32_t boardId) {
    ASSERT_TRUE(tools::AddConfigurationRecord(
        deviceNumber, {DwordValue("ProductID", 0), DwordValue("BoardID", boardId)}));
}

std::string Location(const std::string& instanceId) {
    sim::DeviceNode* node = sim::FindDevice(instanceId);
    sim::RegKey* key = node != nullptr ? sim::DeviceKey(*node) : nullptr;
    return key != nullptr ? sim::GetStringValue(*key, "LocationInformation").value_or("") : "";
}

uint32_t InstallDemo() {
    std::string inf = kDemoInf;
    testing::internal::CaptureStdout();
    const uint32_t result = InstallDemoDevice(&inf[0]);
    testing::internal::GetCapturedStdout();
    return result;
}

class DemoDeviceTest : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        CurrentDeviceNode.deviceInfoSet = nullptr;
        legacy_test::InstallPackages();
    }
};

TEST_F(DemoDeviceTest, BoardNumbersTakeTheLowestFreeNumber) {
    uint32_t n = 77;
    EXPECT_EQ(AllocateBoardNumber(&n), 0u);
    EXPECT_EQ(n, 0u);
    AddDemoRecord(1, 0);
    EXPECT_EQ(AllocateBoardNumber(&n), 0u);
    EXPECT_EQ(n, 1u);
    AddDemoRecord(2, 1);
    AddDemoRecord(3, 3);
    EXPECT_EQ(AllocateBoardNumber(&n), 0u);
    EXPECT_EQ(n, 2u);
}

TEST_F(DemoDeviceTest, RecordsOfOtherBoardsHoldNoNumber) {
    ASSERT_TRUE(tools::AddConfigurationRecord(
        1, {DwordValue("ProductID", 0x0701), DwordValue("BoardID", 0)}));
    uint32_t n = 77;
    EXPECT_EQ(AllocateBoardNumber(&n), 0u);
    EXPECT_EQ(n, 0u);
}

TEST_F(DemoDeviceTest, AllThousandNumbersTakenCreatesNoNode) {
    for (unsigned i = 0; i < 1000; ++i)
        AddDemoRecord(i, i);
    uint32_t n = 77;
    EXPECT_EQ(AllocateBoardNumber(&n), 0xE000FFFFu);
    EXPECT_EQ(n, 77u);
    EXPECT_EQ(InstallDemo(), 0xE000FFFFu);
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
}

TEST_F(DemoDeviceTest, ARecordWithoutProductIdIsPassedOverAndTheScanGoesOn) {
    AddDemoRecord(0, 0);
    ASSERT_TRUE(tools::AddConfigurationRecord(1, {DwordValue("BoardID", 9)}));
    AddDemoRecord(2, 1);
    // Record names are registry names: device004 is Device004.
    ASSERT_TRUE(tools::WriteKey("SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\device004",
                                {DwordValue("ProductID", 0), DwordValue("BoardID", 2)}));
    uint32_t n = 77;
    EXPECT_EQ(AllocateBoardNumber(&n), 0u);
    EXPECT_EQ(n, 3u);
}

// A number that some record may hold is never handed out: a demo record without a readable
// BoardID, a subkey that cannot be opened, a ProductID that is there but cannot be read, or
// names that cannot all be enumerated give 0xE0000017 and no node.
TEST_F(DemoDeviceTest, ANumberThatMayBeTakenIsNeverHandedOut) {
    AddDemoRecord(1, 0);
    ASSERT_TRUE(tools::AddConfigurationRecord(2, {DwordValue("ProductID", 0)}));
    uint32_t n = 77;
    EXPECT_EQ(AllocateBoardNumber(&n), 0xE0000017u);
    EXPECT_EQ(InstallDemo(), 0xE0000017u);
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);

    sim::ResetToEmpty();
    AddDemoRecord(1, 0);
    AddDemoRecord(2, 1);
    tools::FailCall("RegOpenKeyExA", "Device002", ERROR_ACCESS_DENIED);
    EXPECT_EQ(AllocateBoardNumber(&n), 0xE0000017u);
    sim::Faults().clear();
    tools::FailCall("RegEnumKeyA", "", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(AllocateBoardNumber(&n), 0xE0000017u);
    sim::Faults().clear();

    ASSERT_TRUE(tools::AddConfigurationRecord(
        3, {tools::RecordValue{"ProductID", REG_BINARY, {0, 0, 0, 0, 0, 0, 0, 0}},
            DwordValue("BoardID", 2)}));
    EXPECT_EQ(AllocateBoardNumber(&n), 0xE0000017u);
    EXPECT_EQ(n, 77u);
}

TEST_F(DemoDeviceTest, TheFirstDemoDeviceGetsLocationZeroAndItsDriver) {
    EXPECT_EQ(InstallDemo(), 0u);
    EXPECT_EQ(Location(kFirstNode), "000");
    // The three digits and two zero bytes.
    EXPECT_EQ(legacy_test::PropertySize(kFirstNode, SPDRP_LOCATION_INFORMATION), 5u);
    sim::DeviceNode* node = sim::FindDevice(kFirstNode);
    ASSERT_NE(node, nullptr);
    EXPECT_NE(sim::DriverKey(*node), nullptr);
    EXPECT_EQ(CurrentDeviceNode.deviceInfoSet, nullptr);
    int installed = 0;
    EXPECT_TRUE(IsDemoDeviceInstalled(&installed));
    EXPECT_EQ(installed, 1);
}

TEST_F(DemoDeviceTest, TheNextDemoDeviceTakesTheGap) {
    AddDemoRecord(1, 0);
    AddDemoRecord(2, 1);
    AddDemoRecord(3, 3);
    EXPECT_EQ(InstallDemo(), 0u);
    EXPECT_EQ(Location(kFirstNode), "002");
}

TEST_F(DemoDeviceTest, AFailedDriverInstallLeavesNoNode) {
    tools::FailCall("UpdateDriverForPlugAndPlayDevicesA", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallDemo(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
}

TEST_F(DemoDeviceTest, AMissingInstallerGivesTheLoadErrorAndLeavesNoNode) {
    tools::FailCall("LoadLibraryExA", "", ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(InstallDemo(), static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
}

TEST_F(DemoDeviceTest, ALocationThatCannotBeWrittenRemovesTheNode) {
    tools::FailCall("SetupDiSetDeviceRegistryPropertyA", "", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(InstallDemo(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
}

TEST_F(DemoDeviceTest, AliasRecordsGoExceptOneThatCannotBeDeleted) {
    ASSERT_TRUE(tools::AddConfigurationRecord(
        4, {DwordValue("ProductID", 0x0701), DwordValue("Alias", 1)}));
    ASSERT_TRUE(tools::AddConfigurationRecord(
        5, {DwordValue("ProductID", 0x0702), DwordValue("Alias", 1)}));
    ASSERT_TRUE(
        tools::WriteKey(std::string(tools::kFrameworkServiceKey) + "\\Device005\\Child", {}));
    EXPECT_EQ(InstallDemo(), 0u);
    sim::RegKey* root = sim::FindKey(sim::Hklm(), tools::kFrameworkServiceKey);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(sim::FindSubkey(*root, "Device004"), nullptr);
    EXPECT_NE(sim::FindSubkey(*root, "Device005"), nullptr);
}

TEST_F(DemoDeviceTest, TheDemoIdIsFoundInAnyPositionAndOnlyInUpperCase) {
    EXPECT_NE(tools::AddBoard({"ROOT\\OTHER\\0000", {"demo"}}), nullptr);
    int installed = 7;
    EXPECT_TRUE(IsDemoDeviceInstalled(&installed));
    EXPECT_EQ(installed, 0);
    EXPECT_NE(tools::AddBoard({"ROOT\\OTHER\\0001", {"SOFT\\X", "DEMO"}}), nullptr);
    EXPECT_TRUE(IsDemoDeviceInstalled(&installed));
    EXPECT_EQ(installed, 1);
}

TEST_F(DemoDeviceTest, PreInstallStagesOnceAndDeleteRemovesTheCopy) {
    std::string inf = kDemoInf;
    EXPECT_TRUE(PreInstallDriver(&inf[0]));
    EXPECT_FALSE(PreInstallDriver(&inf[0]));
    EXPECT_TRUE(DeletePreInstallDriverFiles(&inf[0]));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
    // Never staged: staged and removed again.
    EXPECT_TRUE(DeletePreInstallDriverFiles(&inf[0]));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
}

}  // namespace

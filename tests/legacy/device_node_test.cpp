// The hand-built node: its three states, the hardware ID as written, the resource record, and
// putting the best driver of the one INF on it.
#include <string>

#include "boardkit/operations.h"
#include "legacy/device_node.h"
#include "legacy_machine.h"
#include "sim/modules.h"

namespace {

using legacy_test::kFirstNode;
using legacy_test::kIsaInf;

uint32_t Create(std::string inf, std::string id) {
    return CreateDeviceNode(&inf[0], &id[0]);
}

class DeviceNodeTest : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        CurrentDeviceNode.deviceInfoSet = nullptr;
        legacy_test::InstallPackages();
    }
    void TearDown() override {
        CloseDeviceNode();
        MachineTest::TearDown();
    }
};

TEST_F(DeviceNodeTest, SetResourceTellsNoNodeFromAFailedList) {
    // No node yet: the write fails on the null handle.
    EXPECT_EQ(SetResource(0x300, 16, 5, 0, 0), 1u);
    tools::FailCall("SetupDiCreateDeviceInfoList", "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Create(kIsaInf, "IX104"), static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(CurrentDeviceNode.deviceInfoSet, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetResource(0x300, 16, 5, 0, 0), 0xE0000000u);
    CurrentDeviceNode.deviceInfoSet = nullptr;
}

TEST_F(DeviceNodeTest, TheResourceRecordIsSixStringsOfNineteenBytes) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    EXPECT_EQ(SetResource(0x300, 16, 5, 0, 0), 0u);
    EXPECT_EQ(legacy_test::MultiString(kFirstNode, "CompatibleIDs"),
              (std::vector<std::string>{"Init", "300", "10", "5", "0", "0"}));
    EXPECT_EQ(legacy_test::PropertySize(kFirstNode, SPDRP_COMPATIBLEIDS), 19u);
}

TEST_F(DeviceNodeTest, TheLargestValuesFitTheRecord) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    EXPECT_EQ(SetResource(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), 0u);
    EXPECT_EQ(legacy_test::PropertySize(kFirstNode, SPDRP_COMPATIBLEIDS), 51u);
}

TEST_F(DeviceNodeTest, AThirtyCharacterIdIsWrittenAsThirtyTwoBytes) {
    const std::string id(30, 'X');
    ASSERT_EQ(Create(kIsaInf, id), 0u);
    EXPECT_EQ(legacy_test::MultiString(kFirstNode, "HardwareID"), std::vector<std::string>{id});
    EXPECT_EQ(legacy_test::PropertySize(kFirstNode, SPDRP_HARDWAREID), 32u);
}

TEST_F(DeviceNodeTest, ALongerIdIsRefusedBeforeAnythingIsCreated) {
    const unsigned classLookups = sim::CallCount("SetupDiGetINFClassA");
    EXPECT_EQ(Create(kIsaInf, std::string(31, 'X')),
              static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(sim::CallCount("SetupDiGetINFClassA"), classLookups);
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
    EXPECT_EQ(CurrentDeviceNode.deviceInfoSet, nullptr);
}

TEST_F(DeviceNodeTest, AnInfWithoutClassLeavesTheNodeAsItWas) {
    EXPECT_TRUE(tools::WriteMachineFile("C:\\Drivers\\NoClass\\x.inf",
                                        "[Version]\r\nSignature=\"$Windows NT$\"\r\n"));
    EXPECT_NE(Create("C:\\Drivers\\NoClass\\x.inf", "IX104"), 0u);
    EXPECT_EQ(CurrentDeviceNode.deviceInfoSet, nullptr);
    EXPECT_EQ(legacy_test::RootBoardNodes(), 0u);
}

TEST_F(DeviceNodeTest, NodesAreNumberedInTheInfsClass) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    CloseDeviceNode();
    ASSERT_EQ(Create(kIsaInf, "IX108"), 0u);
    EXPECT_EQ(legacy_test::MultiString("ROOT\\TOLBOARDS\\0001", "HardwareID"),
              std::vector<std::string>{"IX108"});
}

TEST_F(DeviceNodeTest, AFailedRemovalGivesFiveAndStillReleasesTheSet) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    tools::FailCall("SetupDiRemoveDevice", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(DeleteDeviceNode(), 5u);
    EXPECT_EQ(CurrentDeviceNode.deviceInfoSet, nullptr);
    EXPECT_NE(sim::FindDevice(kFirstNode), nullptr);
}

TEST_F(DeviceNodeTest, DeleteRemovesTheNode) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    EXPECT_EQ(DeleteDeviceNode(), 0u);
    EXPECT_EQ(sim::FindDevice(kFirstNode), nullptr);
}

DWORD Install(std::string& out) {
    std::string inf = kIsaInf;
    DWORD reboot = 7;
    testing::internal::CaptureStdout();
    const DWORD result = InstallIsaDriver(CurrentDeviceNode.deviceInfoSet,
                                          &CurrentDeviceNode.deviceInfoData, &inf[0], &reboot);
    out = testing::internal::GetCapturedStdout();
    return result;
}

TEST_F(DeviceNodeTest, TheDriverMatchingTheHardwareIdWinsOverTheResourceMarker) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    ASSERT_EQ(SetResource(0x300, 16, 5, 0, 0), 0u);
    std::string out;
    EXPECT_EQ(Install(out), 0u);
    EXPECT_EQ(out, "InstallIsaDriver, state=0x0\n");
    sim::DeviceNode* node = sim::FindDevice(kFirstNode);
    ASSERT_NE(node, nullptr);
    sim::RegKey* driver = sim::DriverKey(*node);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(sim::GetStringValue(*driver, "MatchingDeviceId").value_or(""), "ix104");
    EXPECT_EQ(sim::GetStringValue(*driver, "DriverDesc").value_or(""), "Tolvan IX-104");
    EXPECT_EQ(node->problem, 0u);
}

TEST_F(DeviceNodeTest, ANodeNoDriverServesStopsSilentlyAtTheClassInstaller) {
    ASSERT_EQ(Create(kIsaInf, "PCL818L"), 0u);
    std::string out;
    EXPECT_EQ(Install(out), static_cast<DWORD>(ERROR_NO_COMPAT_DRIVERS));
    EXPECT_EQ(out, "");
}

TEST_F(DeviceNodeTest, AnInstallerThatCannotBeLoadedGivesTheLoadErrorWithTheTrace) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    tools::FailCall("LoadLibraryExA", "", ERROR_MOD_NOT_FOUND);
    std::string out;
    EXPECT_EQ(Install(out), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(out, "InstallIsaDriver, state=0x7e\n");
}

TEST_F(DeviceNodeTest, AnInfPathLongerThanDriverPathIsRefused) {
    ASSERT_EQ(Create(kIsaInf, "IX104"), 0u);
    std::string inf(MAX_PATH, 'a');
    std::string out;
    DWORD reboot = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(InstallIsaDriver(CurrentDeviceNode.deviceInfoSet, &CurrentDeviceNode.deviceInfoData,
                               &inf[0], &reboot),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace

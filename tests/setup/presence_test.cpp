// The presence queries over device information sets and over the device tree.
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "setup/presence.h"
#include "setup_machine.h"

namespace {

const char* const kPciBoard = "PCI\\VEN_5AE3&DEV_0001\\3&11583659&0&10";
const char* const kPciId = "PCI\\VEN_5AE3&DEV_0001";
const char* const kUsbBoard = "USB\\VID_2E5B&PID_0007\\5&2B3F1A&0&2";
const char* const kUsbId = "USB\\VID_2E5B&PID_0007";

bool Exist(std::string id) {
    return IsDeviceExist(&id[0]);
}
int Installed(std::string id) {
    int found = 7;
    EXPECT_TRUE(IsDeviceExistInstalled(&id[0], &found));
    return found;
}
int NotInstalled(std::string id) {
    int found = 7;
    EXPECT_TRUE(IsDeviceExistNotInstall(&id[0], &found));
    return found;
}

class DeviceExist : public setup_test::MachineTest {};

TEST_F(DeviceExist, FindsAPresentBoardByAnyStringOfItsList) {
    EXPECT_NE(
        tools::AddBoard(
            {kPciBoard, {"PCI\\VEN_5AE3&DEV_0001&SUBSYS_00015AE3", "PCI\\VEN_5AE3&DEV_0001"}}),
        nullptr);
    EXPECT_TRUE(Exist("PCI\\VEN_5AE3&DEV_0001&SUBSYS_00015AE3"));
    EXPECT_FALSE(Exist("ACPI\\X"));
    EXPECT_NE(tools::AddBoard({kUsbBoard, {"USB\\VID_2E5B&PID_0007&REV_0100", "LATER\\ONLY"}}),
              nullptr);
    EXPECT_TRUE(Exist("LATER\\ONLY"));
}

TEST_F(DeviceExist, ALeadingPartMatchesEveryBoardOfTheVendor) {
    EXPECT_NE(tools::AddBoard({kUsbBoard, {kUsbId}}), nullptr);
    EXPECT_TRUE(Exist("USB\\VID_2E5B"));
    EXPECT_FALSE(Exist("PCI\\VEN_5AE3"));
}

TEST_F(DeviceExist, AGivenIdInLowerCaseNeverMatches) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    EXPECT_FALSE(Exist("pci\\ven_5ae3&dev_0001"));
    EXPECT_TRUE(Exist(kPciId));
}

TEST_F(DeviceExist, AnIdStoredInLowerCaseMatchesTheUpperCaseGiven) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {"pci\\ven_5ae3&dev_0001"}}), nullptr);
    EXPECT_TRUE(Exist(kPciId));
}

TEST_F(DeviceExist, ARememberedBoardIsNotPresent) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}, sim::Presence::Phantom}), nullptr);
    EXPECT_FALSE(Exist(kPciId));
}

TEST_F(DeviceExist, ADeviceWithoutHardwareIdsIsPassedOver) {
    EXPECT_NE(tools::AddBoard(
                  {"ROOT\\LEGACY_THING\\0000", {}, sim::Presence::Present, 0, tools::kSystemClass}),
              nullptr);
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    EXPECT_TRUE(Exist(kPciId));
}

TEST_F(DeviceExist, AnotherFailedReadEndsTheScanWithNo) {
    EXPECT_NE(tools::AddBoard({kUsbBoard, {kUsbId}}), nullptr);
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", kUsbBoard, ERROR_GEN_FAILURE);
    EXPECT_FALSE(Exist(kPciId));
}

TEST_F(DeviceExist, ListsLongerThanTheFirstBufferAreReadWhole) {
    std::vector<std::string> many;
    for (int i = 0; i < 60; ++i) {
        many.push_back("PCI\\VEN_1111&DEV_" + std::to_string(1000 + i) + "&SUBSYS_00000000");
    }
    std::vector<std::string> longer = many;
    longer.push_back("PCI\\VEN_5AE3&DEV_00FF");
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_1111&DEV_1000\\1", many}), nullptr);
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_1111&DEV_1000\\2", longer}), nullptr);
    EXPECT_TRUE(Exist("PCI\\VEN_5AE3&DEV_00FF"));
    EXPECT_TRUE(Exist("DEV_1059&SUBSYS"));
}

TEST_F(DeviceExist, NoDeviceSetMeansNo) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    tools::FailCall("SetupDiGetClassDevsA", "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(Exist(kPciId));
}

class TreeQueries : public setup_test::MachineTest {};

TEST_F(TreeQueries, AWorkingBoardIsInstalledAndNotWithoutDriver) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    EXPECT_EQ(Installed(kPciId), 1);
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

TEST_F(TreeQueries, ABoardWithAProblemIsTheOpposite) {
    EXPECT_NE(
        tools::AddBoard({kPciBoard, {kPciId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL}),
        nullptr);
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 1);
}

TEST_F(TreeQueries, AnAbsentBoardIsNeither) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}, sim::Presence::Phantom}), nullptr);
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

TEST_F(TreeQueries, MatchRegardlessOfCase) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    EXPECT_NE(tools::AddBoard({kUsbBoard, {kUsbId}, sim::Presence::Present, CM_PROB_DISABLED}),
              nullptr);
    EXPECT_EQ(Installed("pci\\ven_5ae3&dev_0001"), 1);
    EXPECT_EQ(NotInstalled("usb\\vid_2e5b"), 1);
}

TEST_F(TreeQueries, OnlyTheFirstHardwareIdCounts) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {"ACPI\\TOL0001", kPciId}}), nullptr);
    EXPECT_NE(tools::AddBoard(
                  {kUsbBoard, {"ACPI\\TOL0002", kUsbId}, sim::Presence::Present, CM_PROB_DISABLED}),
              nullptr);
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kUsbId), 0);
    EXPECT_EQ(Installed("ACPI\\TOL0001"), 1);
    EXPECT_EQ(NotInstalled("ACPI\\TOL0002"), 1);
}

TEST_F(TreeQueries, NodesBelowOtherNodesAreVisited) {
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_8086&DEV_1234\\0",
                               {"PCI\\VEN_8086&DEV_1234"},
                               sim::Presence::Present,
                               0,
                               tools::kSystemClass}),
              nullptr);
    EXPECT_NE(tools::AddBoard({"USB\\ROOT_HUB30\\4&1",
                               {"USB\\ROOT_HUB30"},
                               sim::Presence::Present,
                               0,
                               tools::kSystemClass,
                               "PCI\\VEN_8086&DEV_1234\\0"}),
              nullptr);
    tools::Board usb{kUsbBoard, {kUsbId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL};
    usb.parent = "USB\\ROOT_HUB30\\4&1";
    EXPECT_NE(tools::AddBoard(usb), nullptr);
    EXPECT_EQ(NotInstalled(kUsbId), 1);
    EXPECT_EQ(Installed("USB\\ROOT_HUB30"), 1);
}

TEST_F(TreeQueries, TheOutValueIsWrittenWhenNothingMatches) {
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

TEST_F(TreeQueries, AnUnreadableStatusCountsAsAProblem) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    tools::FailCall("CM_Get_DevNode_Status", kPciBoard, CR_FAILURE);
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 1);
}

TEST_F(TreeQueries, AProblemNodeWithoutReadableIdIsUnknown) {
    EXPECT_NE(tools::AddBoard({"ROOT\\UNKNOWN\\0000",
                               {},
                               sim::Presence::Present,
                               CM_PROB_NOT_CONFIGURED,
                               tools::kSystemClass}),
              nullptr);
    EXPECT_EQ(NotInstalled("unknown"), 1);
    EXPECT_EQ(NotInstalled("UNKNOWN"), 1);
}

TEST_F(TreeQueries, AnIdListTooLongForTheNodeBufferReadsAsUnknown) {
    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i) {
        many.push_back("PCI\\VEN_5AE3&DEV_00" + std::to_string(10 + i) + "&SUBSYS_00000000");
    }
    EXPECT_NE(tools::AddBoard({kPciBoard, many, sim::Presence::Present, CM_PROB_FAILED_INSTALL}),
              nullptr);
    EXPECT_EQ(NotInstalled("PCI\\VEN_5AE3"), 0);
    EXPECT_EQ(NotInstalled("Unknown"), 1);
}

class ProblemList : public setup_test::MachineTest {};

TEST_F(ProblemList, HoldsEveryProblemNodeInWalkOrderWithDuplicates) {
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0002\\1",
                               {"PCI\\VEN_5AE3&DEV_0002"},
                               sim::Presence::Present,
                               CM_PROB_FAILED_INSTALL}),
              nullptr);
    EXPECT_NE(tools::AddBoard({kUsbBoard, {kUsbId}}), nullptr);
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0002\\2",
                               {"PCI\\VEN_5AE3&DEV_0002"},
                               sim::Presence::Present,
                               CM_PROB_DISABLED}),
              nullptr);
    std::vector<std::string> list = {"left over"};
    EXPECT_TRUE(GetProblemHWID(list));
    EXPECT_EQ(list, (std::vector<std::string>{"PCI\\VEN_5AE3&DEV_0002", "PCI\\VEN_5AE3&DEV_0002"}));
}

TEST_F(ProblemList, EachWalkStartsAfresh) {
    sim::DeviceNode* node =
        tools::AddBoard({kPciBoard, {kPciId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL});
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(CollectProblemHardwareIds());
    EXPECT_EQ(ProblemHardwareIds().size(), 1u);
    sim::SetProblem(*node, 0);
    ASSERT_TRUE(CollectProblemHardwareIds());
    EXPECT_TRUE(ProblemHardwareIds().empty());
}

TEST_F(ProblemList, ATreeThatCannotBeWalkedGivesNoListAndFalse) {
    EXPECT_NE(
        tools::AddBoard({kPciBoard, {kPciId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL}),
        nullptr);
    tools::FailCall("CM_Locate_DevNodeA", "", CR_FAILURE);
    std::vector<std::string> list = {"left over"};
    EXPECT_FALSE(GetProblemHWID(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

}  // namespace

// The presence queries over device information sets and over the device tree.
#include <string>
#include <vector>

#include "boardkit/operations.h"
#include "setup/presence.h"
#include "setup_machine.h"

namespace {

using setup_test::AddBoard;
using setup_test::Board;
using setup_test::FailCall;

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
    AddBoard({kPciBoard, {"PCI\\VEN_5AE3&DEV_0001&SUBSYS_00015AE3", "PCI\\VEN_5AE3&DEV_0001"}});
    EXPECT_TRUE(Exist("PCI\\VEN_5AE3&DEV_0001&SUBSYS_00015AE3"));
    EXPECT_FALSE(Exist("ACPI\\X"));
    AddBoard({kUsbBoard, {"USB\\VID_2E5B&PID_0007&REV_0100", "LATER\\ONLY"}});
    EXPECT_TRUE(Exist("LATER\\ONLY"));
}

TEST_F(DeviceExist, ALeadingPartMatchesEveryBoardOfTheVendor) {
    AddBoard({kUsbBoard, {kUsbId}});
    EXPECT_TRUE(Exist("USB\\VID_2E5B"));
    EXPECT_FALSE(Exist("PCI\\VEN_5AE3"));
}

TEST_F(DeviceExist, AGivenIdInLowerCaseNeverMatches) {
    AddBoard({kPciBoard, {kPciId}});
    EXPECT_FALSE(Exist("pci\\ven_5ae3&dev_0001"));
    EXPECT_TRUE(Exist(kPciId));
}

TEST_F(DeviceExist, AnIdStoredInLowerCaseMatchesTheUpperCaseGiven) {
    AddBoard({kPciBoard, {"pci\\ven_5ae3&dev_0001"}});
    EXPECT_TRUE(Exist(kPciId));
}

TEST_F(DeviceExist, ARememberedBoardIsNotPresent) {
    AddBoard({kPciBoard, {kPciId}, sim::Presence::Phantom});
    EXPECT_FALSE(Exist(kPciId));
}

TEST_F(DeviceExist, ADeviceWithoutHardwareIdsIsPassedOver) {
    AddBoard({"ROOT\\LEGACY_THING\\0000", {}, sim::Presence::Present, 0, setup_test::kSystemClass});
    AddBoard({kPciBoard, {kPciId}});
    EXPECT_TRUE(Exist(kPciId));
}

TEST_F(DeviceExist, AnotherFailedReadEndsTheScanWithNo) {
    AddBoard({kUsbBoard, {kUsbId}});
    AddBoard({kPciBoard, {kPciId}});
    FailCall("SetupDiGetDeviceRegistryPropertyA", kUsbBoard, ERROR_GEN_FAILURE);
    EXPECT_FALSE(Exist(kPciId));
}

TEST_F(DeviceExist, ListsLongerThanTheFirstBufferAreReadWhole) {
    std::vector<std::string> many;
    for (int i = 0; i < 60; ++i) {
        many.push_back("PCI\\VEN_1111&DEV_" + std::to_string(1000 + i) + "&SUBSYS_00000000");
    }
    std::vector<std::string> longer = many;
    longer.push_back("PCI\\VEN_5AE3&DEV_00FF");
    AddBoard({"PCI\\VEN_1111&DEV_1000\\1", many});
    AddBoard({"PCI\\VEN_1111&DEV_1000\\2", longer});
    EXPECT_TRUE(Exist("PCI\\VEN_5AE3&DEV_00FF"));
    EXPECT_TRUE(Exist("DEV_1059&SUBSYS"));
}

TEST_F(DeviceExist, NoDeviceSetMeansNo) {
    AddBoard({kPciBoard, {kPciId}});
    FailCall("SetupDiGetClassDevsA", "", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(Exist(kPciId));
}

class TreeQueries : public setup_test::MachineTest {};

TEST_F(TreeQueries, AWorkingBoardIsInstalledAndNotWithoutDriver) {
    AddBoard({kPciBoard, {kPciId}});
    EXPECT_EQ(Installed(kPciId), 1);
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

TEST_F(TreeQueries, ABoardWithAProblemIsTheOpposite) {
    AddBoard({kPciBoard, {kPciId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL});
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 1);
}

TEST_F(TreeQueries, AnAbsentBoardIsNeither) {
    AddBoard({kPciBoard, {kPciId}, sim::Presence::Phantom});
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

TEST_F(TreeQueries, MatchRegardlessOfCase) {
    AddBoard({kPciBoard, {kPciId}});
    AddBoard({kUsbBoard, {kUsbId}, sim::Presence::Present, CM_PROB_DISABLED});
    EXPECT_EQ(Installed("pci\\ven_5ae3&dev_0001"), 1);
    EXPECT_EQ(NotInstalled("usb\\vid_2e5b"), 1);
}

TEST_F(TreeQueries, OnlyTheFirstHardwareIdCounts) {
    AddBoard({kPciBoard, {"ACPI\\TOL0001", kPciId}});
    AddBoard({kUsbBoard, {"ACPI\\TOL0002", kUsbId}, sim::Presence::Present, CM_PROB_DISABLED});
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kUsbId), 0);
    EXPECT_EQ(Installed("ACPI\\TOL0001"), 1);
    EXPECT_EQ(NotInstalled("ACPI\\TOL0002"), 1);
}

TEST_F(TreeQueries, NodesBelowOtherNodesAreVisited) {
    AddBoard({"PCI\\VEN_8086&DEV_1234\\0",
              {"PCI\\VEN_8086&DEV_1234"},
              sim::Presence::Present,
              0,
              setup_test::kSystemClass});
    AddBoard({"USB\\ROOT_HUB30\\4&1",
              {"USB\\ROOT_HUB30"},
              sim::Presence::Present,
              0,
              setup_test::kSystemClass,
              "PCI\\VEN_8086&DEV_1234\\0"});
    Board usb{kUsbBoard, {kUsbId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL};
    usb.parent = "USB\\ROOT_HUB30\\4&1";
    AddBoard(usb);
    EXPECT_EQ(NotInstalled(kUsbId), 1);
    EXPECT_EQ(Installed("USB\\ROOT_HUB30"), 1);
}

TEST_F(TreeQueries, TheOutValueIsWrittenWhenNothingMatches) {
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

TEST_F(TreeQueries, AnUnreadableStatusCountsAsAProblem) {
    AddBoard({kPciBoard, {kPciId}});
    FailCall("CM_Get_DevNode_Status", kPciBoard, CR_FAILURE);
    EXPECT_EQ(Installed(kPciId), 0);
    EXPECT_EQ(NotInstalled(kPciId), 1);
}

TEST_F(TreeQueries, AProblemNodeWithoutReadableIdIsUnknown) {
    AddBoard({"ROOT\\UNKNOWN\\0000",
              {},
              sim::Presence::Present,
              CM_PROB_NOT_CONFIGURED,
              setup_test::kSystemClass});
    EXPECT_EQ(NotInstalled("unknown"), 1);
    EXPECT_EQ(NotInstalled("UNKNOWN"), 1);
}

TEST_F(TreeQueries, AnIdListTooLongForTheNodeBufferReadsAsUnknown) {
    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i) {
        many.push_back("PCI\\VEN_5AE3&DEV_00" + std::to_string(10 + i) + "&SUBSYS_00000000");
    }
    AddBoard({kPciBoard, many, sim::Presence::Present, CM_PROB_FAILED_INSTALL});
    EXPECT_EQ(NotInstalled("PCI\\VEN_5AE3"), 0);
    EXPECT_EQ(NotInstalled("Unknown"), 1);
}

class ProblemList : public setup_test::MachineTest {};

TEST_F(ProblemList, HoldsEveryProblemNodeInWalkOrderWithDuplicates) {
    AddBoard({"PCI\\VEN_5AE3&DEV_0002\\1",
              {"PCI\\VEN_5AE3&DEV_0002"},
              sim::Presence::Present,
              CM_PROB_FAILED_INSTALL});
    AddBoard({kUsbBoard, {kUsbId}});
    AddBoard({"PCI\\VEN_5AE3&DEV_0002\\2",
              {"PCI\\VEN_5AE3&DEV_0002"},
              sim::Presence::Present,
              CM_PROB_DISABLED});
    std::vector<std::string> list = {"left over"};
    EXPECT_TRUE(GetProblemHWID(list));
    EXPECT_EQ(list, (std::vector<std::string>{"PCI\\VEN_5AE3&DEV_0002", "PCI\\VEN_5AE3&DEV_0002"}));
}

TEST_F(ProblemList, EachWalkStartsAfresh) {
    sim::DeviceNode* node =
        AddBoard({kPciBoard, {kPciId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL});
    ASSERT_TRUE(CollectProblemHardwareIds());
    EXPECT_EQ(ProblemHardwareIds().size(), 1u);
    sim::SetProblem(*node, 0);
    ASSERT_TRUE(CollectProblemHardwareIds());
    EXPECT_TRUE(ProblemHardwareIds().empty());
}

TEST_F(ProblemList, ATreeThatCannotBeWalkedGivesNoListAndFalse) {
    AddBoard({kPciBoard, {kPciId}, sim::Presence::Present, CM_PROB_FAILED_INSTALL});
    FailCall("CM_Locate_DevNodeA", "", CR_FAILURE);
    std::vector<std::string> list = {"left over"};
    EXPECT_FALSE(GetProblemHWID(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(NotInstalled(kPciId), 0);
}

}  // namespace

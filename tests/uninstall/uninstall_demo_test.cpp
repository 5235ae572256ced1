// Uninstall of demo devices by record number and all at once, and UninstallNonePnpDriver.
#include <gtest/gtest.h>

#include "boardkit/operations.h"
#include "uninstall/uninstall_machine.h"

namespace {

using namespace uninstall_test;

class UninstallDemoDevices : public setup_test::MachineTest {};

TEST_F(UninstallDemoDevices, OneRecordTakesItsDeviceRecordEntryAndCopy) {
    const std::string seven = tools::AddDemoBoard(7, "oem3.inf");
    const std::string eight = tools::AddDemoBoard(8, "oem4.inf");
    DemoRecord(4, 7);
    DemoRecord(5, 8);
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf", "DEMO\n"));
    EXPECT_TRUE(tools::AddOemInfCopy("oem4.inf", "DEMO\n"));
    EXPECT_EQ(Uninstall(4), 0u);
    EXPECT_FALSE(DeviceThere(seven));
    EXPECT_FALSE(KeyExists("Device004"));
    EXPECT_FALSE(MapValueExists(4));
    // The driver store takes the copy's file name; a full path would leave the copy behind.
    EXPECT_FALSE(tools::FileExists("C:\\Windows\\INF\\oem3.inf"));
    EXPECT_TRUE(DeviceThere(eight));
    EXPECT_TRUE(KeyExists("Device005"));
    EXPECT_TRUE(tools::FileExists("C:\\Windows\\INF\\oem4.inf"));
}

TEST_F(UninstallDemoDevices, RecordErrorsComeBeforeAnyDeviceIsTouched) {
    const std::string board = tools::AddDemoBoard(7, "oem3.inf");
    DemoRecord(4, 7, 0x21);
    config_test::Record(6, {DwordValue("ProductID", 0)});
    EXPECT_EQ(Uninstall(4), 0xE0000001u);
    EXPECT_EQ(Uninstall(12), 0xE0000015u);
    EXPECT_EQ(Uninstall(6), 0xE0000017u);
    EXPECT_TRUE(DeviceThere(board));
    EXPECT_TRUE(KeyExists("Device004"));
}

TEST_F(UninstallDemoDevices, AnotherSubkeyThatCannotBeOpenedDoesNotHideTheRecord) {
    const std::string seven = tools::AddDemoBoard(7, "oem3.inf");
    DemoRecord(2, 9);
    DemoRecord(4, 7);
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf", "DEMO\n"));
    tools::FailCall("RegOpenKeyExA", "Device002", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Uninstall(4), 0u);
    EXPECT_FALSE(DeviceThere(seven));
    EXPECT_FALSE(KeyExists("Device004"));
    EXPECT_FALSE(MapValueExists(4));
    EXPECT_FALSE(tools::FileExists("C:\\Windows\\INF\\oem3.inf"));
    EXPECT_TRUE(KeyExists("Device002"));
}

TEST_F(UninstallDemoDevices, ARecordThatCannotBeOpenedIsUnreadable) {
    const std::string seven = tools::AddDemoBoard(7, "oem3.inf");
    DemoRecord(4, 7);
    tools::FailCall("RegOpenKeyExA", "Device004", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Uninstall(4), 0xE0000017u);
    EXPECT_TRUE(DeviceThere(seven));
}

TEST_F(UninstallDemoDevices, ADeviceWhoseIdsCannotBeReadIsPassedOver) {
    EXPECT_NE(tools::AddBoard({"ACPI\\PNP0A03\\0",
                               {"ACPI\\PNP0A03"},
                               sim::Presence::Present,
                               0,
                               tools::kSystemClass}),
              nullptr);
    const std::string seven = tools::AddDemoBoard(7, "oem3.inf");
    DemoRecord(4, 7);
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", "ACPI\\PNP0A03\\0", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Uninstall(4), 0u);
    EXPECT_FALSE(DeviceThere(seven));
    EXPECT_FALSE(KeyExists("Device004"));
}

TEST_F(UninstallDemoDevices, ARecordWhoseBoardNoDeviceCarriesIsNotFound) {
    const std::string board = tools::AddDemoBoard(70, "oem3.inf");
    DemoRecord(4, 7);
    EXPECT_EQ(Uninstall(4), 0xE0000015u);
    EXPECT_TRUE(DeviceThere(board));
    EXPECT_TRUE(KeyExists("Device004"));
}

TEST_F(UninstallDemoDevices, OnlyAFirstIdOfExactlyDemoMakesADemoDevice) {
    const std::string lower = tools::AddDemoBoard(1, "oem3.inf", {"demo"});
    const std::string more = tools::AddDemoBoard(2, "oem4.inf", {"DEMO", "ROOT\\OTHER"});
    EXPECT_EQ(Uninstall(-1), 0u);
    EXPECT_TRUE(DeviceThere(lower));
    EXPECT_FALSE(DeviceThere(more));
}

TEST_F(UninstallDemoDevices, AllModeDeletesOnlyDemoRecordsOfEachBoard) {
    const std::string seven = tools::AddDemoBoard(7, "oem3.inf");
    const std::string nine = tools::AddDemoBoard(9, "oem4.inf");
    // Another product's record with the same board number comes first in the scan.
    DemoRecord(1, 7, 0x21, "TolOtherS");
    DemoRecord(4, 7);
    EXPECT_TRUE(tools::AddOemInfCopy("oem4.inf", "DEMO\n"));
    EXPECT_EQ(Uninstall(-1), 0u);
    EXPECT_FALSE(DeviceThere(seven));
    EXPECT_FALSE(DeviceThere(nine));
    EXPECT_TRUE(KeyExists("Device001"));
    EXPECT_TRUE(MapValueExists(1));
    EXPECT_FALSE(KeyExists("Device004"));
    EXPECT_FALSE(MapValueExists(4));
    // Board 9 has no record: it loses its node and its copy only.
    EXPECT_FALSE(tools::FileExists("C:\\Windows\\INF\\oem4.inf"));
}

TEST_F(UninstallDemoDevices, ANodeThatCannotBeRemovedKeepsItsRecordAndGivesTheError) {
    const std::string board = tools::AddDemoBoard(7, "oem3.inf");
    DemoRecord(4, 7);
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf", "DEMO\n"));
    tools::FailCall("SetupDiRemoveDevice", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Uninstall(4), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Uninstall(-1), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DeviceThere(board));
    EXPECT_TRUE(KeyExists("Device004"));
    EXPECT_TRUE(MapValueExists(4));
    EXPECT_TRUE(tools::FileExists("C:\\Windows\\INF\\oem3.inf"));
}

TEST_F(UninstallDemoDevices, AllModeWithoutDemoDevicesIsNoSuccess) {
    EXPECT_NE(Uninstall(-1), 0u);
}

class UninstallNonPnp : public setup_test::MachineTest {};

TEST_F(UninstallNonPnp, ADeviceWithTwoMatchingIdsIsPassedToRemovalTwice) {
    EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0001", {"TOLISA1", "TOLISA1X"}}), nullptr);
    char inf[] = "C:\\Drivers\\other.inf";
    char prefix[] = "TOLISA1";
    UninstallNonePnpDriver(inf, prefix);
    EXPECT_FALSE(DeviceThere("ROOT\\DAQBOARD\\0001"));
    // The only device of the machine: every removal call was made for it.
    EXPECT_EQ(sim::CallCount("SetupDiRemoveDevice"), 2u);
}

TEST_F(UninstallNonPnp, RemovesByCaseSensitivePrefixThenRecordsCopiesAndFiles) {
    const std::string board = tools::AddDemoBoard(3, "oem6.inf", {"DEMOXYZ"});
    const std::string other = tools::AddDemoBoard(4, "oem7.inf", {"demo"});
    DemoRecord(2, 3);
    EXPECT_TRUE(tools::AddOemInfCopy("oem6.inf", "DEMO\n"));
    EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\drivers\\TolDemos.sys", "sys"));
    char inf[] = "C:\\Drivers\\Demo\\TolDemos.inf";
    char prefix[] = "DEMO";
    testing::internal::CaptureStdout();
    EXPECT_EQ(UninstallNonePnpDriver(inf, prefix), 0u);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("DeleteDriverFile entry\nisQuorvatekDeivce 1\n"), 0u);
    EXPECT_FALSE(DeviceThere(board));
    EXPECT_TRUE(DeviceThere(other));
    EXPECT_FALSE(KeyExists("Device002"));
    EXPECT_FALSE(tools::FileExists("C:\\Windows\\INF\\oem6.inf"));
    EXPECT_FALSE(tools::FileExists("C:\\Windows\\system32\\drivers\\TolDemos.sys"));
}

TEST_F(UninstallNonPnp, TheResultIsTheRemovalOfTheDevicesCopy) {
    EXPECT_NE(tools::AddDemoBoard(3, "oem6.inf"), "");
    char inf[] = "C:\\Drivers\\other.inf";
    char prefix[] = "DEMO";
    // oem6.inf was never staged: the store's answer is the result.
    EXPECT_EQ(UninstallNonePnpDriver(inf, prefix), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(UninstallNonPnp, AnEmptyPrefixRemovesNothing) {
    EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0001", {"TOLISA1"}}), nullptr);
    DemoRecord(2, 3);
    char inf[] = "C:\\Drivers\\Demo\\TolDemos.inf";
    char empty[] = "";
    EXPECT_EQ(UninstallNonePnpDriver(inf, empty), 2u);
    EXPECT_EQ(UninstallNonePnpDriver(inf, nullptr), 2u);
    EXPECT_TRUE(DeviceThere("ROOT\\DAQBOARD\\0001"));
    EXPECT_TRUE(KeyExists("Device002"));
}

TEST_F(UninstallNonPnp, AnUnreadableListEndsTheWalkBeforeTheStore) {
    EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0001", {"TOLISA1"}}), nullptr);
    DemoRecord(2, 3);
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", "", ERROR_NOT_ENOUGH_MEMORY);
    char inf[] = "C:\\Drivers\\Demo\\TolDemos.inf";
    char prefix[] = "TOLISA";
    EXPECT_EQ(UninstallNonePnpDriver(inf, prefix), 0u);
    EXPECT_TRUE(KeyExists("Device002"));
}

}  // namespace

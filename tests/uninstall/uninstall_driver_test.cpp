// UninstallDriver, DeleteDriverFile and RemoveDevice on a machine with demo boards, records,
// package copies and driver files.
#include <gtest/gtest.h>

#include "boardkit/operations.h"
#include "uninstall/uninstall_machine.h"

namespace {

using namespace uninstall_test;

const char* const kDriver = "C:\\Windows\\system32\\drivers\\TolDemos.sys";
const char* const kLibrary = "C:\\Windows\\system32\\TolDemo.dll";
const char* const kConfigLibrary = "C:\\Windows\\system32\\TolDemoCFG.dll";

void DriverFiles() {
    EXPECT_TRUE(tools::WriteMachineFile(kDriver, "sys"));
    EXPECT_TRUE(tools::WriteMachineFile(kLibrary, "dll"));
    EXPECT_TRUE(tools::WriteMachineFile(kConfigLibrary, "cfg"));
}

class UninstallDriverByKernelKey : public setup_test::MachineTest {};

TEST_F(UninstallDriverByKernelKey, RemovesEverythingInTheFixedOrder) {
    const std::string board = tools::AddDemoBoard(7, "oem3.inf");
    DemoRecord(4, 7);
    config_test::Record(9, {StringValue("KernelKey", "Other"), DwordValue("Alias", 1)});
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf", "[Models]\nDEMO\n"));
    EXPECT_TRUE(tools::AddOemInfCopy("oem5.inf", "another package that names DEMO too\n"));
    DriverFiles();
    ASSERT_TRUE(tools::AddPreinstallRecord("TolDemo", "TolDemos.inf"));

    char key[] = "toldemos";
    EXPECT_EQ(UninstallDriver(key), 0);

    const int node = FirstLine({"SetupDiRemoveDevice", board});
    const int record = FirstLine({"RegDeleteKeyA", "TOLVAN\\Device004"});
    const int entry = FirstLine({"RegDeleteValueA", "MapEntry", "\"4\""});
    const int copyRead = FirstLine({"SetupUninstallOEMInfA", "oem3.inf"});
    const int copyFound = FirstLine({"SetupUninstallOEMInfA", "oem5.inf"});
    const int driver = FirstLine({"DeleteFileA", "TolDemos.sys"});
    const int cfg = FirstLine({"DeleteFileA", "TolDemoCFG.dll"});
    const int preinstall = FirstLine({"RegDeleteValueA", "TOLVANPRE", "\"TolDemo\""});
    const int alias = FirstLine({"RegDeleteKeyA", "TOLVAN\\Device009"});
    ASSERT_GE(node, 0);
    EXPECT_LT(node, record);
    EXPECT_LT(record, entry);
    EXPECT_LT(entry, copyRead);
    EXPECT_LT(copyRead, copyFound);
    EXPECT_LT(copyFound, driver);
    EXPECT_LT(driver, cfg);
    EXPECT_LT(cfg, preinstall);
    EXPECT_LT(preinstall, alias);
    EXPECT_FALSE(DeviceThere(board));
    EXPECT_FALSE(tools::FileExists(kConfigLibrary));
    EXPECT_FALSE(tools::FileExists("C:\\Windows\\INF\\oem5.inf"));
    EXPECT_STREQ(key, "TOLDEMOS");
}

TEST_F(UninstallDriverByKernelKey, MatchesKeysIgnoringCaseButNeverByContainment) {
    DemoRecord(1, 1, 0, "tOLdEMOs");
    DemoRecord(2, 2, 0, "TolDemoSX");
    DemoRecord(3, 3, 0, "TolDemoS");
    char key[] = "TolDemoS";
    EXPECT_EQ(UninstallDriver(key), 0);
    EXPECT_FALSE(KeyExists("Device001"));
    EXPECT_TRUE(KeyExists("Device002"));
    EXPECT_TRUE(MapValueExists(2));
    // Device003 follows a removed record directly: the step-back keeps it from being skipped.
    EXPECT_FALSE(KeyExists("Device003"));
    EXPECT_FALSE(MapValueExists(3));
}

TEST_F(UninstallDriverByKernelKey, ARecordWithoutKernelKeyEndsTheScan) {
    config_test::Record(1, {DwordValue("ProductID", 0)});
    DemoRecord(2, 2);
    char key[] = "TolDemoS";
    EXPECT_EQ(UninstallDriver(key), 0);
    EXPECT_TRUE(KeyExists("Device002"));
    EXPECT_TRUE(MapValueExists(2));
}

TEST_F(UninstallDriverByKernelKey, ARecordThatCannotBeDeletedIsPassedAndKeepsItsMapEntry) {
    DemoRecord(3, 3);
    config_test::Key("Device003\\Child");
    DemoRecord(4, 4);
    char key[] = "TolDemoS";
    EXPECT_EQ(UninstallDriver(key), 0);
    EXPECT_TRUE(KeyExists("Device003"));
    EXPECT_TRUE(MapValueExists(3));
    EXPECT_FALSE(KeyExists("Device004"));
}

TEST_F(UninstallDriverByKernelKey, AnEmptyOrUnknownKeyChangesNothing) {
    DemoRecord(1, 1);
    DriverFiles();
    char empty[] = "";
    char unknown[] = "NoSuchDriverS";
    EXPECT_EQ(UninstallDriver(empty), 2);
    EXPECT_EQ(UninstallDriver(unknown), 2);
    EXPECT_EQ(UninstallDriver(nullptr), 2);
    EXPECT_TRUE(KeyExists("Device001"));
    EXPECT_TRUE(tools::FileExists(kDriver));
    EXPECT_STREQ(unknown, "NoSuchDriverS");
}

TEST_F(UninstallDriverByKernelKey, WithoutTheStoreItAnswersNotFoundAndKeepsTheKeyText) {
    DriverFiles();
    char key[] = "toldemos";
    EXPECT_EQ(static_cast<uint32_t>(UninstallDriver(key)), 0xE0000017u);
    EXPECT_STREQ(key, "toldemos");
    EXPECT_TRUE(tools::FileExists(kDriver));
}

TEST_F(UninstallDriverByKernelKey, AFailedLastInfReadDeletesNoEarlierCopy) {
    const std::string seven = tools::AddDemoBoard(7, "oem3.inf");
    const std::string eight = tools::AddDemoBoard(8, "oem4.inf");
    DemoRecord(4, 7);
    DemoRecord(5, 8);
    // Copies that do not name the board's ID: only the names read from the devices reach them.
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf", "[Models]\nanother package\n"));
    EXPECT_TRUE(tools::AddOemInfCopy("oem4.inf", "[Models]\nanother package\n"));
    tools::FailCall("SetupDiOpenDevRegKey", eight, ERROR_ACCESS_DENIED);
    char key[] = "TolDemoS";
    EXPECT_EQ(UninstallDriver(key), 0);
    EXPECT_FALSE(DeviceThere(seven));
    EXPECT_FALSE(DeviceThere(eight));
    EXPECT_TRUE(tools::FileExists("C:\\Windows\\INF\\oem3.inf"));
    EXPECT_TRUE(tools::FileExists("C:\\Windows\\INF\\oem4.inf"));
    EXPECT_EQ(FirstLine({"SetupUninstallOEMInfA"}), -1);
}

TEST_F(UninstallDriverByKernelKey, ACopyThatStaysEndsTheCopyLoop) {
    config_test::Key("Device001");
    EXPECT_TRUE(tools::AddOemInfCopy("oem5.inf", "DEMO\n"));
    tools::FailCall("SetupUninstallOEMInfA", "oem5.inf", ERROR_ACCESS_DENIED);
    char key[] = "TolDemoS";
    EXPECT_EQ(UninstallDriver(key), 0);
    EXPECT_TRUE(tools::FileExists("C:\\Windows\\INF\\oem5.inf"));
}

class DeleteDriverFiles : public setup_test::MachineTest {};

TEST_F(DeleteDriverFiles, DeletesTheDemoRowsThreeFilesWithTheirLines) {
    DriverFiles();
    char key[] = "TolDemoS";
    testing::internal::CaptureStdout();
    EXPECT_EQ(DeleteDriverFile(key), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "isQuorvatekDeivce 1\n"
              "delete file C:\\Windows\\system32\\drivers\\TolDemos.sys\n"
              "delete file C:\\Windows\\system32\\TolDemo.dll\n"
              "delete file C:\\Windows\\system32\\TolDemoCFG.dll\n");
    EXPECT_FALSE(tools::FileExists(kDriver));
    EXPECT_FALSE(tools::FileExists(kLibrary));
    EXPECT_FALSE(tools::FileExists(kConfigLibrary));
}

TEST_F(DeleteDriverFiles, AMissingFileIsSkippedWithoutALine) {
    EXPECT_TRUE(tools::WriteMachineFile(kLibrary, "dll"));
    char key[] = "TolDemoS";
    testing::internal::CaptureStdout();
    EXPECT_EQ(DeleteDriverFile(key), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "isQuorvatekDeivce 1\ndelete file C:\\Windows\\system32\\TolDemo.dll\n");
}

TEST_F(DeleteDriverFiles, StopsAtTheFirstFileThatStaysWithItsError) {
    DriverFiles();
    tools::FailCall("DeleteFileA", kLibrary, ERROR_ACCESS_DENIED);
    char key[] = "TolDemoS";
    testing::internal::CaptureStdout();
    EXPECT_EQ(DeleteDriverFile(key), ERROR_ACCESS_DENIED);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(tools::FileExists(kDriver));
    EXPECT_TRUE(tools::FileExists(kLibrary));
    EXPECT_TRUE(tools::FileExists(kConfigLibrary));
}

TEST_F(DeleteDriverFiles, RefusesAnEmptyKeyAndReportsAnUnknownWindowsFolder) {
    DriverFiles();
    char empty[] = "";
    EXPECT_EQ(DeleteDriverFile(empty), 2);
    tools::FailCall("GetWindowsDirectoryA", "", ERROR_NOT_ENOUGH_MEMORY);
    char key[] = "TolDemoS";
    EXPECT_EQ(DeleteDriverFile(key), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(tools::FileExists(kDriver));
}

class RemoveDevicesById : public setup_test::MachineTest {};

TEST_F(RemoveDevicesById, RemovesPresentAndRememberedEntriesByContainment) {
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0001\\1", {"PCI\\VEN_5AE3&DEV_0001&SUBSYS_1"}}),
              nullptr);
    EXPECT_NE(
        tools::AddBoard(
            {"PCI\\VEN_5AE3&DEV_0001\\2", {"PCI\\VEN_5AE3&DEV_0001"}, sim::Presence::Phantom}),
        nullptr);
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0002\\1", {"PCI\\VEN_5AE3&DEV_0002"}}), nullptr);
    char id[] = "pci\\ven_5ae3&dev_0001";
    EXPECT_TRUE(RemoveDevice(id));
    EXPECT_FALSE(DeviceThere("PCI\\VEN_5AE3&DEV_0001\\1"));
    EXPECT_FALSE(DeviceThere("PCI\\VEN_5AE3&DEV_0001\\2"));
    EXPECT_TRUE(DeviceThere("PCI\\VEN_5AE3&DEV_0002\\1"));
}

TEST_F(RemoveDevicesById, AnEntryWhoseListCannotBeReadOrDoesNotFitIsPassedOver) {
    EXPECT_NE(tools::AddBoard({"ACPI\\PNP0A03\\0",
                               {"ACPI\\PNP0A03"},
                               sim::Presence::Present,
                               0,
                               tools::kSystemClass}),
              nullptr);
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0001\\1",
                               setup_test::ListPast4096Bytes("PCI\\VEN_5AE3&DEV_0001")}),
              nullptr);
    EXPECT_NE(
        tools::AddBoard(
            {"PCI\\VEN_5AE3&DEV_0001\\2", {"PCI\\VEN_5AE3&DEV_0001"}, sim::Presence::Phantom}),
        nullptr);
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", "ACPI\\PNP0A03\\0", ERROR_ACCESS_DENIED);
    char id[] = "PCI\\VEN_5AE3&DEV_0001";
    EXPECT_TRUE(RemoveDevice(id));
    EXPECT_TRUE(DeviceThere("ACPI\\PNP0A03\\0"));
    EXPECT_TRUE(DeviceThere("PCI\\VEN_5AE3&DEV_0001\\1"));
    EXPECT_FALSE(DeviceThere("PCI\\VEN_5AE3&DEV_0001\\2"));
}

TEST_F(RemoveDevicesById, AnEmptyTextRemovesNothing) {
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0001\\1", {"PCI\\VEN_5AE3&DEV_0001"}}), nullptr);
    char empty[] = "";
    EXPECT_FALSE(RemoveDevice(empty));
    EXPECT_FALSE(RemoveDevice(nullptr));
    EXPECT_TRUE(DeviceThere("PCI\\VEN_5AE3&DEV_0001\\1"));
}

TEST_F(RemoveDevicesById, NoMatchIsTrueAndARefusedRemovalIsFalse) {
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_0001\\1", {"PCI\\VEN_5AE3&DEV_0001"}}), nullptr);
    char other[] = "USB\\VID_2E5B";
    EXPECT_TRUE(RemoveDevice(other));
    tools::FailCall("SetupDiRemoveDevice", "", ERROR_ACCESS_DENIED);
    char id[] = "PCI\\VEN_5AE3&DEV_0001";
    EXPECT_FALSE(RemoveDevice(id));
    EXPECT_TRUE(DeviceThere("PCI\\VEN_5AE3&DEV_0001\\1"));
}

}  // namespace

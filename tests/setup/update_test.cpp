// UpdateNewDriver on plug-and-play boards, present and absent, and on refused arguments.
#include <gtest/gtest.h>

#include <string>

#include "boardkit/operations.h"
#include "choke.h"
#include "config/config_machine.h"
#include "setup/setup_machine.h"

namespace {

// The PX-1001 board's package, as a setup program would pass it.
const char* const kId = "PCI\\VEN_5AE3&DEV_1001";
const char* const kInf = "C:\\Drivers\\PX1001\\TolPx10s.inf";
const char* const kInfFolder = "C:\\Windows\\INF\\";

std::string Package(const std::string& version) {
    return tools::BoardPackageInf(kId, "TolPx10S", "TolPx10s.sys", version);
}

DWORD ConfigFlags(const std::string& instance, DWORD& type, DWORD& size) {
    HKEY key = nullptr;
    DWORD flags = 0;
    size = sizeof flags;
    type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("SYSTEM\\CurrentControlSet\\Enum\\" + instance).c_str(),
                      0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0xFFFFFFFF;
    }
    if (RegQueryValueExA(key, "ConfigFlags", nullptr, &type, reinterpret_cast<BYTE*>(&flags),
                         &size) != ERROR_SUCCESS) {
        flags = 0xFFFFFFFF;
    }
    RegCloseKey(key);
    return flags;
}

class UpdateNewDriverOnPnpBoards : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        setup_test::MachineTest::SetUp();
        ASSERT_TRUE(tools::AddBoardPackage(kInf, kId, "TolPx10S", "TolPx10s.sys", "2.0.0.0"));
    }
    static int32_t Update(std::string inf, std::string id, std::string* out = nullptr) {
        testing::internal::CaptureStdout();
        int reboot = 0;
        const int32_t result = UpdateNewDriver(&inf[0], &id[0], &reboot);
        const std::string text = testing::internal::GetCapturedStdout();
        if (out != nullptr) {
            *out = text;
        }
        return result;
    }
    // An absent board seen before: its entry stays in the tree with these flags.
    static void RememberedBoard(const std::string& instance, std::optional<DWORD> flags) {
        tools::Board board{instance, {kId}, sim::Presence::Phantom};
        board.configFlags = flags;
        ASSERT_NE(tools::AddBoard(board), nullptr);
    }
};

TEST_F(UpdateNewDriverOnPnpBoards, OldCopiesAndCopiesMentioningTheIdGoBeforeTheNewIsStaged) {
    EXPECT_TRUE(tools::AddOemInfCopy("oem1.inf", Package("1.0.0.0")));
    EXPECT_TRUE(tools::AddOemInfCopy("oem2.inf", Package("1.5.0.0")));
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf",
                                     "; another package that mentions PCI\\VEN_5AE3&DEV_1001\r\n"));
    EXPECT_TRUE(tools::AddOemInfCopy("oem4.inf", "; unrelated\r\n"));
    EXPECT_EQ(Update(kInf, kId), 0);
    const int first = setup_test::FirstLine({"SetupUninstallOEMInfA", "oem1.inf"});
    const int second = setup_test::FirstLine({"SetupUninstallOEMInfA", "oem2.inf"});
    const int other = setup_test::FirstLine({"SetupUninstallOEMInfA", "oem3.inf"});
    const int staged = setup_test::FirstLine({"SetupCopyOEMInfA", "TolPx10s.inf"});
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_GE(other, 0);
    EXPECT_LT(first, staged);
    EXPECT_LT(second, staged);
    EXPECT_LT(other, staged);
    EXPECT_TRUE(tools::FileExists(std::string(kInfFolder) + "oem4.inf"));
    const std::string& line = sim::JournalLines()[static_cast<size_t>(staged)];
    const size_t name = line.find("-> ");
    ASSERT_NE(name, std::string::npos) << line;
    const std::string copy = line.substr(name + 3, line.find(')', name) - name - 3);
    EXPECT_NE(setup_test::ReadFile(kInfFolder + copy).find("2.0.0.0"), std::string::npos);
}

TEST_F(UpdateNewDriverOnPnpBoards, ACopyThatCannotBeRemovedEndsTheRemoval) {
    EXPECT_TRUE(tools::AddOemInfCopy("oem1.inf", Package("1.0.0.0")));
    tools::FailCall("SetupUninstallOEMInfA", "oem1.inf", ERROR_ACCESS_DENIED);
    Update(kInf, kId);
    EXPECT_EQ(sim::CallCount("SetupUninstallOEMInfA"), 1u);
    EXPECT_TRUE(tools::FileExists(std::string(kInfFolder) + "oem1.inf"));
}

TEST_F(UpdateNewDriverOnPnpBoards, APresentBoardIsUpdatedAndLosesItsPreinstallRecord) {
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_1001\\3&1", {kId}}), nullptr);
    ASSERT_TRUE(tools::AddPreinstallRecord("TolPx10", "TolPx10s.inf"));
    ASSERT_TRUE(tools::AddPreinstallRecord("TolOther", "TolOthers.inf"));
    std::string out;
    EXPECT_EQ(Update(kInf, kId, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(tools::PreinstallRecordExists("TolPx10"));
    EXPECT_TRUE(tools::PreinstallRecordExists("TolOther"));
    EXPECT_GE(setup_test::FirstLine({"UpdateDriverForPlugAndPlayDevicesA", kId}), 0);
}

TEST_F(UpdateNewDriverOnPnpBoards, AnAbsentBoardSeenBeforeGetsTheReinstallFlagAndNoRecord) {
    RememberedBoard("PCI\\VEN_5AE3&DEV_1001\\3&1", 0x00000400);
    std::string out;
    EXPECT_EQ(Update(kInf, kId, &out), 0);
    EXPECT_EQ(out, "<==UpdateDriver, state=0x0\n");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&1", type, size), 0x00000420u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_FALSE(tools::PreinstallRecordExists("TolPx10"));
}

TEST_F(UpdateNewDriverOnPnpBoards, FlagsThatCannotBeReadAreNotWrittenOver) {
    RememberedBoard("PCI\\VEN_5AE3&DEV_1001\\3&1", std::nullopt);
    // Eight bytes do not fit the four the flags are read into.
    ASSERT_TRUE(tools::WriteKey("SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_5AE3&DEV_1001\\3&1",
                                {{"ConfigFlags", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}}}));
    EXPECT_EQ(Update(kInf, kId), 0);
    DWORD type = 0;
    DWORD size = 0;
    ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&1", type, size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_LT(setup_test::FirstLine({"SetupDiSetDeviceRegistryPropertyA", "ConfigFlags"}), 0);
}

TEST_F(UpdateNewDriverOnPnpBoards, AnEntryWhoseListCannotBeReadOrDoesNotFitIsPassedOver) {
    EXPECT_NE(tools::AddBoard({"ACPI\\PNP0A03\\0",
                               {"ACPI\\PNP0A03"},
                               sim::Presence::Present,
                               0,
                               tools::kSystemClass}),
              nullptr);
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_1001\\3&0", setup_test::ListPast4096Bytes(kId),
                               sim::Presence::Phantom}),
              nullptr);
    RememberedBoard("PCI\\VEN_5AE3&DEV_1001\\3&1", 0x00000400);
    tools::FailCall("SetupDiGetDeviceRegistryPropertyA", "ACPI\\PNP0A03\\0", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Update(kInf, kId), 0);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&1", type, size), 0x00000420u);
    EXPECT_EQ(ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&0", type, size), 0xFFFFFFFFu);
    EXPECT_FALSE(tools::PreinstallRecordExists("TolPx10"));
}

// The first record of an absent board never seen is shown by the end-to-end case
// update_new_driver_for_an_absent_board_records_the_package, on both builds.
TEST_F(UpdateNewDriverOnPnpBoards, AnAbsentBoardNeverSeenGetsOnePreinstallRecord) {
    ASSERT_EQ(Update(kInf, kId), 0);
    ASSERT_TRUE(tools::PreinstallRecordExists("TolPx10"));
    // A lower-case ID passes the catalog but matches no entry: the same record, not a second.
    EXPECT_EQ(Update(kInf, "pci\\ven_5ae3&dev_1001"), 0);
    EXPECT_EQ(sim::CallCount("RegSetValueExA"), 1u);
}

TEST_F(UpdateNewDriverOnPnpBoards, AFailedReplacingCopyIsReported) {
    EXPECT_EQ(Update(kInf, kId), 0);
    // The staged copy stays, so the next staging meets it and replaces it.
    tools::FailCall("SetupUninstallOEMInfA", "", ERROR_ACCESS_DENIED);
    tools::FailCall("SetupCopyOEMInfA", "", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(Update(kInf, kId), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::CallCount("SetupCopyOEMInfA"), 3u);
}

TEST_F(UpdateNewDriverOnPnpBoards, AFailedFirstCopyLeavesAnAbsentBoardWithoutRecord) {
    tools::FailCall("SetupCopyOEMInfA", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Update(kInf, kId), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(tools::PreinstallRecordExists("TolPx10"));
}

// An empty ID, a mistyped INF path and the demo path's missing INF are end-to-end cases.
TEST_F(UpdateNewDriverOnPnpBoards, RefusedArgumentsChangeNothing) {
    config_test::Record(1, {tools::DwordValue("ProductID", 0), tools::DwordValue("Alias", 1)});
    EXPECT_NE(tools::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}}), nullptr);
    EXPECT_EQ(Update(kInf, "PCI\\VEN_0000"), 2);
    int reboot = 0;
    char id[] = "PCI\\VEN_5AE3&DEV_1001";
    EXPECT_EQ(UpdateNewDriver(nullptr, id, &reboot), 2);
    EXPECT_EQ(Update(std::string(300, 'a'), kId), 2);
    EXPECT_TRUE(config_test::KeyExists("Device001"));
    EXPECT_EQ(sim::AllDevices().size(), 1u);
    EXPECT_EQ(sim::CallCount("SetupCopyOEMInfA"), 0u);
}

}  // namespace

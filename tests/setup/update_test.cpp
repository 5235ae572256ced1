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
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=TolBoards\r\n"
           "ClassGuid={3D5A1C7E-94B2-4F08-A6C3-1E7D2B9F5048}\r\nProvider=%V%\r\n"
           "DriverVer=05/02/2025," +
           version +
           "\r\n[Manufacturer]\r\n%V%=Boards,NTamd64\r\n[Boards.NTamd64]\r\n"
           "%D%=Px_Install,PCI\\VEN_5AE3&DEV_1001\r\n[Px_Install.NTamd64]\r\n"
           "[Px_Install.NTamd64.Services]\r\nAddService=TolPx10S,2,Px_Service\r\n"
           "[Px_Service]\r\nServiceType=1\r\nStartType=3\r\nErrorControl=1\r\n"
           "ServiceBinary=%12%\\TolPx10s.sys\r\n[Strings]\r\nV=\"Tolvan\"\r\nD=\"PX-1001\"\r\n";
}

bool FileThere(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int JournalIndex(const std::string& a, const std::string& b) {
    const std::vector<std::string>& lines = sim::JournalLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(a) != std::string::npos && lines[i].find(b) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool PreinstallRecord(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TOLVANPRE", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool found =
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
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
        setup_test::WriteFile(kInf, Package("2.0.0.0"));
        setup_test::WriteFile("C:\\Drivers\\PX1001\\TolPx10s.sys", "sys");
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
    static void RememberedBoard(const std::string& instance, std::optional<DWORD> flags) {
        sim::DeviceSpec spec;
        spec.instanceId = instance;
        spec.presence = sim::Presence::Phantom;
        spec.hardwareIds = {kId};
        spec.classGuid = setup_test::kBoardClass;
        spec.configFlags = flags;
        ASSERT_NE(sim::AddDevice(spec), nullptr);
    }
};

TEST_F(UpdateNewDriverOnPnpBoards, OldCopiesAndCopiesMentioningTheIdGoBeforeTheNewIsStaged) {
    setup_test::WriteFile(std::string(kInfFolder) + "oem1.inf", Package("1.0.0.0"));
    setup_test::WriteFile(std::string(kInfFolder) + "oem2.inf", Package("1.5.0.0"));
    setup_test::WriteFile(std::string(kInfFolder) + "oem3.inf",
                          "; another package that mentions PCI\\VEN_5AE3&DEV_1001\r\n");
    setup_test::WriteFile(std::string(kInfFolder) + "oem4.inf", "; unrelated\r\n");
    EXPECT_EQ(Update(kInf, kId), 0);
    const int first = JournalIndex("SetupUninstallOEMInfA", "oem1.inf");
    const int second = JournalIndex("SetupUninstallOEMInfA", "oem2.inf");
    const int other = JournalIndex("SetupUninstallOEMInfA", "oem3.inf");
    const int staged = JournalIndex("SetupCopyOEMInfA", "TolPx10s.inf");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_GE(other, 0);
    EXPECT_LT(first, staged);
    EXPECT_LT(second, staged);
    EXPECT_LT(other, staged);
    EXPECT_TRUE(FileThere(std::string(kInfFolder) + "oem4.inf"));
    const std::string& line = sim::JournalLines()[static_cast<size_t>(staged)];
    const size_t name = line.find("-> ");
    ASSERT_NE(name, std::string::npos) << line;
    const std::string copy = line.substr(name + 3, line.find(')', name) - name - 3);
    EXPECT_NE(setup_test::ReadFile(kInfFolder + copy).find("2.0.0.0"), std::string::npos);
}

TEST_F(UpdateNewDriverOnPnpBoards, ACopyThatCannotBeRemovedEndsTheRemoval) {
    setup_test::WriteFile(std::string(kInfFolder) + "oem1.inf", Package("1.0.0.0"));
    setup_test::FailCall("SetupUninstallOEMInfA", "oem1.inf", ERROR_ACCESS_DENIED);
    Update(kInf, kId);
    EXPECT_EQ(sim::CallCount("SetupUninstallOEMInfA"), 1u);
    EXPECT_TRUE(FileThere(std::string(kInfFolder) + "oem1.inf"));
}

TEST_F(UpdateNewDriverOnPnpBoards, APresentBoardIsUpdatedAndLosesItsPreinstallRecord) {
    setup_test::AddBoard({"PCI\\VEN_5AE3&DEV_1001\\3&1", {kId}});
    ASSERT_TRUE(tools::AddPreinstallRecord("TolPx10", "TolPx10s.inf"));
    std::string out;
    EXPECT_EQ(Update(kInf, kId, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(PreinstallRecord("TolPx10"));
    EXPECT_GE(JournalIndex("UpdateDriverForPlugAndPlayDevicesA", kId), 0);
}

TEST_F(UpdateNewDriverOnPnpBoards, AnAbsentBoardSeenBeforeGetsTheReinstallFlagAndNoRecord) {
    RememberedBoard("PCI\\VEN_5AE3&DEV_1001\\3&1", 0x00000400);
    std::string out;
    EXPECT_EQ(Update(kInf, kId, &out), 0);
    EXPECT_EQ(out, "<==UpdateDriver, state=0x0\n");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&1", type, size), 0x00000420u);
    EXPECT_FALSE(PreinstallRecord("TolPx10"));
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
    EXPECT_LT(JournalIndex("SetupDiSetDeviceRegistryPropertyA", "ConfigFlags"), 0);
}

TEST_F(UpdateNewDriverOnPnpBoards, AnEntryWhoseListCannotBeReadOrDoesNotFitIsPassedOver) {
    setup_test::AddBoard({"ACPI\\PNP0A03\\0",
                          {"ACPI\\PNP0A03"},
                          sim::Presence::Present,
                          0,
                          setup_test::kSystemClass});
    setup_test::AddBoard({"PCI\\VEN_5AE3&DEV_1001\\3&0", setup_test::ListPast4096Bytes(kId),
                          sim::Presence::Phantom});
    RememberedBoard("PCI\\VEN_5AE3&DEV_1001\\3&1", 0x00000400);
    setup_test::FailCall("SetupDiGetDeviceRegistryPropertyA", "ACPI\\PNP0A03\\0",
                         ERROR_ACCESS_DENIED);
    EXPECT_EQ(Update(kInf, kId), 0);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&1", type, size), 0x00000420u);
    EXPECT_EQ(ConfigFlags("PCI\\VEN_5AE3&DEV_1001\\3&0", type, size), 0xFFFFFFFFu);
    EXPECT_FALSE(PreinstallRecord("TolPx10"));
}

TEST_F(UpdateNewDriverOnPnpBoards, AnAbsentBoardNeverSeenGetsOnePreinstallRecord) {
    std::string out;
    EXPECT_EQ(Update(kInf, kId, &out), 0);
    EXPECT_EQ(out, "<==UpdateDriver, state=0x0\n");
    EXPECT_TRUE(PreinstallRecord("TolPx10"));
    // A lower-case ID passes the catalog but matches no entry: the same record, not a second.
    EXPECT_EQ(Update(kInf, "pci\\ven_5ae3&dev_1001"), 0);
    EXPECT_EQ(sim::CallCount("RegSetValueExA"), 1u);
}

TEST_F(UpdateNewDriverOnPnpBoards, AFailedReplacingCopyIsReported) {
    EXPECT_EQ(Update(kInf, kId), 0);
    // The staged copy stays, so the next staging meets it and replaces it.
    setup_test::FailCall("SetupUninstallOEMInfA", "", ERROR_ACCESS_DENIED);
    setup_test::FailCall("SetupCopyOEMInfA", "", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(Update(kInf, kId), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::CallCount("SetupCopyOEMInfA"), 3u);
}

TEST_F(UpdateNewDriverOnPnpBoards, AFailedFirstCopyLeavesAnAbsentBoardWithoutRecord) {
    setup_test::FailCall("SetupCopyOEMInfA", "", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Update(kInf, kId), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(PreinstallRecord("TolPx10"));
}

TEST_F(UpdateNewDriverOnPnpBoards, AMistypedPathKeepsTheStagedCopy) {
    setup_test::WriteFile(std::string(kInfFolder) + "oem1.inf", Package("1.0.0.0"));
    EXPECT_EQ(Update("C:\\Drivers\\PX100\\TolPx10s.inf", kId), 2);
    EXPECT_TRUE(FileThere(std::string(kInfFolder) + "oem1.inf"));
    EXPECT_FALSE(PreinstallRecord("TolPx10"));
}

TEST_F(UpdateNewDriverOnPnpBoards, ADemoUpdateFromAMissingInfChangesNothing) {
    config_test::Record(1, {tools::DwordValue("ProductID", 0), tools::DwordValue("BoardID", 0),
                            tools::DwordValue("Alias", 1)});
    EXPECT_EQ(Update("C:\\Drivers\\Demo\\TolDemos.inf", "DEMO"), 2);
    EXPECT_TRUE(config_test::KeyExists("Device001"));
    EXPECT_TRUE(sim::AllDevices().empty());
}

TEST_F(UpdateNewDriverOnPnpBoards, RefusedArgumentsChangeNothing) {
    config_test::Record(1, {tools::DwordValue("ProductID", 0), tools::DwordValue("Alias", 1)});
    setup_test::AddBoard({"ROOT\\DAQBOARD\\0000", {"DEMO"}});
    EXPECT_EQ(Update(kInf, ""), 2);
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

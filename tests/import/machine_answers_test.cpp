// The real boardkit on an imported customer machine: presence questions, the lists and an
// uninstall answer as they would on that machine.
#include <string>

#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "import_helpers.h"
#include "machine.h"
#include "registry_tree.h"

namespace import_test {
namespace {

constexpr int kYes = 16;
constexpr int kNo = 17;

class MachineAnswersTest : public ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        const tools::ImportResult result = ImportCustomer("image", "devices_ps51.json");
        ASSERT_TRUE(result.ok) << result.error;
        image_ = Path("image");
    }
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    std::string MachineFile(const std::string& path) {
        sim::OpenImage(image_);
        std::string bytes;
        sim::files::ReadWholeFile(path, bytes);
        sim::ResetToEmpty();
        return bytes;
    }
    std::string image_;
};

TEST_F(MachineAnswersTest, PresenceQuestionsSeeWhatTheCustomerHas) {
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExist", "PCI\\VEN_5AE3&DEV_1001"}), kYes);
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExist", "USB\\VID_2E5B&PID_1008"}), kYes);
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExist", "USB\\VID_2E5B&PID_1016"}), kNo);  // unplugged
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExist", "PCI\\VEN_5AE3&DEV_1201"}), kNo);  // unplugged
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExistInstalled", "PCI\\VEN_5AE3&DEV_1001"}), kYes);
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExistInstalled", "PCI\\VEN_5AE3&DEV_E104"}), kNo);
    EXPECT_EQ(RunBoardkit(image_, {"IsDeviceExistNotInstall", "PCI\\VEN_5AE3&DEV_E104"}), kYes);
    EXPECT_EQ(RunBoardkit(image_, {"IsDemoDeviceInstalled"}), kYes);
}

TEST_F(MachineAnswersTest, InstalledListHasTheRecordsThenThePreinstalledPackage) {
    ASSERT_EQ(RunBoardkit(image_, {"GetDeviceInstalledList", "C:\\installed.txt"}), kYes);
    EXPECT_EQ(
        MachineFile("C:\\installed.txt"),
        "0,Demo,Demo\\TolDemos.inf,DEMO,TolDemo.dll,TolDemos.sys\r\n"
        "257,PX-1001,PX1001\\TolPx10s.inf,PCI\\VEN_5AE3&DEV_1001,TolPx10.dll,TolPx10s.sys\r\n"
        "2561,UA-1008,UA1008\\TolUa08s.inf,USB\\VID_2E5B&PID_1008,TolUa08.dll,TolUa08s.sys\r\n"
        "289,PX-1201,PX1201\\TolPx12s.inf,PCI\\VEN_5AE3&DEV_1201,TolPx12.dll,TolPx12s.sys\r\n"
        "2817,PXE-1004,PXE1004\\TolPxe1s.inf,PCI\\VEN_5AE3&DEV_E104,TolPxe1.dll,TolPxe1s.sys\r\n");
}

TEST_F(MachineAnswersTest, DriverlessListHasTheBoardWhoseInstallFailed) {
    ASSERT_EQ(RunBoardkit(image_, {"GetDeviceExistNotInstalledList", "C:\\driverless.txt"}), kYes);
    EXPECT_EQ(
        MachineFile("C:\\driverless.txt"),
        "2817,PXE-1004,PXE1004\\TolPxe1s.inf,PCI\\VEN_5AE3&DEV_E104,TolPxe1.dll,TolPxe1s.sys\r\n");
}

TEST_F(MachineAnswersTest, UninstallRemovesTheBoardsRecordNodeAndPackage) {
    ASSERT_EQ(RunBoardkit(image_, {"UninstallDriver", "TolPx10S"}), 0);
    sim::OpenImage(image_);
    const std::string tolvan = "SYSTEM\\CurrentControlSet\\Services\\TOLVAN";
    EXPECT_EQ(sim::FindKey(sim::Hklm(), tolvan + "\\Device001"), nullptr);
    EXPECT_NE(sim::FindKey(sim::Hklm(), tolvan + "\\Device000"), nullptr);
    sim::RegKey* map = sim::FindKey(sim::Hklm(), tolvan + "\\MapEntry");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(sim::FindValue(*map, "1"), nullptr);
    EXPECT_NE(sim::FindValue(*map, "0"), nullptr);
    EXPECT_EQ(sim::FindDevice("PCI\\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01\\4&1a2b3c4d&0&0018"),
              nullptr);
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem7.inf"));
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\INF\\oem8.inf"));
}

}  // namespace
}  // namespace import_test

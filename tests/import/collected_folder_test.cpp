// The folder boardkit-collect writes on a customer's machine imports as it is: its registry,
// presence list and OEM INF copies as from the separate files, and every file of its drive_c
// at the same path of the machine's drive C:.
#include <string>

#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "import_helpers.h"
#include "machine.h"

namespace import_test {
namespace {

const char* const kDemo = "ROOT\\DAQBOARD\\0000";
const char* const kPx1001 = "PCI\\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01\\4&1a2b3c4d&0&0018";
const char* const kPackage =
    "Windows/System32/DriverStore/FileRepository/tolpx10s.inf_amd64_5f1c0e4a2b9d3c77";

class CollectedFolderTest : public ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        const fs::path folder = Path("collected");
        fs::create_directories(folder / "inf");
        fs::create_directories(folder / "drive_c" / kPackage / "amd64");
        fs::create_directories(folder / "drive_c/Windows/System32/drivers");
        fs::copy_file(Fixture("customer.reg"), folder / "registry.reg");
        WriteBytes((folder / "devices.json").string(),
                   "[\r\n  {\"InstanceId\": \"ROOT\\\\DAQBOARD\\\\0000\", \"Present\": true, "
                   "\"Problem\": 22}\r\n]\r\n");
        fs::copy_file(Fixture("inf/oem7.inf"), folder / "inf/oem7.inf");
        WriteBytes((folder / "drive_c" / kPackage / "TolPx10s.sys").string(), kDriver);
        WriteBytes((folder / "drive_c" / kPackage / "amd64/TolPx10.dll").string(), kLibrary);
        WriteBytes((folder / "drive_c/Windows/System32/drivers/TolPx10s.sys").string(), kDriver);
    }
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    std::string ImageFile(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(sim::files::ReadWholeFile(path, bytes)) << path;
        return bytes;
    }

    const std::string kDriver = std::string("MZ\x90\0\3\0\0\0\xff\xfe", 10) + "driver";
    const std::string kLibrary = std::string("MZ\0\0\r\n\x1a", 7) + "library";
};

TEST_F(CollectedFolderTest, ImportsTheWholeFolderAsItIs) {
    ASSERT_EQ(tools::ImportCommand({Path("image"), Path("collected")}), 0);
    sim::OpenImage(Path("image"));
    EXPECT_EQ(sim::FindDevice(kDemo)->presence, sim::Presence::Present);
    EXPECT_EQ(sim::FindDevice(kDemo)->problem, 22u);
    EXPECT_EQ(sim::FindDevice(kPx1001)->presence, sim::Presence::Phantom);
    EXPECT_EQ(ImageFile("C:\\Windows\\INF\\oem7.inf"), ReadBytes(Fixture("inf/oem7.inf")));
    const std::string package =
        "C:\\Windows\\System32\\DriverStore\\FileRepository\\"
        "tolpx10s.inf_amd64_5f1c0e4a2b9d3c77\\";
    EXPECT_EQ(ImageFile(package + "TolPx10s.sys"), kDriver);
    EXPECT_EQ(ImageFile(package + "amd64\\TolPx10.dll"), kLibrary);
    EXPECT_EQ(ImageFile("C:\\Windows\\System32\\drivers\\TolPx10s.sys"), kDriver);
}

TEST_F(CollectedFolderTest, RefusesAFolderWithoutItsRegistryOrWithSeparateSources) {
    fs::remove(Path("collected/registry.reg"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(tools::ImportCommand({Path("image"), Path("collected")}), 1);
    EXPECT_NE(
        testing::internal::GetCapturedStderr().find(Path("collected/registry.reg") + ": missing"),
        std::string::npos);
    fs::copy_file(Fixture("customer.reg"), Path("collected/registry.reg"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(tools::ImportCommand(
                  {Path("image"), Path("collected"), "--present", Fixture("present.txt")}),
              1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "a collected folder brings its own presence list"),
              std::string::npos);
    EXPECT_EQ(Entries(), std::vector<std::string>{"collected"});
}

}  // namespace
}  // namespace import_test

// The folder boardkit-collect writes on a customer's machine imports as it is: its registry,
// presence list and OEM INF copies as from the separate files, and every file of its drive_c
// at the same path of the machine's drive C:.
#include <string>
#include <vector>

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
        // The store's folder holds the package's INF, which oem7.inf is a copy of.
        fs::copy_file(Fixture("inf/oem7.inf"), folder / "drive_c" / kPackage / "tolpx10s.inf");
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

// Runs this build's boardkit-sim on the image; its exit code.
int RunSim(const std::string& image, const std::vector<std::string>& args) {
    const fs::path tools = fs::path(BoardkitProgram()).parent_path() / "tools";
    std::string command = Quote((tools / "boardkit-sim").string()) + " -M " + Quote(image);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CollectedFolderTest, ABoardArrivingOnTheImportedMachineGetsItsDriverFromTheStore) {
    ASSERT_EQ(tools::ImportCommand({Path("image"), Path("collected")}), 0);
    // Another PX-1001 than the customer's (unplugged here) is plugged in.
    ASSERT_EQ(
        RunSim(Path("image"), {"device", "arrive",
                               "PCI\\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01\\4&1a2b3c4d&0&0030",
                               "--hwid", "PCI\\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01",
                               "--compat", "PCI\\VEN_5AE3&DEV_1001"}),
        0);
    EXPECT_EQ(RunBoardkit(Path("image"), {"RefreshDevices"}), 0);
    EXPECT_EQ(RunBoardkit(Path("image"), {"IsDeviceExistInstalled", "PCI\\VEN_5AE3&DEV_1001"}), 16);
}

TEST_F(CollectedFolderTest, APackageWhoseFilesAreMissingIsWarnedOfByCopyAndFile) {
    fs::remove(Path("collected/drive_c") + "/" + kPackage + "/TolPx10s.sys");
    testing::internal::CaptureStderr();
    EXPECT_EQ(tools::ImportCommand({Path("image"), Path("collected")}), 0);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("boardkit-sim: warning: C:\\Windows\\INF\\oem7.inf: the driver store "
                          "lacks its package's files TolPx10s.sys ("),
              std::string::npos)
        << errors;
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

// boardkit-sim file copy: a host file, binary or not, goes onto the machine's drive byte for
// byte, so that a driver or a library of a customer's machine can be placed.
#include <string>

#include "file_system.h"
#include "import_helpers.h"
#include "machine.h"
#include "sim/sim_commands.h"

namespace import_test {
namespace {

class FileCopyTest : public ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        sim::OpenImage(Path("image"));
    }
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    std::string OnDrive(const std::string& path) {
        std::string bytes;
        return sim::files::ReadWholeFile(path, bytes) ? bytes : "<missing>";
    }
};

TEST_F(FileCopyTest, BinaryFileArrivesByteForByteAndKeepsItsNameInAFolder) {
    std::string driver("MZ\x90\0\x03\0\0\0\r\n\x1a\xff\xfe", 14);
    for (int i = 0; i < 256; ++i) {
        driver += static_cast<char>(i);
    }
    WriteBytes(Path("TolPx10s.sys"), driver);
    EXPECT_EQ(tools::FileCommand(
                  {"copy", Path("TolPx10s.sys"), "C:\\Windows\\System32\\drivers\\TolPx10s.sys"}),
              0);
    EXPECT_EQ(OnDrive("C:\\Windows\\System32\\drivers\\TolPx10s.sys"), driver);
    EXPECT_EQ(tools::FileCommand({"copy", Path("TolPx10s.sys"), "C:\\Drivers\\PX1001\\"}), 0);
    EXPECT_EQ(OnDrive("C:\\Drivers\\PX1001\\TolPx10s.sys"), driver);
    sim::SaveImage();
    sim::ResetToEmpty();
    sim::OpenImage(Path("image"));
    EXPECT_EQ(OnDrive("C:\\Windows\\System32\\drivers\\TolPx10s.sys"), driver);
}

TEST_F(FileCopyTest, MissingHostFileOrTargetOffTheDriveWritesNothing) {
    WriteBytes(Path("TolPx10.dll"), "MZ");
    EXPECT_EQ(tools::FileCommand({"copy", Path("none.dll"), "C:\\Windows\\none.dll"}), 1);
    EXPECT_EQ(tools::FileCommand({"copy", Path("TolPx10.dll"), "/tmp/TolPx10.dll"}), 1);
    EXPECT_EQ(tools::FileCommand({"copy", Path("TolPx10.dll")}), 2);
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\none.dll"));
}

}  // namespace
}  // namespace import_test

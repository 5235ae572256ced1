// What-if runs: the image stays byte for byte as it was, and the report holds every change
// that the same command makes when it runs for real.
#include <string>

#include "import_helpers.h"
#include "machine.h"
#include "sim/what_if.h"

namespace import_test {
namespace {

// Every file of the image folder with its bytes (and every link with its target).
std::map<std::string, std::string> ImageBytes(const std::string& dir) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().string();
        if (entry.is_symlink()) {
            all[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            all[name] = ReadBytes(name);
        } else {
            all[name] = "folder";
        }
    }
    return all;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class WhatIfTest : public ScratchTest {
  protected:
    void SetUp() override {
        ScratchTest::SetUp();
        ASSERT_TRUE(ImportCustomer("image", "present.txt").ok);
        image_ = Path("image");
    }
    void TearDown() override {
        sim::ResetToEmpty();
        ScratchTest::TearDown();
    }
    tools::WhatIfReport WhatIf(const std::vector<std::string>& command) {
        tools::WhatIfRequest request;
        request.imageDir = image_;
        request.command = command;
        request.boardkit = BoardkitProgram();
        return tools::WhatIf(request);
    }
    std::string image_;
};

const std::vector<std::string> kUninstall{"UninstallDriver", "TolPx10S"};

TEST_F(WhatIfTest, ImageStaysByteForByte) {
    const auto before = ImageBytes(image_);
    const tools::WhatIfReport report = WhatIf(kUninstall);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_FALSE(report.diff.Empty());
    EXPECT_EQ(ImageBytes(image_), before);
}

TEST_F(WhatIfTest, ReportHoldsEveryChangeOfTheRealRun) {
    const tools::WhatIfReport report = WhatIf(kUninstall);
    ASSERT_TRUE(report.ok) << report.error;

    std::string error;
    ASSERT_TRUE(tools::CopyImage(image_, Path("real"), error)) << error;
    const tools::MachineSnapshot before = tools::TakeSnapshot(Path("real"));
    std::string out;
    const int exitCode = RunBoardkit(Path("real"), kUninstall, &out);
    const tools::MachineDiff real = tools::DiffSnapshots(before, tools::TakeSnapshot(Path("real")));

    EXPECT_EQ(report.exitCode, exitCode);
    EXPECT_EQ(report.standardOutput, out);
    EXPECT_EQ(report.diff.registry, real.registry);
    EXPECT_EQ(report.diff.devices, real.devices);
    EXPECT_EQ(report.diff.driverStore, real.driverStore);
    EXPECT_EQ(report.diff.files, real.files);
    // What the uninstall is known to do on this machine.
    EXPECT_TRUE(
        Contains(report.diff.registry,
                 "- [HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device001] "
                 "(4 values)"));
    EXPECT_TRUE(
        Contains(report.diff.registry,
                 "- [HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\MapEntry] "
                 "\"1\": dword:00000001"));
    EXPECT_TRUE(Contains(
        report.diff.devices,
        "- PCI\\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01\\4&1a2b3c4d&0&0018: present, problem 0"));
    ASSERT_EQ(report.diff.driverStore.size(), 1u);
    EXPECT_EQ(report.diff.driverStore[0].rfind("- oem7.inf: ", 0), 0u);
    EXPECT_FALSE(report.journal.empty());
}

TEST_F(WhatIfTest, QuestionChangesNothing) {
    const tools::WhatIfReport report = WhatIf({"IsDeviceExist", "PCI\\VEN_5AE3&DEV_1001"});
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.exitCode, 16);
    EXPECT_TRUE(report.diff.Empty());
    EXPECT_TRUE(report.journal.empty());
    EXPECT_NE(report.standardOutput.find("cmd = IsDeviceExist"), std::string::npos);
}

TEST_F(WhatIfTest, ReportShowsOutputAndEachSection) {
    const tools::WhatIfReport report = WhatIf({"NoSuchCommand"});
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(report.exitCode, 3);
    EXPECT_FALSE(report.standardError.empty());
    const std::string text = tools::FormatWhatIf(report);
    EXPECT_EQ(text.rfind("exit code: 3\n--- standard output\n", 0), 0u) << text;
    for (const char* section :
         {"--- standard error\n", "--- journal (0)\n", "--- registry (0)\n",
          "--- device tree (0)\n", "--- driver store (0)\n", "--- files (0)\n"}) {
        EXPECT_NE(text.find(section), std::string::npos) << section;
    }
}

TEST_F(WhatIfTest, FolderWithoutImageIsRefused) {
    tools::WhatIfRequest request;
    request.imageDir = Path("nothing");
    request.command = {"help"};
    request.boardkit = BoardkitProgram();
    const tools::WhatIfReport report = tools::WhatIf(request);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("holds no machine image"), std::string::npos) << report.error;
}

TEST(MachineDiff, NamesAddedRemovedAndChangedEntries) {
    tools::MachineSnapshot before;
    before.registryKeys = {"HKLM\\A", "HKLM\\B"};
    before.registryValues = {
        {"HKLM\\A\nX", "dword:00000001"}, {"HKLM\\A\n", "\"old\""}, {"HKLM\\B\nY", "\"gone\""}};
    before.devices = {{"ROOT\\X\\0", "present, problem 0"}};
    tools::MachineSnapshot after;
    after.registryKeys = {"HKLM\\A", "HKLM\\C"};
    after.registryValues = {{"HKLM\\A\nX", "dword:00000002"}, {"HKLM\\A\n", "\"old\""}};
    after.devices = {{"ROOT\\X\\0", "absent, problem 0"}};
    after.files = {{"C:\\list.txt", "3 bytes"}};
    const tools::MachineDiff diff = tools::DiffSnapshots(before, after);
    EXPECT_EQ(diff.registry,
              (std::vector<std::string>{"+ [HKLM\\C]", "- [HKLM\\B] (1 value)",
                                        "~ [HKLM\\A] \"X\": dword:00000001 -> dword:00000002"}));
    EXPECT_EQ(diff.devices,
              std::vector<std::string>{"~ ROOT\\X\\0: present, problem 0 -> absent, problem 0"});
    EXPECT_EQ(diff.files, std::vector<std::string>{"+ C:\\list.txt: 3 bytes"});
    EXPECT_TRUE(diff.driverStore.empty());
    EXPECT_FALSE(diff.Empty());
}

}  // namespace
}  // namespace import_test

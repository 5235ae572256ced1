// What-if runs: the image stays byte for byte as it was, and the report holds every change
// that the same command makes when it runs for real.
#include <string>

#include <nlohmann/json.hpp>

#include "file_system.h"
#include "import_helpers.h"
#include "machine.h"
#include "registry_tree.h"
#include "sim/processes.h"
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

bool Contains(const std::vector<tools::Change>& changes, const std::string& line) {
    const std::vector<std::string> lines = tools::Lines(changes);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The lines of a text file as a person reads them.
std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
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
    EXPECT_EQ(report.diff.certificates, real.certificates);
    EXPECT_EQ(report.diff.processes, real.processes);
    EXPECT_EQ(report.diff.windows, real.windows);
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
    EXPECT_EQ(report.diff.driverStore[0].line.rfind("- oem7.inf: ", 0), 0u);
    EXPECT_FALSE(report.journal.empty());
}

TEST_F(WhatIfTest, HostFilesAreReadOnlyToTheCommand) {
    const std::string list = Path("list.txt");
    WriteBytes(list, "an older list\r\n");
    const tools::WhatIfReport report = WhatIf({"GetDeviceInstalledList", list});
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(ReadBytes(list), "an older list\r\n");
    EXPECT_EQ(report.exitCode, 17);  // the list could not be written
    ASSERT_EQ(report.hostRefused.size(), 1u);
    EXPECT_EQ(report.hostRefused[0].rfind("CreateFileA(" + list + ",", 0), 0u)
        << report.hostRefused[0];
    EXPECT_NE(tools::FormatWhatIf(report).find("--- host files refused (1)\n" +
                                               report.hostRefused[0] + "\n"),
              std::string::npos);
}

TEST_F(WhatIfTest, ReportShowsTheTextOfWrittenFilesAndNewCertificates) {
    const std::vector<std::string> command{"GetDeviceInstalledList", "C:\\list.txt"};
    const tools::WhatIfReport report = WhatIf(command);
    ASSERT_TRUE(report.ok) << report.error;
    std::string error;
    ASSERT_TRUE(tools::CopyImage(image_, Path("real"), error)) << error;
    ASSERT_EQ(RunBoardkit(Path("real"), command), report.exitCode);
    sim::OpenImage(Path("real"));
    std::string written;
    ASSERT_TRUE(sim::files::ReadWholeFile("C:\\list.txt", written));
    sim::ResetToEmpty();
    ASSERT_EQ(report.diff.files.size(), 1u);
    EXPECT_EQ(report.diff.files[0].line.rfind(
                  "+ C:\\list.txt: " + std::to_string(written.size()) + " bytes", 0),
              0u)
        << report.diff.files[0].line;
    EXPECT_EQ(report.diff.files[0].details, TextLines(written));
    EXPECT_FALSE(written.empty());

    const tools::WhatIfReport certificate = WhatIf({"InstallCertificate"});
    ASSERT_TRUE(certificate.ok) << certificate.error;
    ASSERT_EQ(certificate.diff.certificates.size(), 1u);
    EXPECT_EQ(
        certificate.diff.certificates[0].line.rfind("+ LocalMachine\\TrustedPublisher: serial ", 0),
        0u)
        << certificate.diff.certificates[0].line;
    EXPECT_NE(certificate.diff.certificates[0].line.find("1324 bytes"), std::string::npos);
}

TEST_F(WhatIfTest, SnapshotsShowAnAddedKeysValuesAndWholeChangedData) {
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\TolPx10S";
    std::vector<uint8_t> data(40, 0x11);
    sim::OpenImage(image_);
    sim::SetValue(sim::CreateKey(sim::Hklm(), key), "Blob", REG_BINARY, data);
    sim::SaveImage();
    sim::ResetToEmpty();
    const tools::MachineSnapshot before = tools::TakeSnapshot(image_);
    data[39] = 0x22;  // past what a shortened view would show
    sim::OpenImage(image_);
    sim::SetValue(sim::CreateKey(sim::Hklm(), key), "Blob", REG_BINARY, data);
    sim::RegKey& added = sim::CreateKey(sim::Hklm(), key + "\\Parameters");
    sim::SetDwordValue(added, "Mode", 3);
    sim::SetStringValue(added, "Name", "PX-1001");
    sim::SaveImage();
    sim::ResetToEmpty();
    const tools::MachineDiff diff = tools::DiffSnapshots(before, tools::TakeSnapshot(image_));

    std::string old = "hex:11";
    for (int i = 1; i < 40; ++i) {
        old += ",11";
    }
    const std::string now = old.substr(0, old.size() - 2) + "22";
    ASSERT_EQ(diff.registry.size(), 2u) << ::testing::PrintToString(tools::Lines(diff.registry));
    EXPECT_EQ(diff.registry[0].line, "+ [HKEY_LOCAL_MACHINE\\" + key + "\\Parameters] (2 values)");
    EXPECT_EQ(diff.registry[0].details,
              (std::vector<std::string>{"\"Mode\": dword:00000003", "\"Name\": \"PX-1001\""}));
    EXPECT_EQ(diff.registry[1].line,
              "~ [HKEY_LOCAL_MACHINE\\" + key + "] \"Blob\": " + old + " -> " + now);
}

TEST_F(WhatIfTest, SnapshotsShowEndedProcessesAndClosedWindows) {
    sim::OpenImage(image_);
    sim::ProcessRecord record;
    record.image = "C:\\Windows\\System32\\rundll32.exe";
    record.commandLine = "rundll32.exe newdev.dll,ClientSideInstall";
    const DWORD pid = sim::StartProcess(record);
    const HWND window = sim::CreateSimWindow(nullptr, "#32770", "Found New Hardware", pid);
    sim::MarkDirty("machine");
    sim::SaveImage();
    sim::ResetToEmpty();
    const tools::MachineSnapshot before = tools::TakeSnapshot(image_);
    sim::OpenImage(image_);
    sim::DestroySimWindow(window);
    sim::StopProcess(pid);
    sim::MarkDirty("machine");
    sim::SaveImage();
    sim::ResetToEmpty();
    const tools::MachineDiff diff = tools::DiffSnapshots(before, tools::TakeSnapshot(image_));
    EXPECT_EQ(tools::Lines(diff.processes),
              std::vector<std::string>{"- pid " + std::to_string(pid) +
                                       ": C:\\Windows\\System32\\rundll32.exe, command line "
                                       "\"rundll32.exe newdev.dll,ClientSideInstall\""});
    ASSERT_EQ(diff.windows.size(), 1u);
    EXPECT_EQ(diff.windows[0].line.rfind("- window ", 0), 0u) << diff.windows[0].line;
    EXPECT_NE(
        diff.windows[0].line.find("#32770 \"Found New Hardware\", process " + std::to_string(pid)),
        std::string::npos)
        << diff.windows[0].line;
}

TEST_F(WhatIfTest, CommandLineExitsWithTheCommandsCodeAndJsonHoldsTheReport) {
    testing::internal::CaptureStdout();
    const int code = tools::WhatIfCommand({image_, "--json", "--boardkit", BoardkitProgram(), "--",
                                           "IsDeviceExist", "PCI\\VEN_5AE3&DEV_1001"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 16);
    const nlohmann::json doc = nlohmann::json::parse(out);
    EXPECT_EQ(doc["exit_code"], 16);
    EXPECT_EQ(doc["host_files"], "read-only");
    EXPECT_NE(doc["standard_output"].get<std::string>().find("cmd = IsDeviceExist"),
              std::string::npos);
    for (const char* section :
         {"journal", "host_files_refused", "registry", "device_tree", "driver_store", "files",
          "certificate_stores", "processes", "windows"}) {
        EXPECT_TRUE(doc[section].is_array() && doc[section].empty()) << section;
    }
    EXPECT_EQ(tools::WhatIfCommand({Path("nothing"), "--", "help"}), tools::kWhatIfFailed);
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
    EXPECT_EQ(text.rfind("exit code: 3\n", 0), 0u) << text;
    for (const char* section :
         {"host files: read-only to the command", "--- standard error\n", "--- journal (0)\n",
          "--- host files refused (0)\n", "--- registry (0)\n", "--- device tree (0)\n",
          "--- driver store (0)\n", "--- files (0)\n", "--- certificate stores (0)\n",
          "--- processes (0)\n", "--- windows (0)\n"}) {
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
    EXPECT_EQ(tools::Lines(diff.registry),
              (std::vector<std::string>{"+ [HKLM\\C]", "- [HKLM\\B] (1 value)",
                                        "~ [HKLM\\A] \"X\": dword:00000001 -> dword:00000002"}));
    EXPECT_EQ(tools::Lines(diff.devices),
              std::vector<std::string>{"~ ROOT\\X\\0: present, problem 0 -> absent, problem 0"});
    EXPECT_EQ(tools::Lines(diff.files), std::vector<std::string>{"+ C:\\list.txt: 3 bytes"});
    EXPECT_TRUE(diff.driverStore.empty());
    EXPECT_FALSE(diff.Empty());
}

}  // namespace
}  // namespace import_test

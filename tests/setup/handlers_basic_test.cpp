// The seven basic commands' handlers: argument count and machine name, and which result or
// out-value of the operation becomes which command result.
#include <string>
#include <vector>

#include "frontend/handlers.h"
#include "setup_machine.h"

namespace {

using setup_test::AddBoard;
using setup_test::FailCall;

// Command results as setup programs read them.
constexpr int32_t kDone = 0, kFailed = 2, kBadUsage = 3, kYes = 16, kNo = 17;

const char* const kPciBoard = "PCI\\VEN_5AE3&DEV_0001\\3&11583659&0&10";
const char* const kPciId = "PCI\\VEN_5AE3&DEV_0001";

int32_t RunCommand(CommandHandler handler, std::vector<std::string> words,
                   const char* machine = nullptr) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return handler("boardkit", machine, 0, static_cast<int32_t>(words.size()), argv.data());
}

class BasicCommands : public setup_test::MachineTest {
  protected:
    void TearDown() override {
        sim::files::ReleaseAllFiles();
        MachineTest::TearDown();
    }
};

TEST_F(BasicCommands, IsDeviceExistAnswersYesOrNoAndNeverFails) {
    EXPECT_EQ(RunCommand(IsDeviceExistCommand, {kPciId}), kNo);
    AddBoard({kPciBoard, {kPciId}});
    EXPECT_EQ(RunCommand(IsDeviceExistCommand, {kPciId, "ignored"}), kYes);
    EXPECT_EQ(RunCommand(IsDeviceExistCommand, {}), kBadUsage);
    EXPECT_EQ(RunCommand(IsDeviceExistCommand, {kPciId}, "\\\\host"), kBadUsage);
}

TEST_F(BasicCommands, InstalledAndNotInstalledAnswerFromTheOutValue) {
    AddBoard({kPciBoard, {kPciId}});
    EXPECT_EQ(RunCommand(IsDeviceExistInstalledCommand, {"pci\\ven_5ae3"}), kYes);
    EXPECT_EQ(RunCommand(IsDeviceExistNotInstallCommand, {kPciId}), kNo);
    sim::SetProblem(*sim::FindDevice(kPciBoard), CM_PROB_FAILED_INSTALL);
    EXPECT_EQ(RunCommand(IsDeviceExistInstalledCommand, {kPciId}), kNo);
    EXPECT_EQ(RunCommand(IsDeviceExistNotInstallCommand, {kPciId}), kYes);
    EXPECT_EQ(RunCommand(IsDeviceExistInstalledCommand, {}), kBadUsage);
    EXPECT_EQ(RunCommand(IsDeviceExistNotInstallCommand, {kPciId}, "\\\\host"), kBadUsage);
}

TEST_F(BasicCommands, IsDeviceUsingAnswersWhetherTheLibraryIsLocked) {
    AddBoard({"ROOT\\TOLDEMO\\0000", {"DEMO"}});
    setup_test::WriteFile("C:\\Windows\\system32\\TolDemo.dll", "MZ");
    EXPECT_EQ(RunCommand(IsDeviceUsingCommand, {"DEMO"}), kNo);
    sim::files::HoldFile("C:\\Windows\\system32\\TolDemo.dll", 4242);
    EXPECT_EQ(RunCommand(IsDeviceUsingCommand, {"DEMO"}), kYes);
    EXPECT_EQ(RunCommand(IsDeviceUsingCommand, {}), kBadUsage);
}

TEST_F(BasicCommands, RefreshDevicesTakesNoArgumentAndFailsWhenTheTreeCannotBeReached) {
    EXPECT_EQ(RunCommand(RefreshDevicesCommand, {}), kDone);
    EXPECT_EQ(RunCommand(RefreshDevicesCommand, {"now"}), kBadUsage);
    EXPECT_EQ(RunCommand(RefreshDevicesCommand, {}, "\\\\host"), kBadUsage);
    FailCall("CM_Locate_DevNodeA", "", CR_FAILURE);
    EXPECT_EQ(RunCommand(RefreshDevicesCommand, {}), kFailed);
}

TEST_F(BasicCommands, InstallDriverNeedsTwoArgumentsAndFailsWhenTheOperationDoes) {
    setup_test::WriteFile("C:\\Drivers\\TolDemos.inf", "[Version]\r\n");
    const unsigned before = sim::CallCount("CM_Reenumerate_DevNode");
    EXPECT_EQ(RunCommand(InstallDriverCommand, {"C:\\Drivers\\TolDemos.inf"}), kBadUsage);
    EXPECT_EQ(sim::CallCount("CM_Reenumerate_DevNode"), before);
    EXPECT_EQ(RunCommand(InstallDriverCommand, {"C:\\Drivers\\TolDemos.inf", "DEMO", "third"}),
              kFailed);
    EXPECT_EQ(RunCommand(InstallDriverCommand, {"C:\\Drivers\\TolDemos.inf", kPciId}, "\\\\h"),
              kBadUsage);
}

TEST_F(BasicCommands, UpdateDriverSucceedsExactlyWhenTheStateIsZero) {
    const std::string inf = BK_SOURCE_DIR "/tests/fixtures/inf/widget/widget.inf";
    AddBoard({"PCI\\VEN_1234&DEV_5678\\3&1&0&20",
              {"PCI\\VEN_1234&DEV_5678"},
              sim::Presence::Present,
              28});
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand(UpdateDriverCommand, {inf, "PCI\\VEN_1234&DEV_5678"}), kDone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<==UpdateDriver, state=0x0\n");
    // Without the device installer nothing is installed, which is a failure.
    FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand(UpdateDriverCommand, {inf, "PCI\\VEN_1234&DEV_5678"}), kFailed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<==UpdateDriver, state=0x7e\n");
    EXPECT_EQ(RunCommand(UpdateDriverCommand, {inf}), kBadUsage);
    EXPECT_EQ(RunCommand(UpdateDriverCommand, {inf, kPciId}, "\\\\host"), kBadUsage);
}

}  // namespace

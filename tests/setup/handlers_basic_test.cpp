// The basic commands' handlers where they do more than map yes, no, done and failed (which
// tests/rows shows for every row): the presence answers taken from the out-value, and
// UpdateDriver's trace of the installer's state.
#include <string>
#include <vector>

#include "frontend/handlers.h"
#include "setup_machine.h"

namespace {

// Command results as setup programs read them.
constexpr int32_t kDone = 0, kFailed = 2, kYes = 16, kNo = 17;

const char* const kPciBoard = "PCI\\VEN_5AE3&DEV_0001\\3&11583659&0&10";
const char* const kPciId = "PCI\\VEN_5AE3&DEV_0001";

int32_t RunCommand(CommandHandler handler, std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return handler("boardkit", nullptr, 0, static_cast<int32_t>(words.size()), argv.data());
}

class BasicCommands : public setup_test::MachineTest {};

TEST_F(BasicCommands, InstalledAndNotInstalledAnswerFromTheOutValue) {
    EXPECT_NE(tools::AddBoard({kPciBoard, {kPciId}}), nullptr);
    EXPECT_EQ(RunCommand(IsDeviceExistInstalledCommand, {"pci\\ven_5ae3"}), kYes);
    EXPECT_EQ(RunCommand(IsDeviceExistNotInstallCommand, {kPciId}), kNo);
    sim::SetProblem(*sim::FindDevice(kPciBoard), CM_PROB_FAILED_INSTALL);
    EXPECT_EQ(RunCommand(IsDeviceExistInstalledCommand, {kPciId}), kNo);
    EXPECT_EQ(RunCommand(IsDeviceExistNotInstallCommand, {kPciId}), kYes);
}

TEST_F(BasicCommands, UpdateDriverSucceedsExactlyWhenTheStateIsZero) {
    const std::string inf = BK_SOURCE_DIR "/tests/fixtures/inf/widget/widget.inf";
    EXPECT_NE(tools::AddBoard({"PCI\\VEN_1234&DEV_5678\\3&1&0&20",
                               {"PCI\\VEN_1234&DEV_5678"},
                               sim::Presence::Present,
                               28}),
              nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand(UpdateDriverCommand, {inf, "PCI\\VEN_1234&DEV_5678"}), kDone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<==UpdateDriver, state=0x0\n");
    // Without the device installer nothing is installed, which is a failure.
    tools::FailCall("LoadLibraryExA", "newdev.dll", ERROR_MOD_NOT_FOUND);
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunCommand(UpdateDriverCommand, {inf, "PCI\\VEN_1234&DEV_5678"}), kFailed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<==UpdateDriver, state=0x7e\n");
}

}  // namespace

// The three device lists and their files.
#include "boardkit/operations.h"
#include "config_machine.h"
#include "frontend/handlers.h"

namespace {

using namespace config_test;

const char* const kList = "C:\\lists\\out.txt";
const std::string kDemoLine = "0,Demo,Demo\\TolDemos.inf,DEMO,TolDemo.dll,TolDemos.sys\r\n";
const std::string kPx1001Line =
    "257,PX-1001,PX1001\\TolPx10s.inf,PCI\\VEN_5AE3&DEV_1001,TolPx10.dll,TolPx10s.sys\r\n";
const std::string kPx1002Line =
    "258,PX-1002,PX1001\\TolPx10s.inf,PCI\\VEN_5AE3&DEV_1002,TolPx10.dll,TolPx10s.sys\r\n";

class DeviceLists : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        setup_test::MachineTest::SetUp();
        EXPECT_TRUE(tools::WriteMachineFile("C:\\lists\\keep.txt", ""));
    }
    std::string List() { return setup_test::ReadFile(kList); }
    char* Path() { return path_; }

  private:
    char path_[32] = "C:\\lists\\out.txt";
};

TEST_F(DeviceLists, RecordsComeFirstInOrderWithDuplicatesThenPreinstalledRowsOnce) {
    Record(1, {DwordValue("ProductID", 0x0102)});
    Record(2, {DwordValue("ProductID", 0x0102)});
    Record(3, {DwordValue("ProductID", 0x7777)});
    Record(4, {StringValue("KernelKey", "TolPx10S")});
    ASSERT_TRUE(tools::AddPreinstallRecord("a", "tolpx10s.inf"));
    ASSERT_TRUE(tools::AddPreinstallRecord("b", "TolPx10s.inf"));
    EXPECT_EQ(GetDeviceInstalledList(Path()), 1u);
    EXPECT_EQ(List(), kPx1002Line + kPx1002Line + kPx1001Line);
}

TEST_F(DeviceLists, AnEmptyPreinstallValueListsTheDemoRow) {
    ASSERT_TRUE(tools::AddPreinstallRecord("empty", ""));
    EXPECT_EQ(GetDevicePreinstalledList(Path()), 1u);
    EXPECT_EQ(List(), kDemoLine);
}

TEST_F(DeviceLists, AnOverlongPreinstallValueIsPassedOver) {
    ASSERT_TRUE(tools::AddPreinstallRecord("long", std::string(300, 'x') + "TolPx10s.inf"));
    ASSERT_TRUE(tools::AddPreinstallRecord("demo", "TolDemos.inf"));
    EXPECT_EQ(GetDevicePreinstalledList(Path()), 1u);
    EXPECT_EQ(List(), kDemoLine);
}

TEST_F(DeviceLists, AnEmptyStoreGivesAnEmptyFile) {
    Key("MapEntry");
    EXPECT_EQ(GetDeviceInstalledList(Path()), 1u);
    EXPECT_EQ(List(), "");
}

TEST_F(DeviceLists, AMissingStoreWritesNoFileAndAnswersNo) {
    EXPECT_EQ(GetDeviceInstalledList(Path()), 0xE0000017u);
    EXPECT_EQ(GetFileAttributesA(kList), INVALID_FILE_ATTRIBUTES);
    char* argv[] = {Path(), nullptr};
    EXPECT_EQ(GetDeviceInstalledListCommand("boardkit.exe", nullptr, 0, 1, argv),
              EXIT_RET_PARAM_FALSE);
}

TEST_F(DeviceLists, AFileThatCannotBeCreatedAnswersNoForEveryList) {
    Key("MapEntry");
    char path[] = "C:\\missing\\folder\\out.txt";
    char* argv[] = {path, nullptr};
    EXPECT_EQ(GetDeviceInstalledListCommand("boardkit.exe", nullptr, 0, 1, argv),
              EXIT_RET_PARAM_FALSE);
    EXPECT_EQ(GetDevicePreinstalledListCommand("boardkit.exe", nullptr, 0, 1, argv),
              EXIT_RET_PARAM_FALSE);
    EXPECT_EQ(GetDeviceExistNotInstalledListCommand("boardkit.exe", nullptr, 0, 1, argv),
              EXIT_RET_PARAM_FALSE);
    EXPECT_NE(GetDevicePreinstalledList(path), 1u);
    EXPECT_NE(GetDeviceExistNotInstalledList(path), 0u);
}

TEST_F(DeviceLists, DriverlessListHoldsPresentBoardsWithAProblemOnly) {
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1001\\A", "PCI\\VEN_5AE3&DEV_1001", "",
                                CM_PROB_DISABLED),
              nullptr);
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1001\\B", "PCI\\VEN_5AE3&DEV_1001", "",
                                CM_PROB_FAILED_INSTALL),
              nullptr);
    EXPECT_NE(tools::AddBoardAt("PCI\\VEN_5AE3&DEV_1002\\C", "PCI\\VEN_5AE3&DEV_1002", ""),
              nullptr);
    EXPECT_EQ(GetDeviceExistNotInstalledList(Path()), 0u);
    EXPECT_EQ(List(), kPx1001Line + kPx1001Line);
    char* argv[] = {Path(), nullptr};
    EXPECT_EQ(GetDeviceExistNotInstalledListCommand("boardkit.exe", nullptr, 0, 1, argv),
              EXIT_RET_PARAM_TRUE);
}

TEST_F(DeviceLists, DriverlessListOfAMachineWithoutBoardsIsEmpty) {
    EXPECT_EQ(GetDeviceExistNotInstalledList(Path()), 0u);
    EXPECT_EQ(List(), "");
}

}  // namespace

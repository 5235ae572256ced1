// IsDeviceUsing: the library of a present board is moved aside and back; the answer is
// whether it could be deleted, and the library is never lost.
#include <algorithm>
#include <string>

#include "boardkit/operations.h"
#include "catalog/text.h"
#include "choke.h"
#include "setup_machine.h"

namespace {

// The demo device's catalog row: hardware ID "DEMO", library TolDemo.dll.
const char* const kLibrary64 = "C:\\Windows\\system32\\TolDemo.dll";
const char* const kSide64 = "C:\\Windows\\system32\\TolDemos.dll";
const char* const kLibrary32 = "C:\\Windows\\SysWOW64\\TolDemo.dll";
const char* const kSide32 = "C:\\Windows\\SysWOW64\\TolDemos.dll";
const char* const kContent64 = "MZ 64-bit demo library";
const char* const kContent32 = "MZ 32-bit demo library";
constexpr DWORD kOtherProcess = 4242;

bool Using(std::string id) {
    return IsDeviceUsing(&id[0]);
}

bool JournalMentions(const std::string& text) {
    const std::string wanted = UpperCase(text);
    const auto& lines = sim::JournalLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return UpperCase(line).find(wanted) != std::string::npos;
    });
}

class DeviceUsing : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        EXPECT_NE(tools::AddBoard({"ROOT\\TOLDEMO\\0000", {"DEMO"}}), nullptr);
        EXPECT_TRUE(tools::WriteMachineFile(kLibrary64, kContent64));
        EXPECT_TRUE(tools::WriteMachineFile(kLibrary32, kContent32));
    }
    void TearDown() override {
        sim::files::ReleaseAllFiles();
        MachineTest::TearDown();
    }
    void ExpectLibrariesInPlace() {
        EXPECT_EQ(setup_test::ReadFile(kLibrary64), kContent64);
        EXPECT_EQ(setup_test::ReadFile(kLibrary32), kContent32);
        EXPECT_FALSE(sim::files::Exists(kSide64));
        EXPECT_FALSE(sim::files::Exists(kSide32));
    }
};

TEST_F(DeviceUsing, ALibraryNobodyLoadedIsFreeAndStaysWithNoSideCopy) {
    EXPECT_FALSE(Using("DEMO"));
    ExpectLibrariesInPlace();
    // Both folders were tested (the journal is what the lock test below reads).
    EXPECT_TRUE(JournalMentions("SysWOW64\\TolDemos.dll"));
}

TEST_F(DeviceUsing, ALoadedLibraryIsInUseAndStaysInPlace) {
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_TRUE(Using("DEMO"));
    ExpectLibrariesInPlace();
}

TEST_F(DeviceUsing, System32IsTestedFirstAndALockThereLeavesSysWow64Alone) {
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_TRUE(Using("DEMO"));
    EXPECT_FALSE(JournalMentions("SysWOW64"));
}

TEST_F(DeviceUsing, ALoaded32BitLibraryIsInUse) {
    sim::files::HoldFile(kLibrary32, kOtherProcess);
    EXPECT_TRUE(Using("DEMO"));
    ExpectLibrariesInPlace();
}

TEST_F(DeviceUsing, TheCatalogIdMatchesWithoutRegardToCase) {
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_TRUE(Using("demo"));
}

TEST_F(DeviceUsing, AnIdThatIsOnlyPartOfACatalogIdIsNotInUse) {
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_FALSE(Using("DEM"));
    ExpectLibrariesInPlace();
}

TEST_F(DeviceUsing, AnAbsentBoardIsNotInUse) {
    sim::RemoveDevice("ROOT\\TOLDEMO\\0000");
    EXPECT_NE(tools::AddBoard({"ROOT\\TOLDEMO\\0001", {"DEMO"}, sim::Presence::Phantom}), nullptr);
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_FALSE(Using("DEMO"));
}

TEST_F(DeviceUsing, ABoardOfAnotherClassIsNotLookedAt) {
    sim::RemoveDevice("ROOT\\TOLDEMO\\0000");
    EXPECT_NE(
        tools::AddBoard(
            {"ROOT\\TOLDEMO\\0001", {"DEMO"}, sim::Presence::Present, 0, tools::kSystemClass}),
        nullptr);
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_FALSE(Using("DEMO"));
}

TEST_F(DeviceUsing, MissingLibrariesAreNotInUse) {
    sim::files::RemoveFile(kLibrary64);
    sim::files::RemoveFile(kLibrary32);
    EXPECT_FALSE(Using("DEMO"));
    EXPECT_FALSE(sim::files::Exists(kLibrary64));
}

TEST_F(DeviceUsing, WithoutASideCopyTheLibraryIsNeverDeleted) {
    tools::FailCall("CopyFileA", kLibrary64, ERROR_DISK_FULL);
    tools::FailCall("CopyFileA", kLibrary32, ERROR_DISK_FULL);
    EXPECT_FALSE(Using("DEMO"));
    ExpectLibrariesInPlace();
    EXPECT_FALSE(JournalMentions("DeleteFileA"));
}

TEST_F(DeviceUsing, WithoutASideCopyALoadedLibraryIsStillSeenInUse) {
    tools::FailCall("CopyFileA", kLibrary64, ERROR_DISK_FULL);
    sim::files::HoldFile(kLibrary64, kOtherProcess);
    EXPECT_TRUE(Using("DEMO"));
    ExpectLibrariesInPlace();
}

TEST_F(DeviceUsing, AFailedRestoreKeepsTheSideCopyAndAnswersInUse) {
    tools::FailCall("CopyFileA", kSide64, ERROR_DISK_FULL);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Using("DEMO"));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(setup_test::ReadFile(kSide64), kContent64);
    EXPECT_NE(out.find(kSide64), std::string::npos) << out;
    // The 32-bit library is not touched once the answer is settled.
    EXPECT_EQ(setup_test::ReadFile(kLibrary32), kContent32);
    EXPECT_FALSE(sim::files::Exists(kSide32));
}

TEST_F(DeviceUsing, AnUnknownWindowsFolderAnswersInUse) {
    tools::FailCall("GetWindowsDirectoryA", "", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Using("DEMO"));
    ExpectLibrariesInPlace();
}

}  // namespace

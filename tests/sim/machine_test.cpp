// The machine image: generations, atomic switch, nothing written for an unchanged machine,
// fault injection rules and the journal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "choke.h"
#include "machine.h"
#include "sim/modules.h"
#include "platform/win32.h"

namespace fs = std::filesystem;

namespace {

// A section of our own, so the tests can change the machine without depending on any area.
int counter = 0;
const bool registered = [] {
    sim::RegisterSection({"test-counter",
                          [](const nlohmann::json& j) { counter = j.is_null() ? 0 : j.get<int>(); },
                          [] { return nlohmann::json(counter); }, [] { counter = 0; }});
    return true;
}();

class MachineImage : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("bk-machine-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
    }
    void TearDown() override {
        sim::ResetToEmpty();
        fs::remove_all(dir_);
    }
    std::string Current() const { return fs::read_symlink(dir_ / "current").string(); }
    void ChangeCounter(int value) {
        counter = value;
        sim::MarkDirty("test-counter");
    }
    fs::path dir_;
};

TEST_F(MachineImage, FirstSaveCreatesAGenerationAndPointsCurrentAtIt) {
    sim::OpenImage(dir_.string());
    sim::SaveImage();
    EXPECT_EQ(Current(), "gen-000001");
    EXPECT_TRUE(fs::exists(dir_ / "gen-000001" / "machine.json"));
}

TEST_F(MachineImage, ChangedStateSurvivesReopening) {
    sim::OpenImage(dir_.string());
    ChangeCounter(41);
    sim::SaveImage();
    counter = 0;
    sim::OpenImage(dir_.string());
    EXPECT_EQ(counter, 41);
}

TEST_F(MachineImage, SectionsOfAreasThisProgramLacksSurviveASave) {
    sim::OpenImage(dir_.string());
    ChangeCounter(1);
    sim::SaveImage();
    const fs::path json = dir_ / Current() / "machine.json";
    std::stringstream text;
    text << std::ifstream(json).rdbuf();
    std::string doc = text.str();
    doc.insert(doc.find('{') + 1, "\n  \"another-area\": {\"kept\": [1, 2]},");
    fs::remove(json);  // a hard link of the generation before: write a file of its own
    std::ofstream(json) << doc;

    sim::OpenImage(dir_.string());
    ChangeCounter(2);
    sim::SaveImage();
    std::stringstream saved;
    saved << std::ifstream(dir_ / Current() / "machine.json").rdbuf();
    const auto reread = nlohmann::json::parse(saved.str());
    EXPECT_EQ(reread["test-counter"], 2);
    EXPECT_EQ(reread["another-area"]["kept"], nlohmann::json::array({1, 2}));
}

TEST_F(MachineImage, UnchangedMachineWritesNoNewGeneration) {
    sim::OpenImage(dir_.string());
    ChangeCounter(1);
    sim::SaveImage();
    const std::string before = Current();
    sim::OpenImage(dir_.string());
    sim::SaveImage();
    EXPECT_EQ(Current(), before);
}

TEST_F(MachineImage, SaveReplacesTheOldGenerationAndKeepsUnchangedFilesByLink) {
    sim::OpenImage(dir_.string());
    ChangeCounter(1);
    sim::SaveImage();
    {
        // A file of the machine that no area touches must be carried into the next generation.
        fs::create_directories(dir_ / Current() / "drive_c" / "keep");
        std::ofstream(dir_ / Current() / "drive_c" / "keep" / "file.txt") << "kept";
    }
    sim::OpenImage(dir_.string());
    ChangeCounter(2);
    sim::SaveImage();
    EXPECT_EQ(Current(), "gen-000002");
    EXPECT_FALSE(fs::exists(dir_ / "gen-000001"));
    std::ifstream in(dir_ / "gen-000002" / "drive_c" / "keep" / "file.txt");
    std::string text;
    in >> text;
    EXPECT_EQ(text, "kept");
}

TEST_F(MachineImage, AGenerationLeftByAKilledSaveIsIgnored) {
    sim::OpenImage(dir_.string());
    ChangeCounter(5);
    sim::SaveImage();
    // A run killed while saving leaves a half-written next generation behind.
    fs::create_directories(dir_ / "gen-000002");
    std::ofstream(dir_ / "gen-000002" / "machine.json") << "{ half";
    sim::OpenImage(dir_.string());
    EXPECT_EQ(counter, 5);
    ChangeCounter(6);
    sim::SaveImage();
    sim::OpenImage(dir_.string());
    EXPECT_EQ(counter, 6);
}

TEST_F(MachineImage, JournalLinesOfARunAreAppendedToTheLog) {
    sim::OpenImage(dir_.string());
    sim::Journal("RegSetValueExA", "Device000\\ProductID", 0);
    ChangeCounter(1);
    sim::SaveImage();
    std::ifstream in(dir_ / "journal.log");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("RegSetValueExA(Device000\\ProductID) = 0"), std::string::npos);
}

class FaultInjection : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }
    static DWORD Call(const char* api, const char* arg) { return sim::ApiCall(api, arg).fault(); }
};

TEST_F(FaultInjection, AFaultForAnApiFailsEveryCallOfIt) {
    sim::Faults().push_back({"LocalAlloc", "", 0, 0, ERROR_NOT_ENOUGH_MEMORY, 0});
    EXPECT_EQ(Call("LocalAlloc", ""), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(Call("LocalAlloc", ""), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(Call("LocalFree", ""), 0u);
}

TEST_F(FaultInjection, AnNthFaultFailsOnlyThatCall) {
    sim::Faults().push_back({"CopyFileA", "", 2, 0, ERROR_ACCESS_DENIED, 0});
    EXPECT_EQ(Call("CopyFileA", "a"), 0u);
    EXPECT_EQ(Call("CopyFileA", "b"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Call("CopyFileA", "c"), 0u);
}

TEST_F(FaultInjection, AFromFaultFailsEveryCallFromThatOneOn) {
    sim::Faults().push_back({"DeleteFileA", "", 0, 2, ERROR_SHARING_VIOLATION, 0});
    EXPECT_EQ(Call("DeleteFileA", "a"), 0u);
    EXPECT_EQ(Call("DeleteFileA", "b"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Call("DeleteFileA", "c"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(FaultInjection, AnArgumentFaultMatchesThatArgumentInAnyCase) {
    sim::Faults().push_back({"LoadLibraryA", "newdev.dll", 0, 0, ERROR_MOD_NOT_FOUND, 0});
    EXPECT_EQ(Call("LoadLibraryA", "kernel32.dll"), 0u);
    EXPECT_EQ(Call("LoadLibraryA", "NEWDEV.DLL"), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(FaultInjection, InjectedLoadLibraryFailureReachesTheCaller) {
    sim::Faults().push_back({"LoadLibraryA", "", 0, 0, ERROR_ACCESS_DENIED, 0});
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryA("newdev.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::CallCount("LoadLibraryA"), 1u);
}

// Every simulated library lives in the system folder: a search that leaves that folder out
// does not find it, and a way of loading the machine does not model fails loudly.
TEST(Libraries, OnlyASearchOfTheSystemFolderFindsThem) {
    sim::ResetToEmpty();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryExA("newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadLibraryExA("newdev.dll", nullptr, 0x2 /* LOAD_LIBRARY_AS_DATAFILE */), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(sim::LibraryLoadCount("newdev.dll"), 0u);
    sim::ResetToEmpty();
}

TEST(LocalMemory, ZeroInitialisedBlocksAreZero) {
    sim::ResetToEmpty();
    auto* block = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(block[i], 0) << i;
    }
    EXPECT_EQ(LocalFree(block), nullptr);
}

TEST(Handles, ClosingAnUnknownHandleFailsWithInvalidHandle) {
    sim::ResetToEmpty();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x1234)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace

// The machine image under stress: a run that finds it locked too long, an image that cannot
// be read, and runs killed while they save (eight processes changing it at once are in
// serial_order_test.cpp).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <thread>

#include "image_process.h"
#include "machine.h"

namespace fs = std::filesystem;
using robustness::ScratchImage;

namespace {

const std::string kBoardkit = BK_BOARDKIT;

// Holds the image's lock as another run would.
class LockHolder {
  public:
    explicit LockHolder(const std::string& dir) {
        fd_ = ::open((dir + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_EQ(::flock(fd_, LOCK_EX), 0);
    }
    ~LockHolder() { Release(); }
    void Release() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
};

TEST(LockedImage, ARunGivesUpAfterTheWaitWithExit125AndSaysWhy) {
    ScratchImage image("locked");
    robustness::BuildRecords(image.dir(), 2);
    const std::string before = image.CurrentGeneration();
    LockHolder holder(image.dir());
    const auto start = std::chrono::steady_clock::now();
    const auto run = robustness::Run(kBoardkit, {"RemoveConfigurationByDeviceNum", "1"},
                                     image.dir(), {"BOARDKIT_MACHINE_LOCK_TIMEOUT=0.5"});
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.exitCode, 125);
    EXPECT_NE(run.err.find("is locked by another run for too long"), std::string::npos) << run.err;
    EXPECT_GE(waited, 0.5);
    holder.Release();
    EXPECT_EQ(image.CurrentGeneration(), before);
    EXPECT_EQ(robustness::RecordStates(image.dir(), 2), "BB");
}

TEST(LockedImage, ARunWaitsForTheOtherRunAndThenGoesOn) {
    ScratchImage image("waits");
    robustness::BuildRecords(image.dir(), 2);
    LockHolder holder(image.dir());
    std::thread release([&holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.Release();
    });
    const auto run = robustness::Run(kBoardkit, {"RemoveConfigurationByDeviceNum", "1"},
                                     image.dir(), {"BOARDKIT_MACHINE_LOCK_TIMEOUT=20"});
    release.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(robustness::RecordStates(image.dir(), 2), "B-");
}

TEST(UnreadableImage, APointerToAMissingGenerationEndsTheRunAndIsNotWrittenOver) {
    ScratchImage image("dangling");
    robustness::BuildRecords(image.dir(), 1);
    fs::remove_all(fs::path(image.dir()) / image.CurrentGeneration());
    const auto run =
        robustness::Run(kBoardkit, {"RemoveConfigurationByDeviceNum", "0"}, image.dir());
    EXPECT_EQ(run.exitCode, 125);
    EXPECT_NE(run.err.find("cannot be read"), std::string::npos) << run.err;
    // No empty machine was saved in its place.
    EXPECT_EQ(image.CurrentGeneration(), "gen-000001");
    EXPECT_FALSE(fs::exists(fs::path(image.dir()) / "gen-000002"));
}

TEST(UnreadableImage, AGarbledStateFileOrRegistryEndsTheRunAndKeepsTheFiles) {
    for (const char* file : {"machine.json", "registry.reg"}) {
        ScratchImage image("garbled");
        robustness::BuildRecords(image.dir(), 1);
        const fs::path path = fs::path(image.dir()) / image.CurrentGeneration() / file;
        fs::remove(path);
        std::ofstream(path, std::ios::binary) << "\x01\x02 not what was saved [";
        const auto run =
            robustness::Run(kBoardkit, {"RemoveConfigurationByDeviceNum", "0"}, image.dir());
        EXPECT_EQ(run.exitCode, 125) << file;
        EXPECT_NE(run.err.find("simulated machine: "), std::string::npos) << file << run.err;
        EXPECT_EQ(image.CurrentGeneration(), "gen-000001") << file;
        std::ifstream kept(path, std::ios::binary);
        std::string head(5, '\0');
        kept.read(head.data(), 5);
        EXPECT_EQ(head, "\x01\x02 no") << file;
    }
}

TEST(UnreadableImage, AMissingStateFileIsRefusedInProcessToo) {
    ScratchImage image("nojson");
    robustness::BuildRecords(image.dir(), 1);
    fs::remove(fs::path(image.dir()) / image.CurrentGeneration() / "machine.json");
    EXPECT_THROW(robustness::RecordStates(image.dir(), 1), std::runtime_error);
}

TEST(KilledRuns, AKillAtAnyMomentLeavesTheOldMachineOrTheNewOne) {
    constexpr unsigned kKills = 60;
    ScratchImage image("killed");
    robustness::BuildRecords(image.dir(), kKills);
    // How long one run takes here, so the kills spread over the whole of a run and its save.
    const auto t0 = std::chrono::steady_clock::now();
    robustness::Run(kBoardkit, {"IsDemoDeviceInstalled"}, image.dir());
    const auto runTime = std::chrono::steady_clock::now() - t0;
    unsigned oldState = 0, newState = 0;
    for (unsigned k = 0; k < kKills; ++k) {
        const pid_t pid = robustness::Start(
            kBoardkit, {"RemoveConfigurationByDeviceNum", std::to_string(k)}, image.dir());
        std::this_thread::sleep_for(runTime * (k + 1) / kKills * 5 / 4);
        ::kill(pid, SIGKILL);
        robustness::Wait(pid);
        std::string states;
        ASSERT_NO_THROW(states = robustness::RecordStates(image.dir(), kKills)) << "kill " << k;
        // Record k and its map entry go together or not at all; the others are untouched.
        ASSERT_TRUE(states[k] == 'B' || states[k] == '-') << "kill " << k << ": " << states;
        (states[k] == 'B' ? oldState : newState) += 1;
        EXPECT_EQ(states.substr(k + 1), std::string(kKills - k - 1, 'B')) << "kill " << k;
    }
    RecordProperty("kills_old_state", static_cast<int>(oldState));
    RecordProperty("kills_new_state", static_cast<int>(newState));
    std::printf("kills: %u left the old machine, %u the new one\n", oldState, newState);
}

}  // namespace

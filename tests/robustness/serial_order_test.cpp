// Eight processes of fifty changes each on one machine image, with changes whose order decides
// the outcome: demo devices installed and all of them removed again, the same two boards
// disabled and enabled, each process's own records removed. The runs take the image's lock
// one at a time, so the final image must be exactly what the same commands give when run one
// after another in the order the journal shows they held the lock; and while they run, a
// reader finds the image loadable at every moment.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "fault_sweep.h"
#include "frontend/run_capture.h"
#include "image_process.h"
#include "machine.h"
#include "machine_builder.h"
#include "sample_machine.h"

namespace fs = std::filesystem;
using robustness::ScratchImage;

namespace {

constexpr unsigned kProcesses = 8, kCommands = 50;
const std::string kBoardkit = BK_BOARDKIT;
const std::string kDemoInf = std::string(BK_SOURCE_DIR) + "/tests/fixtures/inf/demo/TolDemoS.inf";

// The sample machine, a record for its second PCI board, and ten records per process.
void BuildStart(const std::string& image) {
    sim::OpenImage(image);
    ASSERT_TRUE(tools::BuildSampleMachine());
    ASSERT_TRUE(tools::AddConfigurationRecord(
        2, {tools::DwordValue("ProductID", 0x0101), tools::DwordValue("BusNumber", 4),
            tools::DwordValue("SlotNumber", 0), tools::StringValue("KernelKey", "TolPx10S")}));
    for (unsigned n = 100; n < 100 + kProcesses * 10; ++n) {
        ASSERT_TRUE(tools::AddConfigurationRecord(n, {tools::DwordValue("ProductID", 0x0101)}));
        ASSERT_TRUE(tools::AddMapEntry(n, n));
    }
    sim::SaveImage();
    sim::ResetToEmpty();
}

// Command i of process p. Every fifth one installs a demo device and every fifth removes all
// demo devices, so how many remain, and under which instance IDs, depends on the order; the
// enable and disable of the two shared boards leave whichever came last.
std::vector<std::string> Command(unsigned p, unsigned i) {
    switch (i % 5) {
        case 0:
            return {"InstallDemoDevice", kDemoInf};
        case 1:
            return {"EnableOrDisableDevice", std::to_string((p + i) % 2), "1"};
        case 2:
            return {"EnableOrDisableDevice", std::to_string((p + i / 5) % 2), "2"};
        case 3:
            return {"RemoveDevice", "DEMO"};
        default:
            return {"RemoveConfigurationByDeviceNum", std::to_string(100 + p * 10 + i / 5)};
    }
}

// The processes in the order they held the image's lock: the journal's run lines.
std::vector<pid_t> LockOrder(const std::string& image) {
    std::vector<pid_t> order;
    std::ifstream journal(image + "/journal.log");
    for (std::string line; std::getline(journal, line);) {
        if (line.rfind("== run ", 0) == 0) {
            order.push_back(static_cast<pid_t>(std::stol(line.substr(7))));
        }
    }
    return order;
}

robustness::Facts FactsOf(const std::string& image) {
    sim::OpenImage(image);
    robustness::Facts facts = robustness::MachineFacts();
    sim::ResetToEmpty();
    return facts;
}

// Runs the commands of the processes in `order` one at a time in this process, on the image
// in `start` held in memory (nothing is saved), and returns the machine they leave.
robustness::Facts Replay(const std::string& start, const std::vector<pid_t>& order,
                         const std::map<pid_t, std::vector<std::string>>& commandOf,
                         unsigned& replayed) {
    sim::OpenImage(start);
    replayed = 0;
    for (pid_t pid : order) {
        const auto it = commandOf.find(pid);
        if (it == commandOf.end()) {
            continue;  // a reader's run: it changed nothing
        }
        std::vector<std::string> words{"boardkit"};
        words.insert(words.end(), it->second.begin(), it->second.end());
        RunBoardkit(words);
        ++replayed;
    }
    robustness::Facts facts = robustness::MachineFacts();
    sim::ResetToEmpty();
    return facts;
}

TEST(ConcurrentRuns, EightProcessesOfFiftyOrderedChangesEndAsTheirLockOrderReplayed) {
    ScratchImage image("ordered");
    ScratchImage start("ordered-start");
    BuildStart(image.dir());
    fs::copy(image.dir(), start.dir(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks |
                 fs::copy_options::overwrite_existing);
    fs::remove(start.dir() + "/journal.log");

    std::mutex mutex;
    std::map<pid_t, std::vector<std::string>> commandOf;
    std::atomic<unsigned> failed{0}, reads{0}, failedReads{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> workers;
    for (unsigned p = 0; p < kProcesses; ++p) {
        workers.emplace_back([&, p] {
            for (unsigned i = 0; i < kCommands; ++i) {
                const std::vector<std::string> words = Command(p, i);
                const pid_t pid = robustness::Start(kBoardkit, words, image.dir());
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    failed += commandOf.count(pid) != 0 ? 1 : 0;  // a reused pid is ambiguous
                    commandOf[pid] = words;
                }
                const int code = robustness::Wait(pid);
                failed += code == 0 || code == 2 ? 0 : 1;
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            const int code = robustness::Wait(
                robustness::Start(kBoardkit, {"IsDemoDeviceInstalled"}, image.dir()));
            ++reads;
            failedReads += code == 16 || code == 17 ? 0 : 1;
        }
    });
    for (std::thread& worker : workers) {
        worker.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(failed, 0u);
    EXPECT_GT(reads, 0u);
    EXPECT_EQ(failedReads, 0u);

    // Replay the changing runs one at a time, in lock order, on the starting machine.
    const std::vector<pid_t> order = LockOrder(image.dir());
    unsigned replayed = 0;
    const robustness::Facts serial = Replay(start.dir(), order, commandOf, replayed);
    // Every run changes something except a removal of demo devices that finds none.
    EXPECT_GE(replayed, kProcesses * kCommands * 4 / 5);
    const robustness::Facts concurrent = FactsOf(image.dir());
    const robustness::Changes differences = robustness::Compare(serial, concurrent);
    for (const auto& [fact, change] : differences) {
        ADD_FAILURE() << fact << ": serial " << change.before.value_or("(none)").substr(0, 60)
                      << ", concurrent " << change.after.value_or("(none)").substr(0, 60);
    }
    // Each process's own removals all arrived: no run saved over another's change.
    for (unsigned n = 100; n < 100 + kProcesses * 10; ++n) {
        EXPECT_EQ(concurrent.count("reg:HKLM\\SYSTEM\\CurrentControlSet\\Services\\TOLVAN\\Device" +
                                   std::to_string(n)),
                  0u)
            << n;
    }
    // The order matters: the same runs in the opposite order leave another machine.
    unsigned reversed = 0;
    const robustness::Facts backwards =
        Replay(start.dir(), std::vector<pid_t>(order.rbegin(), order.rend()), commandOf, reversed);
    EXPECT_FALSE(robustness::Compare(backwards, concurrent).empty());
    RecordProperty("runs_replayed", static_cast<int>(replayed));
    RecordProperty("reads_during_changes", static_cast<int>(reads));
    std::printf("%u changing runs replayed in lock order, %u reads while they ran\n", replayed,
                reads.load());
}

}  // namespace

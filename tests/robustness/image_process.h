// Runs of the real programs on a machine image folder, for the tests of locking, concurrent
// runs and runs killed while they save.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace robustness {

struct ProcessResult {
    int exitCode = -1;  // -1 when the process ended by a signal
    std::string out;
    std::string err;
};

// A fresh, empty image folder of this test (removed when the object goes).
class ScratchImage {
  public:
    explicit ScratchImage(const std::string& stem);
    ~ScratchImage();
    ScratchImage(const ScratchImage&) = delete;
    ScratchImage& operator=(const ScratchImage&) = delete;
    const std::string& dir() const { return dir_; }
    std::string CurrentGeneration() const;  // the folder `current` points at, "" when none

  private:
    std::string dir_;
};

// Runs `program` with `args` on `image`, extra environment entries ("NAME=value") added, and
// waits for it.
ProcessResult Run(const std::string& program, const std::vector<std::string>& args,
                  const std::string& image, const std::vector<std::string>& env = {});
// Starts it without waiting; its output goes nowhere.
pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::string& image, const std::vector<std::string>& env = {});
// Waits for a started process: its exit code, or -1 when a signal ended it.
int Wait(pid_t pid);

// Fills `image` with configuration records 0 .. count-1, each with its map entry, and saves it.
void BuildRecords(const std::string& image, unsigned count);
// In this process, opens `image` and tells which of records 0 .. count-1 and map entries are
// there ('R' record only, 'M' map entry only, 'B' both, '-' neither); throws when the image
// cannot be loaded.
std::string RecordStates(const std::string& image, unsigned count);

}  // namespace robustness

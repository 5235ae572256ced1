// Every seed of the fuzz corpora and every input that once made a fuzz target fail, replayed
// through the same targets in the ordinary (sanitized) test build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/targets/fuzz_targets.h"
#include "machine.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> InputsOf(const std::string& folder) {
    std::vector<fs::path> inputs;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return inputs;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    return inputs;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Replay(const fuzz::Target& target, const std::vector<fs::path>& inputs) {
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.string());
        const std::string bytes = ReadBytes(input);
        EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
    sim::ResetToEmpty();
}

TEST(FuzzInputs, EveryTargetHasASeedCorpusThatRunsClean) {
    for (const fuzz::Target& target : fuzz::kTargets) {
        const auto seeds = InputsOf(std::string(BK_SOURCE_DIR) + "/fuzz/corpus/" + target.name);
        EXPECT_FALSE(seeds.empty()) << target.name << " has no seeds";
        Replay(target, seeds);
    }
}

TEST(FuzzInputs, InputsThatOnceFailedRunClean) {
    for (const fuzz::Target& target : fuzz::kTargets) {
        Replay(target, InputsOf(std::string(BK_SOURCE_DIR) + "/fuzz/regressions/" + target.name));
    }
}

}  // namespace

// boardkit-sim's `new --preset large DIR` and `new --devices N ... DIR`: a generated machine.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "generate.h"
#include "machine.h"
#include "sim_commands.h"

namespace tools {

bool IsGenerateRequest(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--preset" || arg == "--devices" || arg == "--records" || arg == "--infs" ||
            arg == "--preinstall" || arg == "--processes" || arg == "--seed") {
            return true;
        }
    }
    return false;
}

int NewGeneratedImage(const std::vector<std::string>& args) {
    // The folder comes last; every option before it has a value.
    if (args.size() % 2 == 0) {
        std::fprintf(stderr,
                     "usage: boardkit-sim new [--preset large] [--devices N] [--records N]\n"
                     "         [--infs N] [--preinstall N] [--processes N] [--seed S] DIR\n");
        return 2;
    }
    const std::string dir = args.back();
    GenerateOptions options;
    if (!ParseGenerateOptions(std::vector<std::string>(args.begin(), args.end() - 1), options)) {
        std::fprintf(stderr, "boardkit-sim: unusable generator options\n");
        return 2;
    }
    if (std::filesystem::exists(std::filesystem::path(dir) / "current")) {
        std::fprintf(stderr, "boardkit-sim: %s already holds a machine\n", dir.c_str());
        return 1;
    }
    sim::OpenImage(dir);
    if (!GenerateMachine(options)) {
        std::fprintf(stderr,
                     "boardkit-sim: the machine could not be generated (at most 1000 "
                     "records, and no more records than devices)\n");
        return 1;
    }
    sim::MarkDirty("machine");
    sim::SaveImage();
    std::printf(
        "created a generated machine in %s: %u devices, %u records, %u INF copies, "
        "%u pre-install records, %u processes, seed %u\n",
        dir.c_str(), options.devices, options.records, options.infs, options.preinstall,
        options.processes, static_cast<unsigned>(options.seed));
    return 0;
}

}  // namespace tools

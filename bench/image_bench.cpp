// Loading and saving machine images of growing size: what every run of boardkit pays before and
// after its command.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_machine.h"
#include "machine.h"
#include "platform/win32.h"

namespace {

std::string ImageFor(benchmark::State& state) {
    const tools::GenerateOptions options = bench::Scaled(static_cast<unsigned>(state.range(0)));
    const std::string dir = (std::filesystem::temp_directory_path() /
                             ("bk-bench-image-" + std::to_string(options.devices)))
                                .string();
    if (!std::filesystem::exists(std::filesystem::path(dir) / "current")) {
        std::filesystem::remove_all(dir);
        sim::OpenImage(dir);
        if (!tools::GenerateMachine(options)) {
            state.SkipWithError("the machine could not be generated");
        }
        sim::MarkDirty("machine");
        sim::SaveImage();
        sim::ResetToEmpty();
    }
    bench::Label(state, options);
    return dir;
}

// A run that changes nothing: open, load every part a command may touch, let go.
void BM_LoadImage(benchmark::State& state) {
    const std::string dir = ImageFor(state);
    for (auto _ : state) {
        sim::OpenImage(dir);
        sim::EnsureLoaded();
        HKEY key = nullptr;
        benchmark::DoNotOptimize(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, &key));
        RegCloseKey(key);
        sim::ResetToEmpty();
    }
}
BENCHMARK(BM_LoadImage)->Apply(bench::DeviceSeries);

// A run that changes one registry value and saves a new generation (the load is outside the
// timing).
void BM_SaveImageAfterChange(benchmark::State& state) {
    const std::string dir = ImageFor(state);
    DWORD counter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sim::OpenImage(dir);
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\BenchMark", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        ++counter;
        RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&counter),
                       sizeof counter);
        RegCloseKey(key);
        state.ResumeTiming();
        sim::SaveImage();
        state.PauseTiming();
        sim::ResetToEmpty();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveImageAfterChange)->Apply(bench::DeviceSeries);

}  // namespace

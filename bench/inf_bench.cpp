// The searches of the INF folder against folders of growing size (about 8 KB a copy). The
// kernel key and hardware ID asked for are in no copy, so each search reads every copy; the
// uninstall, which searches again after each removal, gets a fresh machine for every run.
#include "bench_machine.h"
#include "boardkit/operations.h"
#include "catalog/catalog.h"

namespace {

tools::GenerateOptions Infs(benchmark::State& state, uint32_t seed = 1) {
    tools::GenerateOptions options;
    options.devices = 1000;
    options.records = 100;
    options.infs = static_cast<unsigned>(state.range(0));
    options.preinstall = 10;
    options.seed = seed;
    return options;
}

void BM_DeleteOemInfFileMissing(benchmark::State& state) {
    bench::UseMachine(state, Infs(state));
    bench::Label(state, Infs(state));
    bench::Text name("oem99999.inf");
    for (auto _ : state) {
        benchmark::DoNotOptimize(DeleteOemInfFile(name.get()));
    }
}
BENCHMARK(BM_DeleteOemInfFileMissing)->Apply(bench::InfSeries);

// A removal by a product ID no record has, with the device nodes of a row's hardware ID.
void BM_UninstallNonePnpDriver(benchmark::State& state) {
    bench::UseMachine(state, Infs(state));
    bench::Label(state, Infs(state));
    bench::Text inf("C:\\NoSuch\\TolNone.inf");
    bench::Text prefix("ROOT\\NOSUCHBOARD");
    for (auto _ : state) {
        benchmark::DoNotOptimize(UninstallNonePnpDriver(inf.get(), prefix.get()));
    }
}
BENCHMARK(BM_UninstallNonePnpDriver)->Apply(bench::InfSeries);

// The uninstall of the kernel key of the copies' most common row: every copy of it goes, and
// the folder is searched again after each removal.
void BM_UninstallDriver(benchmark::State& state) {
    const std::string key = kDeviceCatalog[1].kernelKey;
    for (auto _ : state) {
        state.PauseTiming();
        bench::UseMachine(state, Infs(state, static_cast<uint32_t>(state.iterations() + 2)));
        bench::Text text(key);
        state.ResumeTiming();
        benchmark::DoNotOptimize(UninstallDriver(text.get()));
    }
    bench::Label(state, Infs(state));
}
BENCHMARK(BM_UninstallDriver)->Apply(bench::InfSeries)->Iterations(3);

}  // namespace

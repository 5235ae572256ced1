// Presence queries, lists and the device refresh against device trees of growing size. The
// hardware IDs asked for are ones no node has, so every query walks the whole tree: the
// worst case a setup program meets.
#include "bench_machine.h"
#include "boardkit/operations.h"

namespace {

constexpr const char* kMissingId = "PCI\\VEN_5AE3&DEV_FFFF";

void Prepare(benchmark::State& state) {
    const tools::GenerateOptions options = bench::Scaled(static_cast<unsigned>(state.range(0)));
    bench::UseMachine(state, options);
    bench::Label(state, options);
}

void BM_IsDeviceExist(benchmark::State& state) {
    Prepare(state);
    bench::Text id(kMissingId);
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsDeviceExist(id.get()));
    }
}
BENCHMARK(BM_IsDeviceExist)->Apply(bench::DeviceSeries);

void BM_IsDeviceExistInstalled(benchmark::State& state) {
    Prepare(state);
    bench::Text id(kMissingId);
    int found = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsDeviceExistInstalled(id.get(), &found));
    }
}
BENCHMARK(BM_IsDeviceExistInstalled)->Apply(bench::DeviceSeries);

void BM_IsDeviceExistNotInstall(benchmark::State& state) {
    Prepare(state);
    bench::Text id(kMissingId);
    int found = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsDeviceExistNotInstall(id.get(), &found));
    }
}
BENCHMARK(BM_IsDeviceExistNotInstall)->Apply(bench::DeviceSeries);

void BM_IsDeviceUsing(benchmark::State& state) {
    Prepare(state);
    bench::Text id(kMissingId);
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsDeviceUsing(id.get()));
    }
}
BENCHMARK(BM_IsDeviceUsing)->Apply(bench::DeviceSeries);

void BM_IsDemoDeviceInstalled(benchmark::State& state) {
    Prepare(state);
    int installed = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsDemoDeviceInstalled(&installed));
    }
}
BENCHMARK(BM_IsDemoDeviceInstalled)->Apply(bench::DeviceSeries);

void BM_RefreshDevices(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RefreshDevices());
    }
}
BENCHMARK(BM_RefreshDevices)->Apply(bench::DeviceSeries);

// The first refresh of a machine just made, which installs every board a staged copy serves
// (the loop above times the later ones, whose retries all fail).
void BM_RefreshDevicesOfANewMachine(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        bench::ForgetMachine();
        Prepare(state);
        state.ResumeTiming();
        benchmark::DoNotOptimize(RefreshDevices());
    }
    bench::ForgetMachine();  // the next benchmark starts from a machine not yet refreshed
}
BENCHMARK(BM_RefreshDevicesOfANewMachine)->Apply(bench::DeviceSeries)->Iterations(1);

void BM_GetDeviceInstalledList(benchmark::State& state) {
    Prepare(state);
    bench::Text path("C:\\installed.txt");
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetDeviceInstalledList(path.get()));
    }
}
BENCHMARK(BM_GetDeviceInstalledList)->Apply(bench::DeviceSeries);

void BM_GetDevicePreinstalledList(benchmark::State& state) {
    Prepare(state);
    bench::Text path("C:\\preinstalled.txt");
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetDevicePreinstalledList(path.get()));
    }
}
BENCHMARK(BM_GetDevicePreinstalledList)->Apply(bench::DeviceSeries);

void BM_GetDeviceExistNotInstalledList(benchmark::State& state) {
    Prepare(state);
    bench::Text path("C:\\driverless.txt");
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetDeviceExistNotInstalledList(path.get()));
    }
}
BENCHMARK(BM_GetDeviceExistNotInstalledList)->Apply(bench::DeviceSeries);

}  // namespace

// The configuration store's scans against record sets of growing size (1,000 device nodes
// beside them). Kernel keys and product IDs that match nothing make each removal scan every
// record without changing the machine; the alias sweep, which restarts its enumeration after
// each deletion, gets a fresh machine for every run.
#include "bench_machine.h"
#include "boardkit/operations.h"

namespace {

tools::GenerateOptions Records(benchmark::State& state) {
    tools::GenerateOptions options;
    options.records = static_cast<unsigned>(state.range(0));
    options.devices = std::max(1000u, options.records);
    options.infs = 100;
    return options;
}

void Prepare(benchmark::State& state) {
    const tools::GenerateOptions options = Records(state);
    bench::UseMachine(state, options);
    bench::Label(state, options);
}

void BM_GetConfigurationItem(benchmark::State& state) {
    Prepare(state);
    bench::Text name("KernelKey");
    unsigned char buffer[64];
    const uint32_t last = static_cast<uint32_t>(state.range(0) - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetConfigurationItem(last, name.get(), sizeof buffer, buffer));
    }
}
BENCHMARK(BM_GetConfigurationItem)->Apply(bench::RecordSeries);

void BM_RemoveConfigurationByKernelKey(benchmark::State& state) {
    Prepare(state);
    bench::Text key("NoSuchKernelKey");
    for (auto _ : state) {
        benchmark::DoNotOptimize(RemoveConfigurationByKernelKey(key.get()));
    }
}
BENCHMARK(BM_RemoveConfigurationByKernelKey)->Apply(bench::RecordSeries);

void BM_RemoveConfigurationByProductID(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RemoveConfigurationByProductID(0xFFFE));
    }
}
BENCHMARK(BM_RemoveConfigurationByProductID)->Apply(bench::RecordSeries);

void BM_RemoveConfigurationByDeviceNum(benchmark::State& state) {
    Prepare(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RemoveConfigurationByDeviceNum(4000));
    }
}
BENCHMARK(BM_RemoveConfigurationByDeviceNum)->Apply(bench::RecordSeries);

void BM_EnableDevices(benchmark::State& state) {
    Prepare(state);
    bench::Text key("NoSuchKernelKey");
    for (auto _ : state) {
        benchmark::DoNotOptimize(EnableDevices(key.get()));
    }
}
BENCHMARK(BM_EnableDevices)->Apply(bench::RecordSeries);

void BM_DisableDevices(benchmark::State& state) {
    Prepare(state);
    bench::Text key("NoSuchKernelKey");
    for (auto _ : state) {
        benchmark::DoNotOptimize(DisableDevices(key.get()));
    }
}
BENCHMARK(BM_DisableDevices)->Apply(bench::RecordSeries);

// The last record's device: its search walks the device set up to that board.
void BM_EnableOrDisableDevice(benchmark::State& state) {
    Prepare(state);
    int reboot = 0;
    const int32_t last = static_cast<int32_t>(state.range(0) - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EnableOrDisableDevice(1, last, &reboot));
    }
}
BENCHMARK(BM_EnableOrDisableDevice)->Apply(bench::RecordSeries);

// One alias record in fifty: each deletion restarts the sweep's enumeration.
void BM_InstallDemoDeviceSweep(benchmark::State& state) {
    bench::Text inf(BK_SOURCE_DIR "/tests/fixtures/inf/demo/TolDemoS.inf");
    for (auto _ : state) {
        state.PauseTiming();
        tools::GenerateOptions options = Records(state);
        options.seed = static_cast<uint32_t>(state.iterations() + 2);  // a fresh machine
        bench::UseMachine(state, options);
        state.ResumeTiming();
        benchmark::DoNotOptimize(InstallDemoDevice(inf.get()));
    }
    bench::Label(state, Records(state));
}
BENCHMARK(BM_InstallDemoDeviceSweep)->Apply(bench::RecordSeries)->Iterations(3);

}  // namespace

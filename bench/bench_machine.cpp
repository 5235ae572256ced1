#include "bench_machine.h"

#include <algorithm>
#include <tuple>

#include "machine.h"

namespace bench {
namespace {

bool Same(const tools::GenerateOptions& a, const tools::GenerateOptions& b) {
    return std::tie(a.devices, a.records, a.infs, a.preinstall, a.processes, a.seed) ==
           std::tie(b.devices, b.records, b.infs, b.preinstall, b.processes, b.seed);
}

tools::GenerateOptions built;
bool haveBuilt = false;

}  // namespace

tools::GenerateOptions Scaled(unsigned devices) {
    tools::GenerateOptions options;
    options.devices = devices;
    options.records = std::min(1000u, devices / 10);
    options.infs = devices / 10;
    options.preinstall = devices / 100;
    options.processes = 100;
    return options;
}

void UseMachine(benchmark::State& state, const tools::GenerateOptions& options) {
    if (haveBuilt && Same(built, options)) {
        return;
    }
    sim::ResetToEmpty();
    haveBuilt = false;
    if (!tools::GenerateMachine(options)) {
        state.SkipWithError("the machine could not be generated");
        return;
    }
    built = options;
    haveBuilt = true;
}

void ForgetMachine() {
    haveBuilt = false;
}

void Label(benchmark::State& state, const tools::GenerateOptions& options) {
    state.counters["devices"] = options.devices;
    state.counters["records"] = options.records;
    state.counters["infs"] = options.infs;
}

void DeviceSeries(benchmark::internal::Benchmark* b) {
    for (int n : {1000, 2000, 4000, 8000, 16000}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMillisecond);
}

void RecordSeries(benchmark::internal::Benchmark* b) {
    for (int n : {100, 250, 500, 1000}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMillisecond);
}

void InfSeries(benchmark::internal::Benchmark* b) {
    for (int n : {100, 250, 500, 1000, 2000}) {
        b->Arg(n);
    }
    b->Unit(benchmark::kMillisecond);
}

}  // namespace bench

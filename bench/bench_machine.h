// Machine states for the benchmarks, built in memory by the generator and kept while
// consecutive benchmarks ask for the same sizes (building 16,000 nodes costs far more than
// most operations measured on them).
#pragma once
#include <benchmark/benchmark.h>

#include <string>

#include "sim/generate.h"

namespace bench {

// Devices, records and INF copies grow together: `devices` nodes, records and copies in the
// ratio of the large machine, capped at the 1,000 device numbers that exist.
tools::GenerateOptions Scaled(unsigned devices);
// Makes the machine of this process the one `options` describe (rebuilt only when they differ
// from the last call's). Aborts the benchmark when the generator fails.
void UseMachine(benchmark::State& state, const tools::GenerateOptions& options);
// The next UseMachine builds its machine anew, even with the same options.
void ForgetMachine();
// Labels the state with the sizes, so the JSON output carries them beside the times.
void Label(benchmark::State& state, const tools::GenerateOptions& options);

// The device series 1,000 .. 16,000, the record series 100 .. 1,000, the INF series 100 .. 2,000.
void DeviceSeries(benchmark::internal::Benchmark* b);
void RecordSeries(benchmark::internal::Benchmark* b);
void InfSeries(benchmark::internal::Benchmark* b);

// A modifiable copy of a text, for operations that take char*.
struct Text {
    explicit Text(const std::string& text) : bytes(text.begin(), text.end()) {
        bytes.push_back('\0');
    }
    char* get() { return bytes.data(); }
    std::string bytes;
};

}  // namespace bench

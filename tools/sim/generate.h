// Large machines for benchmarks: a deterministic generator of device nodes, framework records,
// OEM INF copies, pre-install records and processes, in the sizes a busy test bench reaches.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

struct GenerateOptions {
    unsigned devices = 0;     // device nodes (maker's boards and other makers' devices)
    unsigned records = 0;     // framework records Device000.. (at most 1,000 numbers exist)
    unsigned infs = 0;        // OEM INF copies oem0.inf.. of about 8 KB each
    unsigned preinstall = 0;  // pre-install records, each naming one of the copies
    unsigned processes = 0;   // running processes with long command lines
    uint32_t seed = 1;
};

// The sizes of `new --preset large`: 10,000 nodes, 1,000 records, 1,000 copies, 100 processes.
GenerateOptions LargePreset();

// Fills the machine that is open (normally an empty one). The same options and seed always
// give the same machine. False when a call fails or a size is out of range.
bool GenerateMachine(const GenerateOptions& options);

// Parses `--preset large`, `--devices N`, `--records N`, `--infs N`, `--preinstall N`,
// `--processes N` and `--seed S` (later options override the preset); false on anything else.
bool ParseGenerateOptions(const std::vector<std::string>& args, GenerateOptions& out);

// The text of one generated OEM INF copy for a catalog row, padded to about `size` bytes.
std::string GeneratedInfText(unsigned index, std::size_t size);

}  // namespace tools

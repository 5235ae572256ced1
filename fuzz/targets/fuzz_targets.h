// The fuzz targets: each takes one input of arbitrary bytes and aborts only on a real fault
// (the sanitizers report memory errors themselves). libFuzzer drives them in the fuzz build;
// the robustness tests replay the seed corpora and every input that once failed.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz {

// Words separated by NUL bytes, run as a command line over the sample machine in memory.
int CommandLine(const uint8_t* data, size_t size);
// A message text with inserts, formatted by FormatMessageA from a string.
int FormatInserts(const uint8_t* data, size_t size);
// A .reg file, parsed, applied to a scratch tree and exported again.
int RegFile(const uint8_t* data, size_t size);
// A machine image's machine.json and registry.reg, loaded by a child run.
int MachineImage(const uint8_t* data, size_t size);
// An INF file, parsed as the device installer reads it.
int InfFile(const uint8_t* data, size_t size);
// Bytes presented as a loaded module whose export directory the program walks.
int ExportWalk(const uint8_t* data, size_t size);
// A device's hardware-ID and compatible-ID properties as raw bytes, read by every query.
int MultiStrings(const uint8_t* data, size_t size);

struct Target {
    const char* name;  // also the folder of its seed corpus
    int (*run)(const uint8_t* data, size_t size);
};
inline const Target kTargets[] = {
    {"command_line", CommandLine},   {"format_inserts", FormatInserts},
    {"reg_file", RegFile},           {"machine_image", MachineImage},
    {"inf_file", InfFile},           {"export_walk", ExportWalk},
    {"multi_strings", MultiStrings},
};

// Output of the program under test goes nowhere while fuzzing.
void SilenceStandardStreams();

}  // namespace fuzz

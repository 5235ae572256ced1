// The simulated machine: its state is plain data owned by the area that models it (registry,
// files, devices, ...). This core loads the machine image on first use, holds the image's lock
// for the whole process, and saves every changed part atomically when the process ends.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "simwin/base.h"

namespace sim {

// A piece of run-time state kept in machine.json under its own name. Each area registers one
// (from a static initializer) and keeps its data in its own structures.
struct StateSection {
    const char* name;
    // Called with null when absent; the section may keep the value by moving it.
    std::function<void(nlohmann::json&&)> load;
    std::function<nlohmann::json()> save;
    std::function<void()> reset;
};
void RegisterSection(StateSection section);

// A part of the image kept in files of its own (registry.reg, drive_c/). `load` reads it from
// a generation folder ("" for an empty machine); `save` writes it into a new generation
// folder, hard-linking from the old one what did not change ("" when there is no old one).
struct ImagePart {
    const char* name;
    std::function<void(const std::string& genDir)> load;
    std::function<void(const std::string& oldGen, const std::string& newGen)> save;
    // A cache of what other parts hold: saved with every new generation, yet never the reason
    // a run saves one.
    bool derived = false;
};
void RegisterImagePart(ImagePart part);

// The whole machine of this process.
struct MachineSettings {
    bool elevated = true;  // the process runs with administrator rights
};

struct Fault {
    std::string api;    // the API name, exactly as exported
    std::string arg;    // empty: any argument; else matched case-insensitively
    unsigned nth = 0;   // 0: every matching call; N: only the Nth matching call
    unsigned from = 0;  // N: every matching call from the Nth on (0: not used)
    DWORD error = 0;    // the error code the call fails with
    unsigned seen = 0;  // matching calls so far (this run)
};

// Loads the image on first use (BOARDKIT_MACHINE, or the default machine).
void EnsureLoaded();
// Tests and tools: start from an empty machine held in memory only (nothing is saved).
void ResetToEmpty();
// Tests and tools: load the image in `dir` (locking it), or save the machine into it now.
void OpenImage(const std::string& dir);
void SaveImage();
// Tests and fuzzing: called with the reason instead of ending the process (exit 125) when the
// image cannot be locked, read or saved. The handler must not return: it throws.
void SetImageFailureHandler(std::function<void(const std::string& what)> handler);
MachineSettings& Settings();
std::vector<Fault>& Faults();
// Counts of every simulated call made by this process, by API name.
unsigned CallCount(const std::string& api);

// Marks the machine changed, so the exit saves a new generation of the image.
void MarkDirty(const char* part);

// Journal lines of this run go to <image>/journal.log when the run ends; this names the image
// folder of the run ("" for a machine held in memory).
const std::string& ImageDir();

// The Linux build sets what a new default machine holds (the sample machine); the factory
// fills the empty machine that has just been opened, and the core saves it.
void SetDefaultMachineFactory(std::function<void()> factory);

// The folder of the current generation's files (machine.json, registry.reg, drive_c/).
const std::string& GenerationDir();

}  // namespace sim

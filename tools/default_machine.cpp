// On Linux a run without BOARDKIT_MACHINE uses a default machine in the user's data folder;
// its first use creates it from the sample machine.
#include "machine.h"
#include "sample_machine.h"

namespace {
const bool installed = [] {
    sim::SetDefaultMachineFactory([] { tools::BuildSampleMachine(); });
    return true;
}();
}  // namespace

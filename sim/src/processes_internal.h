// Shared by the process, process-memory and ntdll parts of the simulated machine.
#pragma once
#include <cstddef>
#include <cstdint>

#include "handles.h"
#include "sim/processes.h"

namespace sim {

// A handle from OpenProcess: the process it names and the access it was opened with. The
// process may end while the handle is open; the handle then names a process that is gone.
class ProcessHandle : public HandleObject {
  public:
    ProcessHandle(DWORD pid, DWORD access) : pid_(pid), access_(access) {}
    const char* kind() const override { return "process"; }
    DWORD pid() const { return pid_; }
    DWORD access() const { return access_; }

  private:
    DWORD pid_;
    DWORD access_;
};

// Where a process's environment block lies in its synthesized address space.
uint64_t PebAddressOf(DWORD pid);
// Copies `size` bytes at `address` of the process's memory; false when the range is not
// wholly inside one of its synthesized regions.
bool ReadSynthesizedMemory(const ProcessRecord& process, uint64_t address, void* out, size_t size);

}  // namespace sim

namespace sim {
// The longest command line Windows starts a process with, in UTF-16 code units.
constexpr size_t kMaxCommandLineUnits = 32767;
}  // namespace sim

// The registry side of an import, between its steps: every export is read and checked, the
// current control set is found, then the exports are applied in order.
#pragma once
#include <string>
#include <vector>

#include "import.h"
#include "reg_file.h"

namespace tools {

// One export, read and checked, not yet applied.
struct RegistryExport {
    std::string path;
    std::vector<sim::RegEdit> edits;
};
// Reads and checks one export; "" or the error. `notes` receives what was taken on trust.
std::string ReadRegistryExport(const std::string& path, RegistryExport& out,
                               std::vector<std::string>& notes);
// An export of HKLM\SYSTEM (or of one ControlSetNNN) holds no CurrentControlSet: takes the set
// that SYSTEM\Select\Current names, or the only one, as the current set (saying so in `notes`);
// "" or why no set can be taken.
std::string TakeCurrentControlSet(std::vector<RegistryExport>& exports,
                                  std::vector<std::string>& notes);
// Applies the exports to the machine's HKLM in order; "" or the error.
std::string ApplyRegistryExports(const std::vector<RegistryExport>& exports,
                                 InstanceLines& instances);
// Where the exports seem cut at a line end (a whole export that ends inside Enum).
void WarnOfCutExports(const std::vector<RegistryExport>& exports,
                      std::vector<std::string>& warnings);
}  // namespace tools

// What the core shares between its own files (not for the modelled areas).
#pragma once
#include <string>

namespace sim {
void CountCall(const char* api);
void AppendJournalLine(std::string line);
}  // namespace sim

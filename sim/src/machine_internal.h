// What the core shares between its own files (not for the modelled areas).
#pragma once
#include <cstddef>
#include <string>

namespace sim {
void CountCall(const char* api);
void AppendJournalLine(std::string line);
// Grows the heap ahead of loading an image whose files hold `bytes`, in large pages where the
// kernel offers them (first touches of small pages dominate the load of a large image).
void ReserveHeapForImage(size_t bytes);
}  // namespace sim

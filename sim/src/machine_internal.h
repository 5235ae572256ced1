// What the core shares between its own files (not for the modelled areas).
#pragma once
#include <cstddef>
#include <string>

namespace sim {
void CountCall(const char* api);
void AppendJournalLine(std::string line);
// Flushes a file or a folder (its entries) to the disk; failures are not the caller's to act on.
void SyncPath(const std::string& path, bool directory);
// Grows the heap ahead of loading an image whose files hold `bytes`, in large pages where the
// kernel offers them (first touches of small pages dominate the load of a large image).
void ReserveHeapForImage(size_t bytes);
}  // namespace sim

// What the core shares between its own files (not for the modelled areas).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {
void CountCall(const char* api);
void AppendJournalLine(std::string line);
// Flushes a file or a folder (its entries) to the disk; failures are not the caller's to act on.
void SyncPath(const std::string& path, bool directory);
// Writes a file of the generation being saved: to a temporary name beside it, flushed, then renamed
// over `path`, so a hard link to the old generation's file is replaced, never written into. With
// `unixTime100ns`, the file's modification time is set to it first. Throws on failure.
void ReplaceFileContent(const std::string& path, std::string_view bytes,
                        const int64_t* unixTime100ns = nullptr);
// Grows the heap ahead of loading an image whose files hold `bytes`, in large pages where the
// kernel offers them (first touches of small pages dominate the load of a large image).
void ReserveHeapForImage(size_t bytes);
}  // namespace sim

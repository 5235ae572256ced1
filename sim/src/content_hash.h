// A 64-bit hash of a file's bytes, to tell whether a file still holds what a file derived from
// it was made from. It guards against stale data, not against someone who wants a collision.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

uint64_t ContentHash(std::string_view bytes);
// The same hash of the bytes of the file at `path`, read in pieces (never held in whole), and
// its size; false when the file cannot be opened or read.
bool FileContentHash(const std::string& path, uint64_t& hash, uint64_t& size);

}  // namespace sim

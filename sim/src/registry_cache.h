// The registry's pieces of the image in a binary form that loads several times faster than
// their regedit text. A cache file is derived data: it records the size and hash of the text
// it was made from and is used only while that text is unchanged, so deleting either file, or
// editing the text by hand, is safe (the text is then read, and the next save writes a new
// cache).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "reg_file.h"
#include "registry_tree.h"

namespace sim {

// The cache of the subtrees `tops` (as handed to ExportRegTrees, each top named in full from
// its root), made beside their export `text`.
std::string RegistryCacheBytes(const std::vector<ExportTop>& tops, std::string_view text);

// Adds the keys of the cache at `cachePath` to `root` when the cache is whole and was made from
// the bytes the file `textPath` holds now. False, with `root` as it was, when the cache is
// missing, stale, damaged or of another format.
bool LoadRegistryCache(const std::string& cachePath, const std::string& textPath, RegKey& root);

}  // namespace sim

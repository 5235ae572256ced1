// The registry's place in the machine image. HKLM is saved in pieces, so that a run that
// changes one value rewrites one small file and not the whole registry:
//
//   <generation>/registry.reg        the keys down to four levels below HKLM, with their values
//   <generation>/registry/NN.reg     the deeper subtrees: each key at the fifth level with all
//                                    that lies below it, in one of 64 files chosen by a hash of
//                                    its path (folded, so that case does not move it)
//
// Each file is a regedit export of its own. An image holding the whole registry in
// registry.reg (as earlier images do) loads as well and is split at its next save.
#pragma once
#include "registry_tree.h"

namespace sim {

// Called by the tree's editing functions: `key` (in HKLM or not) was changed, created, or is
// about to be removed with its subtree. Marks the piece that holds it, and the registry part
// of the image, for the next save.
void NoteRegistryChange(const RegKey& key, bool subtreeRemoved);

}  // namespace sim

#include "registry_image.h"

#include <bitset>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "machine.h"
#include "machine_internal.h"
#include "mapped_file.h"
#include "reg_file.h"
#include "registry_cache.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr size_t kSpineDepth = 4;  // keys this deep or less live in registry.reg
constexpr size_t kPieces = 64;
constexpr const char* kHklmName = "HKEY_LOCAL_MACHINE";

struct Changes {
    bool loading = false;  // the tree is being read from the image: nothing has changed
    bool everything = true;
    bool spine = false;
    std::bitset<kPieces> pieces;
    std::bitset<kPieces> uncached;  // read from their text: the next save writes their cache
};

Changes& Pending() {
    static auto* changes = new Changes;
    return *changes;
}

void ForgetChanges() {
    Changes& c = Pending();
    c.everything = false;
    c.spine = false;
    c.pieces.reset();
    c.uncached.reset();
}

// FNV-1a over a name upper-cased as the registry compares names (ASCII and Latin-1 letters;
// the folded form keeps every byte in place, so folding as we go gives the same bytes).
uint32_t HashName(std::string_view name, uint32_t hash) {
    bool afterC3 = false;
    for (char ch : name) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (afterC3) {
            if (c >= 0xA0 && c <= 0xBE && c != 0xB7) {
                c = static_cast<unsigned char>(c - 0x20);
            }
            afterC3 = false;
        } else {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<unsigned char>(c - 32);
            }
            afterC3 = c == 0xC3;
        }
        hash = (hash ^ c) * 16777619u;
    }
    return (hash ^ '\\') * 16777619u;
}

constexpr uint32_t kHashStart = 2166136261u;

size_t PieceOfHash(uint32_t hash) {
    return hash % kPieces;
}

// The piece of a path below HKLM, or kPieces for a key of the spine.
size_t PieceOfPath(std::string_view path) {
    uint32_t hash = kHashStart;
    size_t depth = 0;
    size_t start = 0;
    while (start <= path.size() && depth <= kSpineDepth) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            hash = HashName(path.substr(start, end - start), hash);
            ++depth;
        }
        start = end + 1;
    }
    return depth <= kSpineDepth ? kPieces : PieceOfHash(hash);
}

// The piece of a key given the chain of its ancestors at depths 1..5.
size_t PieceOfChain(const RegKey* const* chain) {
    uint32_t hash = kHashStart;
    for (size_t i = 0; i <= kSpineDepth; ++i) {
        hash = HashName(chain[i]->name, hash);
    }
    return PieceOfHash(hash);
}

std::string PieceFile(const std::string& genDir, size_t piece) {
    char name[16];
    std::snprintf(name, sizeof name, "%02zu.reg", piece);
    return genDir + "/registry/" + name;
}

std::string CacheFile(const std::string& genDir, size_t piece) {
    char name[32];
    std::snprintf(name, sizeof name, "registry-%02zu.bin", piece);
    return genDir + "/cache/" + name;
}

// False when there is no such file.
bool LoadFile(const std::string& path, size_t piece, bool required) {
    bool found = false;
    const MappedFile file(path, found);
    if (!found) {
        if (required) {
            throw std::runtime_error("cannot read " + path);
        }
        return false;
    }
    Changes& c = Pending();
    // A key out of its place (a whole registry in registry.reg, or a hand-edited piece) is
    // kept, and the next save writes every piece anew so that each key lands in one place.
    auto check = [&c, piece](std::string_view keyPath) {
        if (PieceOfPath(keyPath) != piece) {
            c.everything = true;
        }
    };
    RegFileResult result = LoadRegFileInto(file.bytes(), kHklmName, Hklm(), check);
    if (!result.ok) {
        throw std::runtime_error(path + ":" + std::to_string(result.line) + ": " + result.message);
    }
    return true;
}

void LoadHklm(const std::string& genDir) {
    ResetRegistry();
    Changes& c = Pending();
    c.everything = true;
    if (genDir.empty()) {
        return;  // nothing saved yet: the first save writes every piece
    }
    c.loading = true;
    ForgetChanges();
    try {
        // A machine that never wrote its registry has an empty HKLM.
        LoadFile(genDir + "/registry.reg", kPieces, false);
        for (size_t piece = 0; piece < kPieces; ++piece) {
            const std::string path = PieceFile(genDir, piece);
            if (!LoadRegistryCache(CacheFile(genDir, piece), path, Hklm()) &&
                LoadFile(path, piece, false)) {
                c.uncached.set(piece);
            }
        }
    } catch (...) {
        c.loading = false;
        throw;  // the run ends, and the half-read tree with it
    }
    c.loading = false;
}

// The tops of the deeper subtrees, by piece, for the pieces to be written.
std::vector<std::vector<ExportTop>> DeepTops(const std::bitset<kPieces>& wanted) {
    std::vector<std::vector<ExportTop>> tops(kPieces);
    const RegKey* chain[kSpineDepth + 1];
    std::string names[kSpineDepth + 1];
    // Depth-first down to the fifth level, in sorted order, so each piece lists its tops
    // in the order an export of the whole tree would.
    struct Step {
        const RegKey* key;
        size_t depth;
    };
    std::vector<Step> stack;
    const RegKey& hklm = Hklm();
    for (auto it = hklm.subkeys.rbegin(); it != hklm.subkeys.rend(); ++it) {
        stack.push_back({it->get(), 1});
    }
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        chain[step.depth - 1] = step.key;
        names[step.depth - 1] = (step.depth == 1 ? std::string(kHklmName) : names[step.depth - 2]) +
                                "\\" + step.key->name;
        if (step.depth == kSpineDepth + 1) {
            const size_t piece = PieceOfChain(chain);
            if (wanted.test(piece)) {
                tops[piece].push_back({step.key, names[step.depth - 1]});
            }
            continue;
        }
        for (auto it = step.key->subkeys.rbegin(); it != step.key->subkeys.rend(); ++it) {
            stack.push_back({it->get(), step.depth + 1});
        }
    }
    return tops;
}

void SaveHklm(const std::string& oldGen, const std::string& newGen) {
    Changes& c = Pending();
    const bool everything = c.everything || oldGen.empty();
    if (everything || c.spine) {
        ReplaceFileContent(newGen + "/registry.reg",
                           ExportRegTrees({{&Hklm(), kHklmName}}, kSpineDepth));
    }
    // A piece read from its text is written again with its cache; its text comes out as it was
    // unless a hand edited it.
    std::bitset<kPieces> wanted = c.pieces | c.uncached;
    if (everything) {
        wanted.set();
    }
    if (wanted.any()) {
        fs::create_directories(newGen + "/registry");
        fs::create_directories(newGen + "/cache");
        const auto tops = DeepTops(wanted);
        for (size_t piece = 0; piece < kPieces; ++piece) {
            if (!wanted.test(piece)) {
                continue;  // the old generation's file, linked, stays as it is
            }
            const std::string path = PieceFile(newGen, piece);
            const std::string cache = CacheFile(newGen, piece);
            if (tops[piece].empty()) {
                std::error_code ec;
                fs::remove(path, ec);
                fs::remove(cache, ec);
            } else {
                // The text first: a cache never stands beside text it was not made from.
                const std::string text = ExportRegTrees(tops[piece]);
                ReplaceFileContent(path, text);
                ReplaceFileContent(cache, RegistryCacheBytes(tops[piece], text));
            }
        }
        SyncPath(newGen + "/registry", true);
        SyncPath(newGen + "/cache", true);
    }
    ForgetChanges();
}

const bool registered = [] {
    RegisterImagePart({"registry", LoadHklm, SaveHklm});
    return true;
}();

}  // namespace

void NoteRegistryChange(const RegKey& key, bool subtreeRemoved) {
    Changes& c = Pending();
    if (c.loading) {
        return;
    }
    // The chain of ancestors at depths 1..5 (the key's own depth may be more).
    size_t depth = 0;
    const RegKey* top = &key;
    for (; top->parent != nullptr; top = top->parent) {
        ++depth;
    }
    if (!IsHklmRoot(*top)) {
        return;  // HKCU and scratch trees are no part of the image
    }
    MarkDirty("registry");
    if (depth <= kSpineDepth) {
        c.spine = true;
        if (subtreeRemoved) {
            c.everything = true;  // its subtree may reach into every piece
        }
        return;
    }
    const RegKey* chain[kSpineDepth + 1];
    const RegKey* k = &key;
    for (size_t d = depth; d > kSpineDepth + 1; --d) {
        k = k->parent;
    }
    for (size_t i = kSpineDepth + 1; i > 0; --i) {
        chain[i - 1] = k;
        k = k->parent;
    }
    c.pieces.set(PieceOfChain(chain));
}

}  // namespace sim

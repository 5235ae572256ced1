// .reg files: the text regedit and `reg export` write and `regedit /s` imports.
//
// Reading takes "Windows Registry Editor Version 5.00" and the older ANSI "REGEDIT4", in
// UTF-16LE with a byte-order mark, UTF-8 or ANSI, with CR LF or LF line ends. A file is parsed
// completely into edits before anything is applied, so a malformed file changes nothing.
// Writing produces exactly what regedit writes: UTF-16LE with a byte-order mark, CR LF.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "registry_tree.h"

namespace sim {

struct RegEdit {
    enum class Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue };
    Kind kind = Kind::kOpenKey;
    // Keys: the root's full name (for example "HKEY_LOCAL_MACHINE") and the path below it.
    // Values belong to the key of the last kOpenKey edit before them.
    std::string root;
    std::string path;
    std::string name;  // value name ("" for the default value)
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    size_t line = 0;  // where the edit starts in the file, for messages
};

struct RegFileResult {
    bool ok = false;
    size_t line = 0;      // the line at fault (1-based; 0 when not about one line)
    std::string message;  // what is wrong, for people
    std::vector<RegEdit> edits;
};

// Parses the bytes of a .reg file.
RegFileResult ParseRegFile(std::string_view bytes);

// Parses the bytes of a .reg file straight into `root`, which stands for the root `rootName`
// (for example "HKEY_LOCAL_MACHINE"); a key of any other root fails the parse. Faster than
// parsing and then applying, for loading a whole tree; on failure `root` holds part of the
// file, so give it a tree that is thrown away then.
// `keyRead`, when given, sees the path (below the root) of every key line.
RegFileResult LoadRegFileInto(std::string_view bytes, const char* rootName, RegKey& root,
                              const std::function<void(std::string_view path)>& keyRead = {});

// Maps a root's full name to the tree it stands for (null: not available here).
using RegRootResolver = std::function<RegKey*(const std::string& root)>;
// The machine's roots: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, and HKEY_CLASSES_ROOT as
// HKLM\Software\Classes.
RegKey* MachineRoot(const std::string& root);

// Applies parsed edits; fails (changing nothing) when an edit names a root not available.
RegFileResult ApplyRegEdits(const std::vector<RegEdit>& edits,
                            const RegRootResolver& roots = MachineRoot);
// Parses and applies in one step.
RegFileResult ImportRegFile(std::string_view bytes, const RegRootResolver& roots = MachineRoot);

// The regedit export of `key` and its whole subtree, `fullName` being the key's name as the
// brackets show it (for example "HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum"); the
// result is the file's bytes.
std::string ExportRegFile(const RegKey& key, std::string_view fullName);

// One file holding the exports of several subtrees, one after the other, each top named in
// full. Below each top the walk stops `depthLimit` levels down (the keys there are written,
// their subkeys are not).
struct ExportTop {
    const RegKey* key;
    std::string fullName;
};
std::string ExportRegTrees(const std::vector<ExportTop>& tops, size_t depthLimit = SIZE_MAX);

}  // namespace sim

// The simulated machine's registry as plain data: keys with typed values, in the shape the
// configuration manager keeps them. Other areas of sim (device tree, driver store, tools) read
// and write these trees directly; the Reg* functions of registry.cpp are the Win32 door to them.
//
// Names are UTF-8 and keep the case they were created with; lookups ignore the case of ASCII
// and Latin-1 letters, as the registry's upcase table does.
// String data is stored as Windows stores it: UTF-16LE bytes with their terminator.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

#include "simwin/base.h"
#include "simwin/registry.h"

namespace sim {

struct RegValue {
    std::string name;  // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

// A number never handed out twice in a process (the first is 1).
uint64_t NextKeyRevision();

struct RegKey {
    std::string name;
    std::string folded;  // the name upper-cased: the sort and lookup key
    RegKey* parent = nullptr;
    bool deleted = false;  // open handles then fail with ERROR_KEY_DELETED
    // Moves with every change of the key's values, and no two keys, nor two states of one key,
    // share it: what a reader derived from the values still holds while it stays.
    uint64_t revision = NextKeyRevision();
    std::vector<RegValue> values;                  // in creation order
    std::vector<std::shared_ptr<RegKey>> subkeys;  // sorted by `folded`
};

// The roots. Hklm() is the part of the machine saved in registry.reg; Hkcu() lives for the
// process only.
RegKey& Hklm();
RegKey& Hkcu();
// Whether `key` is the root of HKLM (without loading the machine).
bool IsHklmRoot(const RegKey& key);
// Drops every key of both roots (handles still open on them see ERROR_KEY_DELETED).
void ResetRegistry();

// Upper-cases ASCII and Latin-1 letters: the registry's comparison rule for names.
std::string FoldName(std::string_view name);
// Whether two names are the same name under that rule.

// Children: lookup O(log N), index access O(1).
RegKey* FindSubkey(const RegKey& key, std::string_view name);
RegKey& AddSubkey(RegKey& key, std::string_view name);  // the existing one, or a new one
// Detaches the child and marks it and everything below it deleted; false when absent.
bool RemoveSubkey(RegKey& key, std::string_view name);
// The owning pointer of a key in a tree (its parent's, or the root's own); null if detached.
std::shared_ptr<RegKey> ShareKey(const RegKey& key);

// Paths are `\`-separated below `root`; empty components are ignored.
RegKey* FindKey(RegKey& root, std::string_view path);
RegKey& CreateKey(RegKey& root, std::string_view path);
bool DeleteKeyTree(RegKey& root, std::string_view path);
// The full path of a key from its root, for example "SYSTEM\CurrentControlSet".
std::string KeyPath(const RegKey& key);

// Values keep their position when replaced; a new one goes last.
RegValue* FindValue(RegKey& key, std::string_view name);
const RegValue* FindValue(const RegKey& key, std::string_view name);
void SetValue(RegKey& key, std::string_view name, DWORD type, std::vector<uint8_t> data);
bool RemoveValue(RegKey& key, std::string_view name);

// Typed helpers over UTF-8 text (REG_SZ / REG_EXPAND_SZ / REG_MULTI_SZ / REG_DWORD).
void SetStringValue(RegKey& key, std::string_view name, std::string_view text, DWORD type = REG_SZ);
void SetMultiStringValue(RegKey& key, std::string_view name,
                         const std::vector<std::string>& strings);
void SetDwordValue(RegKey& key, std::string_view name, DWORD number);
// Each gives nothing when the value is missing or has another type or shape.
std::optional<std::string> GetStringValue(const RegKey& key, std::string_view name);
std::optional<std::vector<std::string>> GetMultiStringValue(const RegKey& key,
                                                            std::string_view name);
std::optional<DWORD> GetDwordValue(const RegKey& key, std::string_view name);

// String data as stored: the UTF-16LE bytes of `text` followed by a terminator.
std::vector<uint8_t> StringData(std::string_view utf8);
std::u16string Utf16FromBytes(const std::vector<uint8_t>& data);

}  // namespace sim

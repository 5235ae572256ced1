// The configuration-store tests' words for the framework's key: records and map entries that
// must exist (asserted), and what is left of them afterwards.
#pragma once
#include <string>
#include <vector>

#include "setup/setup_machine.h"
#include "tools/machine_builder.h"

namespace config_test {

using tools::DwordValue;
using tools::StringValue;

inline const char* const kRoot = tools::kFrameworkServiceKey;

inline void Record(unsigned number, const std::vector<tools::RecordValue>& values) {
    ASSERT_TRUE(tools::AddConfigurationRecord(number, values)) << number;
}

inline void MapValue(unsigned number) {
    ASSERT_TRUE(tools::AddMapEntry(number, number + 100)) << number;
}

// Creates HKLM\<root>\<path> (any depth).
inline void Key(const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, (std::string(kRoot) + "\\" + path).c_str(), &key),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

inline bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    const bool exists =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kRoot) + "\\" + path).c_str(), 0, KEY_READ,
                      &key) == ERROR_SUCCESS;
    if (exists) {
        RegCloseKey(key);
    }
    return exists;
}

inline bool MapValueExists(unsigned number) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kRoot) + "\\MapEntry").c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool exists = RegQueryValueExA(key, std::to_string(number).c_str(), nullptr, nullptr,
                                         nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

// The names of the root's subkeys in enumeration order.
inline std::vector<std::string> Subkeys() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    char name[MAX_PATH];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, MAX_PATH) == ERROR_SUCCESS; ++i) {
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

}  // namespace config_test

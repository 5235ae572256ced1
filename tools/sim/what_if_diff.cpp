// Snapshots of a machine image and the readable difference between two of them: registry keys
// and values, device nodes, OEM INF copies and files, each change on a line of its own.
#include <cstdio>
#include <functional>
#include <set>

#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "registry_tree.h"
#include "what_if.h"

namespace tools {
namespace {

constexpr size_t kShownBytes = 32;  // longer binary data is shown cut, with its size

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string HexText(const sim::RegValue& value) {
    char head[40];
    std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(value.type));
    std::string out = value.type == REG_BINARY ? "hex:" : head;
    for (size_t i = 0; i < value.data.size() && i < kShownBytes; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", value.data[i]);
        out += byte;
    }
    if (value.data.size() > kShownBytes) {
        out += ",... (" + std::to_string(value.data.size()) + " bytes)";
    }
    return out;
}

std::string ValueText(const sim::RegKey& key, const sim::RegValue& value) {
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        if (auto text = sim::GetStringValue(key, value.name)) {
            return (value.type == REG_SZ ? "" : "expand:") + Quoted(*text);
        }
    } else if (value.type == REG_DWORD) {
        if (auto number = sim::GetDwordValue(key, value.name)) {
            char text[24];
            std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(*number));
            return text;
        }
    } else if (value.type == REG_MULTI_SZ) {
        if (auto list = sim::GetMultiStringValue(key, value.name)) {
            std::string out = "multi:";
            for (size_t i = 0; i < list->size(); ++i) {
                out += (i == 0 ? "" : ",") + Quoted((*list)[i]);
            }
            return out;
        }
    }
    return HexText(value);
}

void AddRegistry(const sim::RegKey& key, const std::string& path, MachineSnapshot& out) {
    out.registryKeys.insert(path);
    for (const sim::RegValue& value : key.values) {
        out.registryValues[path + "\n" + value.name] = ValueText(key, value);
    }
    for (const auto& child : key.subkeys) {
        AddRegistry(*child, path + "\\" + child->name, out);
    }
}

std::string Digest(const std::string& bytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%zu bytes, digest %016zx", bytes.size(),
                  std::hash<std::string>{}(bytes));
    return text;
}

void AddFiles(const std::string& folder, MachineSnapshot& out) {
    for (const sim::files::EntryInfo& entry : sim::files::ListDirectory(folder)) {
        const std::string path = folder + (folder.back() == '\\' ? "" : "\\") + entry.name;
        if (entry.directory) {
            AddFiles(path, out);
            continue;
        }
        std::string bytes;
        sim::files::ReadWholeFile(path, bytes);
        out.files[path] = Digest(bytes);
    }
}

const char* PresenceText(sim::Presence presence) {
    switch (presence) {
        case sim::Presence::Present:
            return "present";
        case sim::Presence::Phantom:
            return "absent";
        case sim::Presence::Arriving:
            return "arriving";
    }
    return "?";
}

// Lines for the entries of two maps: added, removed and changed ones, in key order.
void DiffMaps(const std::map<std::string, std::string>& before,
              const std::map<std::string, std::string>& after,
              const std::function<std::string(const std::string&)>& name,
              std::vector<std::string>& out) {
    for (const auto& [key, text] : after) {
        auto old = before.find(key);
        if (old == before.end()) {
            out.push_back("+ " + name(key) + ": " + text);
        } else if (old->second != text) {
            out.push_back("~ " + name(key) + ": " + old->second + " -> " + text);
        }
    }
    for (const auto& [key, text] : before) {
        if (after.count(key) == 0) {
            out.push_back("- " + name(key) + ": " + text);
        }
    }
}

std::string ValueName(const std::string& key) {
    const size_t cut = key.find('\n');
    const std::string name = key.substr(cut + 1);
    return "[" + key.substr(0, cut) + "] " + (name.empty() ? "@" : Quoted(name));
}

size_t ValueCount(const MachineSnapshot& snapshot, const std::string& key) {
    size_t count = 0;
    for (auto it = snapshot.registryValues.lower_bound(key + "\n");
         it != snapshot.registryValues.end() &&
         it->first.compare(0, key.size() + 1, key + "\n") == 0;
         ++it) {
        ++count;
    }
    return count;
}

// The keys of `from` that `other` lacks, each with the number of values it holds.
void AddKeyLines(const MachineSnapshot& from, const MachineSnapshot& other, const char* mark,
                 std::set<std::string>& whole, std::vector<std::string>& out) {
    for (const std::string& key : from.registryKeys) {
        if (other.registryKeys.count(key) == 0) {
            const size_t count = ValueCount(from, key);
            out.push_back(mark + key + "]" +
                          (count == 0   ? ""
                           : count == 1 ? " (1 value)"
                                        : " (" + std::to_string(count) + " values)"));
            whole.insert(key);
        }
    }
}

std::map<std::string, std::string> Outside(const std::map<std::string, std::string>& values,
                                           const std::set<std::string>& keys) {
    std::map<std::string, std::string> out;
    for (const auto& [name, text] : values) {
        if (keys.count(name.substr(0, name.find('\n'))) == 0) {
            out.emplace(name, text);
        }
    }
    return out;
}

}  // namespace

bool MachineDiff::Empty() const {
    return registry.empty() && devices.empty() && driverStore.empty() && files.empty();
}

MachineSnapshot TakeSnapshot(const std::string& imageDir) {
    MachineSnapshot snapshot;
    sim::OpenImage(imageDir);
    AddRegistry(sim::Hklm(), "HKEY_LOCAL_MACHINE", snapshot);
    for (const sim::DeviceNode* node : sim::AllDevices()) {
        snapshot.devices[node->instanceId] = std::string(PresenceText(node->presence)) +
                                             ", problem " + std::to_string(node->problem);
    }
    for (const std::string& name : sim::store::OemCopies()) {
        std::string bytes;
        sim::files::ReadWholeFile(sim::store::JoinPath(sim::store::kInfFolder, name), bytes);
        snapshot.driverStore[name] = Digest(bytes);
    }
    AddFiles("C:\\", snapshot);
    sim::ResetToEmpty();  // lets the image go without saving anything
    return snapshot;
}

MachineDiff DiffSnapshots(const MachineSnapshot& before, const MachineSnapshot& after) {
    MachineDiff diff;
    // A key that came or went is one line with its value count: its values are not repeated.
    std::set<std::string> whole;
    AddKeyLines(after, before, "+ [", whole, diff.registry);
    AddKeyLines(before, after, "- [", whole, diff.registry);
    DiffMaps(Outside(before.registryValues, whole), Outside(after.registryValues, whole), ValueName,
             diff.registry);
    const auto same = [](const std::string& key) { return key; };
    DiffMaps(before.devices, after.devices, same, diff.devices);
    DiffMaps(before.driverStore, after.driverStore, same, diff.driverStore);
    DiffMaps(before.files, after.files, same, diff.files);
    return diff;
}

}  // namespace tools

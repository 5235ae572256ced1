// Snapshots of a machine image and the readable difference between two of them: registry keys
// and values, device nodes, OEM INF copies, files, certificate stores, processes and windows,
// each change on a line of its own with what it holds.
#include <cstdio>
#include <functional>
#include <set>

#include "crypt32_internal.h"
#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "registry_tree.h"
#include "sim/processes.h"
#include "simwin/wincrypt.h"
#include "what_if.h"

namespace tools {
namespace {

constexpr size_t kTextShown = 64 * 1024;  // a file's content is shown when text and smaller

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
    // Every byte: a change anywhere in the data must show, and be seen.
    for (size_t i = 0; i < value.data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", value.data[i]);
        out += byte;
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

// Text that a person can read as lines: no NUL and no other control character than tab, line
// feed, carriage return and form feed.
bool IsText(const std::string& bytes) {
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') {
            return false;
        }
    }
    return true;
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
        if (bytes.size() < kTextShown && IsText(bytes)) {
            out.fileTexts[path] = bytes;
        }
    }
}

std::string HexBytes(const BYTE* bytes, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", bytes[i]);
        out += byte;
    }
    return out;
}

// Each certificate by its store and serial number (its digest when it does not parse).
void AddCertificates(MachineSnapshot& out) {
    for (const sim::SystemStore& store : sim::SystemStores()) {
        for (const std::vector<BYTE>& der : store.certificates) {
            const std::string bytes(der.begin(), der.end());
            sim::ParsedCertificate parsed;
            const bool ok = sim::ParseCertificate(der.data(), der.size(), parsed) == 0;
            const std::string id =
                ok ? "serial " + HexBytes(der.data() + parsed.serial.start, parsed.serial.length)
                   : Digest(bytes);
            out.certificates[store.location + "\\" + store.name + ": " + id] = Digest(bytes);
        }
    }
}

std::string HandleText(HWND handle) {
    char text[24];
    std::snprintf(text, sizeof text, "%#llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return text;
}

void AddProcessesAndWindows(MachineSnapshot& out) {
    for (const sim::ProcessRecord& process : sim::RunningProcesses()) {
        out.processes["pid " + std::to_string(process.pid)] =
            process.image + ", command line " + Quoted(process.commandLine);
    }
    for (const sim::WindowRecord& window : sim::Windows()) {
        out.windows["window " + HandleText(window.handle)] =
            window.className + " " + Quoted(window.title) + ", process " +
            std::to_string(window.ownerPid) +
            (window.parent != nullptr ? ", child of " + HandleText(window.parent) : "");
    }
    size_t n = 0;
    for (const sim::TrayIcon& icon : sim::TrayIcons()) {
        out.windows["tray icon " + std::to_string(++n)] =
            Quoted(icon.tip) + ", process " + std::to_string(icon.ownerPid);
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

using Details = std::function<std::vector<std::string>(const std::string& key)>;

// The changes between the entries of two maps: added, changed and removed ones, in key order;
// `details` gives what an added or changed entry holds now.
void DiffMaps(const std::map<std::string, std::string>& before,
              const std::map<std::string, std::string>& after,
              const std::function<std::string(const std::string&)>& name, std::vector<Change>& out,
              const Details& details = {}) {
    for (const auto& [key, text] : after) {
        auto old = before.find(key);
        if (old == before.end()) {
            out.push_back({"+ " + name(key) + ": " + text,
                           details ? details(key) : std::vector<std::string>()});
        } else if (old->second != text) {
            out.push_back({"~ " + name(key) + ": " + old->second + " -> " + text,
                           details ? details(key) : std::vector<std::string>()});
        }
    }
    for (const auto& [key, text] : before) {
        if (after.count(key) == 0) {
            out.push_back({"- " + name(key) + ": " + text, {}});
        }
    }
}

// The lines of a text, without their line ends.
std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string ValueName(const std::string& key) {
    const size_t cut = key.find('\n');
    const std::string name = key.substr(cut + 1);
    return "[" + key.substr(0, cut) + "] " + (name.empty() ? "@" : Quoted(name));
}

// The values of `key` in the snapshot, each as `"name": data`.
std::vector<std::string> KeyValues(const MachineSnapshot& snapshot, const std::string& key) {
    std::vector<std::string> values;
    for (auto it = snapshot.registryValues.lower_bound(key + "\n");
         it != snapshot.registryValues.end() &&
         it->first.compare(0, key.size() + 1, key + "\n") == 0;
         ++it) {
        const std::string name = it->first.substr(key.size() + 1);
        values.push_back((name.empty() ? "@" : Quoted(name)) + ": " + it->second);
    }
    return values;
}

// The keys of `from` that `other` lacks, each with the number of values it holds; an added
// key also lists them, since they are what the change brings.
void AddKeyLines(const MachineSnapshot& from, const MachineSnapshot& other, const char* mark,
                 bool listValues, std::set<std::string>& whole, std::vector<Change>& out) {
    for (const std::string& key : from.registryKeys) {
        if (other.registryKeys.count(key) == 0) {
            std::vector<std::string> values = KeyValues(from, key);
            const size_t count = values.size();
            out.push_back({mark + key + "]" +
                               (count == 0   ? ""
                                : count == 1 ? " (1 value)"
                                             : " (" + std::to_string(count) + " values)"),
                           listValues ? std::move(values) : std::vector<std::string>()});
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
    return registry.empty() && devices.empty() && driverStore.empty() && files.empty() &&
           certificates.empty() && processes.empty() && windows.empty();
}

std::vector<std::string> Lines(const std::vector<Change>& changes) {
    std::vector<std::string> lines;
    for (const Change& change : changes) {
        lines.push_back(change.line);
    }
    return lines;
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
    AddCertificates(snapshot);
    AddProcessesAndWindows(snapshot);
    sim::ResetToEmpty();  // lets the image go without saving anything
    return snapshot;
}

MachineDiff DiffSnapshots(const MachineSnapshot& before, const MachineSnapshot& after) {
    MachineDiff diff;
    // A key that came or went is one line with its value count, the values of a new key below
    // it; they are not repeated as values of their own.
    std::set<std::string> whole;
    AddKeyLines(after, before, "+ [", true, whole, diff.registry);
    AddKeyLines(before, after, "- [", false, whole, diff.registry);
    DiffMaps(Outside(before.registryValues, whole), Outside(after.registryValues, whole), ValueName,
             diff.registry);
    const auto same = [](const std::string& key) { return key; };
    DiffMaps(before.devices, after.devices, same, diff.devices);
    DiffMaps(before.driverStore, after.driverStore, same, diff.driverStore);
    DiffMaps(before.files, after.files, same, diff.files, [&](const std::string& path) {
        auto text = after.fileTexts.find(path);
        return text == after.fileTexts.end() ? std::vector<std::string>() : TextLines(text->second);
    });
    DiffMaps(before.certificates, after.certificates, same, diff.certificates);
    DiffMaps(before.processes, after.processes, same, diff.processes);
    DiffMaps(before.windows, after.windows, same, diff.windows);
    return diff;
}

}  // namespace tools

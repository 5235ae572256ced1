// Arrival and re-enumeration of device nodes, the device installer's hook, and the text
// forms the tree stores (GUIDs, node properties in machine.json).
#include <cstdio>

#include "devices_internal.h"
#include "sim/processes.h"

namespace sim {
namespace {

InstallHandler& Handler() {
    static auto* handler = new InstallHandler;
    return *handler;
}

DWORD ConfigFlags(const DeviceNode& node) {
    RegKey* key = DeviceKey(node);
    return key == nullptr ? 0 : GetDwordValue(*key, "ConfigFlags").value_or(0);
}

void SetConfigFlags(DeviceNode& node, DWORD flags) {
    // Flags that stay as they are leave the image unchanged: a retry that fails again
    // writes nothing.
    RegKey* key = DeviceKey(node);
    if (key != nullptr && GetDwordValue(*key, "ConfigFlags") != flags) {
        SetDwordValue(*key, "ConfigFlags", flags);
        ChangedRegistry();
    }
}

bool HasDriver(const DeviceNode& node) {
    RegKey* key = DeviceKey(node);
    if (key == nullptr) {
        return false;
    }
    std::optional<std::string> driver = GetStringValue(*key, "Driver");
    return driver && !driver->empty();
}

// The device installer's turn: success clears the install flags and starts the node (a
// disabled one stays disabled); failure leaves the node as Windows does for a device without a
// driver (Code 28).
void Install(DeviceNode& node) {
    const bool installed = Handler() && Handler()(node);
    DWORD flags = ConfigFlags(node) & ~(kConfigFlagReinstall | kConfigFlagFailedInstall);
    const ULONG problem = installed ? StartedProblem(node) : CM_PROB_FAILED_INSTALL;
    if (!installed) {
        flags |= kConfigFlagFailedInstall;
    }
    SetConfigFlags(node, flags);
    if (node.problem != problem) {
        node.problem = problem;
        ChangedDevices();
    }
}

bool NeedsRetry(const DeviceNode& node) {
    return node.presence == Presence::Present &&
           (node.problem == CM_PROB_FAILED_INSTALL || node.problem == CM_PROB_REINSTALL ||
            (ConfigFlags(node) & kConfigFlagReinstall) != 0);
}

void Reenumerate(DeviceNode& node, bool retryInstall, unsigned& changed) {
    // Children in creation order; an arrival may install a driver but never adds siblings,
    // so the list is stable while we walk it.
    for (DeviceNode* child : node.children) {
        if (child->presence == Presence::Arriving) {
            Arrive(*child);
            ++changed;
        } else if (retryInstall && NeedsRetry(*child)) {
            Install(*child);
            ++changed;
        }
        if (child->presence == Presence::Present) {
            Reenumerate(*child, retryInstall, changed);
        }
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHex(std::string_view text, size_t digits, uint64_t& out) {
    out = 0;
    for (size_t i = 0; i < digits; ++i) {
        int d = HexDigit(text[i]);
        if (d < 0) {
            return false;
        }
        out = (out << 4) | static_cast<unsigned>(d);
    }
    return true;
}

nlohmann::json List(const std::vector<std::string>& strings) {
    return nlohmann::json(strings);
}

}  // namespace

void SetInstallHandler(InstallHandler handler) {
    Handler() = std::move(handler);
}

void Arrive(DeviceNode& node) {
    if (node.pending) {
        DeviceSpec spec = std::move(*node.pending);
        node.pending.reset();
        WriteSpecToKey(CreateKey(Hklm(), std::string(kEnumKeyPath) + "\\" + node.instanceId), spec);
        ChangedRegistry();
    }
    node.presence = Presence::Present;
    node.problem = StartedProblem(node);
    ChangedDevices();
    if (!HasDriver(node) || (ConfigFlags(node) & kConfigFlagReinstall) != 0) {
        Install(node);
        // No staged package fits: Windows asks the user through the new-hardware wizard.
        if (node.problem != 0) {
            StartNewHardwareWizard(node.instanceId);
        }
    }
}

unsigned ReenumerateDevices(DeviceNode& from, bool retryInstall) {
    unsigned changed = 0;
    if (from.presence == Presence::Present) {
        ReportAgain(from);
        Reenumerate(from, retryInstall, changed);
    }
    return changed;
}

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::optional<GUID> ParseGuid(std::string_view t) {
    if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' ||
        t[19] != '-' || t[24] != '-') {
        return std::nullopt;
    }
    GUID g{};
    uint64_t v = 0;
    if (!ParseHex(t.substr(1), 8, v))
        return std::nullopt;
    g.Data1 = static_cast<DWORD>(v);
    if (!ParseHex(t.substr(10), 4, v))
        return std::nullopt;
    g.Data2 = static_cast<WORD>(v);
    if (!ParseHex(t.substr(15), 4, v))
        return std::nullopt;
    g.Data3 = static_cast<WORD>(v);
    static const size_t offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(t.substr(offsets[i]), 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    return g;
}

void WriteSpecToKey(RegKey& key, const DeviceSpec& spec) {
    auto text = [&key](const char* name, const std::string& value) {
        if (!value.empty()) {
            SetStringValue(key, name, value);
        }
    };
    if (!spec.hardwareIds.empty()) {
        SetMultiStringValue(key, "HardwareID", spec.hardwareIds);
    }
    if (!spec.compatibleIds.empty()) {
        SetMultiStringValue(key, "CompatibleIDs", spec.compatibleIds);
    }
    text("DeviceDesc", spec.deviceDesc);
    text("ClassGUID", spec.classGuid);
    text("Class", spec.className);
    text("Service", spec.service);
    text("Driver", spec.driver);
    text("LocationInformation", spec.locationInformation);
    if (spec.configFlags) {
        SetDwordValue(key, "ConfigFlags", *spec.configFlags);
    }
}

nlohmann::json SpecToJson(const DeviceSpec& s) {
    nlohmann::json j = {{"hardwareIds", List(s.hardwareIds)},
                        {"compatibleIds", List(s.compatibleIds)},
                        {"classGuid", s.classGuid},
                        {"class", s.className},
                        {"service", s.service},
                        {"driver", s.driver},
                        {"deviceDesc", s.deviceDesc},
                        {"location", s.locationInformation}};
    if (s.configFlags) {
        j["configFlags"] = *s.configFlags;
    }
    return j;
}

DeviceSpec SpecFromJson(const nlohmann::json& j) {
    DeviceSpec s;
    s.hardwareIds = j.value("hardwareIds", std::vector<std::string>());
    s.compatibleIds = j.value("compatibleIds", std::vector<std::string>());
    s.classGuid = j.value("classGuid", std::string());
    s.className = j.value("class", std::string());
    s.service = j.value("service", std::string());
    s.driver = j.value("driver", std::string());
    s.deviceDesc = j.value("deviceDesc", std::string());
    s.locationInformation = j.value("location", std::string());
    if (j.contains("configFlags")) {
        s.configFlags = j["configFlags"].get<DWORD>();
    }
    return s;
}

}  // namespace sim

// boardkit-sim's device commands: plug boards in (present now, or arriving at the next
// re-enumeration), unplug them (the machine then remembers them as absent), remove them, and
// show the device tree as the program will meet it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "devices.h"
#include "registry_tree.h"
#include "sim_commands.h"

namespace tools {
namespace {

using Args = std::vector<std::string>;

int DeviceUsage() {
    std::fprintf(stderr,
                 "usage: boardkit-sim device plug|arrive ID --hwid H [--hwid H2] [--compat C]\n"
                 "         [--class GUID] [--class-name NAME] [--parent ID] [--desc TEXT]\n"
                 "         [--location TEXT | --bus N --slot N] [--service S] [--problem N]\n"
                 "         [--driver-inf oemN.inf]  (no --problem: 28 without a driver, else 0)\n"
                 "       boardkit-sim device unplug ID | device remove ID\n");
    return 2;
}

bool ParseCount(const std::string& text, unsigned long& out) {
    if (text.empty() || text[0] == '-') {
        return false;
    }
    char* end = nullptr;
    out = std::strtoul(text.c_str(), &end, 0);
    return end != nullptr && *end == '\0';
}

// What `plug` and `arrive` were told about the board beyond its node's own properties.
struct PlugRequest {
    sim::DeviceSpec spec;
    std::string bus;
    std::string slot;
    std::string driverInf;
    bool problemGiven = false;
};

bool TakeOption(const std::string& option, const std::string& value, PlugRequest& request) {
    sim::DeviceSpec& spec = request.spec;
    unsigned long number = 0;
    if (option == "--hwid") {
        spec.hardwareIds.push_back(value);
    } else if (option == "--compat") {
        spec.compatibleIds.push_back(value);
    } else if (option == "--class") {
        if (!sim::ParseGuid(value)) {
            return false;
        }
        spec.classGuid = sim::GuidText(*sim::ParseGuid(value));
    } else if (option == "--class-name") {
        spec.className = value;
    } else if (option == "--parent") {
        spec.parentId = value;
    } else if (option == "--location") {
        spec.locationInformation = value;
    } else if (option == "--desc") {
        spec.deviceDesc = value;
    } else if (option == "--service") {
        spec.service = value;
    } else if (option == "--problem" && ParseCount(value, number)) {
        spec.problem = static_cast<ULONG>(number);
        request.problemGiven = true;
    } else if (option == "--bus" && ParseCount(value, number)) {
        request.bus = std::to_string(number);
    } else if (option == "--slot" && ParseCount(value, number)) {
        request.slot = std::to_string(number);
    } else if (option == "--driver-inf") {
        request.driverInf = value;
    } else {
        return false;
    }
    return true;
}

bool ParsePlug(const Args& args, sim::Presence presence, PlugRequest& request) {
    if (args.size() < 2 || args[1].empty() || args[1][0] == '-') {
        return false;
    }
    request.spec.instanceId = args[1];
    request.spec.presence = presence;
    for (size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size() || !TakeOption(args[i], args[i + 1], request)) {
            return false;
        }
    }
    if (request.bus.empty() != request.slot.empty()) {
        return false;
    }
    if (request.spec.locationInformation.empty() && !request.bus.empty()) {
        request.spec.locationInformation =
            "PCI bus " + request.bus + ", device " + request.slot + ", function 0";
    }
    // A board announces itself by its hardware IDs: without one, no bus would report it.
    return !request.spec.hardwareIds.empty();
}

// Gives the node a driver key whose InfPath names the OEM copy, as an installed driver has.
bool AttachDriver(sim::DeviceNode& node, const std::string& oemName) {
    sim::RegKey* key = sim::DriverKey(node);
    if (key == nullptr) {
        key = sim::CreateDriverKey(node);
    }
    if (key == nullptr) {
        return false;
    }
    sim::SetStringValue(*key, "InfPath", oemName);
    return true;
}

int Plug(const Args& args, sim::Presence presence) {
    PlugRequest request;
    if (!ParsePlug(args, presence, request)) {
        return DeviceUsage();
    }
    // A started board without a driver shows Code 28, as after an install that found none.
    if (!request.problemGiven && request.driverInf.empty()) {
        request.spec.problem = CM_PROB_FAILED_INSTALL;
    }
    const sim::DeviceSpec& spec = request.spec;
    // A remembered board plugged in again comes back as the machine remembers it.
    sim::DeviceNode* known = sim::FindDevice(spec.instanceId);
    if (known != nullptr && known->presence == sim::Presence::Phantom) {
        sim::SetPresence(*known, presence);
        return 0;
    }
    if (known != nullptr) {
        std::fprintf(stderr, "boardkit-sim: the machine already has a device %s\n",
                     spec.instanceId.c_str());
        return 1;
    }
    if (!spec.parentId.empty() && sim::FindDevice(spec.parentId) == nullptr) {
        std::fprintf(stderr, "boardkit-sim: no parent device %s\n", spec.parentId.c_str());
        return 1;
    }
    // A driver key lives below the class key, so a driver needs a class, and an arriving
    // board has no Enum key to point at it before it arrives.
    if (!request.driverInf.empty() &&
        (spec.classGuid.empty() || presence == sim::Presence::Arriving)) {
        std::fprintf(stderr, "boardkit-sim: --driver-inf needs --class and a plugged board\n");
        return 1;
    }
    sim::DeviceNode* node = sim::AddDevice(spec);
    if (node == nullptr) {
        std::fprintf(stderr, "boardkit-sim: %s is no valid device instance ID\n",
                     spec.instanceId.c_str());
        return 1;
    }
    if (!request.driverInf.empty() && !AttachDriver(*node, request.driverInf)) {
        sim::RemoveDevice(spec.instanceId);
        std::fprintf(stderr, "boardkit-sim: no driver key could be made for %s\n",
                     spec.instanceId.c_str());
        return 1;
    }
    return 0;
}

int Unplug(const Args& args) {
    if (args.size() != 2) {
        return DeviceUsage();
    }
    sim::DeviceNode* node = sim::FindDevice(args[1]);
    if (node == nullptr) {
        std::fprintf(stderr, "boardkit-sim: no device %s\n", args[1].c_str());
        return 1;
    }
    // An arriving board that never arrived was never seen: unplugged, nothing remembers it.
    if (node->presence == sim::Presence::Arriving && node->pending) {
        sim::RemoveDevice(args[1]);
        return 0;
    }
    sim::SetPresence(*node, sim::Presence::Phantom);
    return 0;
}

int Remove(const Args& args) {
    if (args.size() != 2) {
        return DeviceUsage();
    }
    if (!sim::RemoveDevice(args[1])) {
        std::fprintf(stderr, "boardkit-sim: no device %s\n", args[1].c_str());
        return 1;
    }
    return 0;
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

std::string JoinIds(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : " | ") + id;
    }
    return text;
}

// The node's properties as its Enum key holds them, or as the arriving board will bring them.
sim::DeviceSpec KnownProperties(const sim::DeviceNode& node) {
    if (node.pending) {
        return *node.pending;
    }
    sim::DeviceSpec spec;
    if (const sim::RegKey* key = sim::DeviceKey(node)) {
        spec.hardwareIds = sim::GetMultiStringValue(*key, "HardwareID").value_or(Args{});
        spec.compatibleIds = sim::GetMultiStringValue(*key, "CompatibleIDs").value_or(Args{});
        spec.locationInformation = sim::GetStringValue(*key, "LocationInformation").value_or("");
    }
    return spec;
}

void ShowDevice(sim::DeviceNode& node) {
    std::printf("  %s  %s", node.instanceId.c_str(), PresenceText(node.presence));
    if (node.presence == sim::Presence::Present) {
        std::printf("  problem=%lu", static_cast<unsigned long>(node.problem));
    }
    std::printf("\n");
    const sim::DeviceSpec known = KnownProperties(node);
    std::printf("    hardware IDs: %s\n", JoinIds(known.hardwareIds).c_str());
    if (!known.compatibleIds.empty()) {
        std::printf("    compatible IDs: %s\n", JoinIds(known.compatibleIds).c_str());
    }
    if (!known.locationInformation.empty()) {
        std::printf("    location: %s\n", known.locationInformation.c_str());
    }
    if (node.parent != nullptr && node.parent != &sim::RootDevice()) {
        std::printf("    parent: %s\n", node.parent->instanceId.c_str());
    }
    if (const sim::RegKey* driver = sim::DriverKey(node)) {
        std::printf("    InfPath: %s\n",
                    sim::GetStringValue(*driver, "InfPath").value_or("").c_str());
    }
}

}  // namespace

int DeviceCommand(const Args& args) {
    if (args.empty()) {
        return DeviceUsage();
    }
    if (args[0] == "plug") {
        return Plug(args, sim::Presence::Present);
    }
    if (args[0] == "arrive") {
        return Plug(args, sim::Presence::Arriving);
    }
    if (args[0] == "unplug") {
        return Unplug(args);
    }
    if (args[0] == "remove") {
        return Remove(args);
    }
    return DeviceUsage();
}

void ShowDevices() {
    const std::vector<sim::DeviceNode*> nodes = sim::AllDevices();
    std::printf("devices: %zu\n", nodes.size());
    for (sim::DeviceNode* node : nodes) {
        ShowDevice(*node);
    }
}

}  // namespace tools

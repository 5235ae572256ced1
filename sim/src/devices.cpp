// The device tree's store: nodes indexed by instance ID and DEVINST, kept in creation order,
// with their run-time state in machine.json and their properties in the Enum keys.
#include "devices.h"

#include <cstdio>
#include <memory>
#include <unordered_map>

#include "devices_internal.h"
#include "driver_store.h"
#include "machine.h"
#include "resources_alloc.h"

namespace sim {

const char* const kRootInstanceId = "HTREE\\ROOT\\0";

namespace {

struct ReportedHardware {
    DeviceSpec spec;
    std::vector<std::string> attached;
};

struct Store {
    std::vector<std::unique_ptr<DeviceNode>> nodes;     // creation order, root excluded
    std::unordered_map<std::string, DeviceNode*> byId;  // folded instance ID
    std::unordered_map<DEVINST, DeviceNode*> byDevInst;
    DeviceNode root;
    // Hardware whose node was removed while it stayed plugged in: its bus reports it again at
    // the next enumeration of its parent, with the devices plugged into it (`attached`).
    std::vector<ReportedHardware> reported;
    bool stale = true;  // rebuilt on first use after the image was loaded
    nlohmann::json saved;
};

// DEVINST values are never reused within a process, so a stale handle cannot reach a
// different node after a removal or a reload.
DEVINST nextDevInst = 1;

Store& Raw() {
    static auto* store = new Store;
    return *store;
}

const char* PresenceName(Presence p) {
    switch (p) {
        case Presence::Present:
            return "present";
        case Presence::Phantom:
            return "phantom";
        case Presence::Arriving:
            return "arriving";
    }
    return "present";
}

Presence PresenceFromName(const std::string& name) {
    if (name == "phantom") {
        return Presence::Phantom;
    }
    return name == "arriving" ? Presence::Arriving : Presence::Present;
}

// `folded` is FoldName(id), when the caller has it already.
DeviceNode* Insert(Store& s, const std::string& id, DeviceNode* parent,
                   std::string folded = std::string()) {
    auto node = std::make_unique<DeviceNode>();
    node->instanceId = id;
    node->devInst = nextDevInst++;
    node->parent = parent;
    DeviceNode* raw = node.get();
    if (parent != nullptr) {
        parent->children.push_back(raw);
    }
    s.byId.emplace(folded.empty() ? FoldName(id) : std::move(folded), raw);
    s.byDevInst.emplace(raw->devInst, raw);
    s.nodes.push_back(std::move(node));
    return raw;
}

void ResetRoot(Store& s) {
    s.root = DeviceNode{};
    s.root.instanceId = kRootInstanceId;
    s.root.devInst = nextDevInst++;
    s.byDevInst.emplace(s.root.devInst, &s.root);
}

// One saved node: [id, presence, parent, problem] with an optional fifth element, the pending
// change. Images written before this form hold an object per node with the same fields named.
struct SavedNode {
    std::string id;
    std::string presence = "present";
    std::string parent;
    unsigned problem = 0;
    const nlohmann::json* pending = nullptr;
};

SavedNode ReadSavedNode(const nlohmann::json& j) {
    SavedNode node;
    if (j.is_array()) {
        node.id = j.at(0).get<std::string>();
        node.presence = j.at(1).get<std::string>();
        node.parent = j.at(2).get<std::string>();
        node.problem = j.at(3).get<unsigned>();
        if (j.size() > 4) {
            node.pending = &j.at(4);
        }
        return node;
    }
    node.id = j.at("id").get<std::string>();
    node.presence = j.value("presence", std::string("present"));
    node.parent = j.value("parent", std::string());
    node.problem = j.value("problem", 0u);
    auto pending = j.find("pending");
    if (pending != j.end()) {
        node.pending = &*pending;
    }
    return node;
}

void LoadSavedNodes(Store& s) {
    if (!s.saved.is_object() || !s.saved.contains("nodes")) {
        return;
    }
    const nlohmann::json& nodes = s.saved["nodes"];
    // Sized once: a machine holds up to tens of thousands of nodes.
    s.nodes.reserve(s.nodes.size() + nodes.size());
    s.byId.reserve(s.byId.size() + nodes.size());
    s.byDevInst.reserve(s.byDevInst.size() + nodes.size());
    // A parent may follow its children (a board that was removed and came back is a new
    // node), so the nodes are linked once all of them exist.
    std::vector<std::pair<DeviceNode*, std::string>> parents;
    parents.reserve(nodes.size());
    for (const auto& j : nodes) {
        const SavedNode saved = ReadSavedNode(j);
        std::string folded = FoldName(saved.id);
        if (s.byId.count(folded) != 0) {
            continue;
        }
        DeviceNode* node = Insert(s, saved.id, nullptr, std::move(folded));
        node->presence = PresenceFromName(saved.presence);
        node->problem = saved.problem;
        if (saved.pending != nullptr) {
            node->pending = SpecFromJson(*saved.pending);
        }
        parents.emplace_back(node, saved.parent);
    }
    for (auto& [node, parentId] : parents) {
        DeviceNode* parent = &s.root;
        if (!parentId.empty()) {
            auto parentIt = s.byId.find(FoldName(parentId));
            if (parentIt != s.byId.end()) {
                parent = parentIt->second;
            }
            // A damaged image must not make a node its own ancestor.
            for (const DeviceNode* up = parent; up != nullptr; up = up->parent) {
                if (up == node) {
                    parent = &s.root;
                    break;
                }
            }
        }
        node->parent = parent;
        parent->children.push_back(node);
    }
}

// Enum keys without run-time state (a registry imported from another machine, or boards
// seen in an earlier boot) are remembered boards: phantoms below the root. The walk also hands
// every known node its key.
void AdoptRememberedNodes(Store& s) {
    RegKey* enumKey = FindKey(Hklm(), kEnumKeyPath);
    if (enumKey == nullptr) {
        return;
    }
    const std::string rootFolded = FoldName(kRootInstanceId);
    for (const auto& bus : enumKey->subkeys) {
        for (const auto& device : bus->subkeys) {
            for (const auto& instance : device->subkeys) {
                // Folding keeps every byte in place, so the folded names joined are the folded ID.
                std::string folded = bus->folded + "\\" + device->folded + "\\" + instance->folded;
                // A node that has its key keeps it, so that its first look-up is spared.
                if (auto known = s.byId.find(folded); known != s.byId.end()) {
                    known->second->enumKey = instance;
                    continue;
                }
                if (folded == rootFolded) {
                    continue;
                }
                const std::string id = bus->name + "\\" + device->name + "\\" + instance->name;
                Insert(s, id, &s.root, std::move(folded))->presence = Presence::Phantom;
            }
        }
    }
}

void LoadReported(Store& s) {
    s.reported.clear();
    if (!s.saved.is_object() || !s.saved.contains("reported")) {
        return;
    }
    for (const auto& j : s.saved["reported"]) {
        ReportedHardware hardware;
        hardware.spec = SpecFromJson(j.at(2));
        hardware.spec.instanceId = j.at(0).get<std::string>();
        hardware.spec.parentId = j.at(1).get<std::string>();
        hardware.spec.presence = Presence::Arriving;
        hardware.attached = j.at(3).get<std::vector<std::string>>();
        s.reported.push_back(std::move(hardware));
    }
}

void Rebuild(Store& s) {
    LoadReported(s);
    s.nodes.clear();
    s.byId.clear();
    s.byDevInst.clear();
    ResetRoot(s);
    LoadSavedNodes(s);
    AdoptRememberedNodes(s);
    s.stale = false;
}

nlohmann::json SaveNodes() {
    Store& s = Raw();
    if (s.stale) {
        return s.saved;  // never opened this run: keep what was loaded
    }
    nlohmann::json nodes = nlohmann::json::array();
    // Arrays, not objects: ten thousand nodes parse several times faster so.
    for (const auto& node : s.nodes) {
        nlohmann::json j = nlohmann::json::array(
            {node->instanceId, PresenceName(node->presence),
             node->parent != &s.root ? node->parent->instanceId : std::string(), node->problem});
        if (node->pending) {
            j.push_back(SpecToJson(*node->pending));
        }
        nodes.push_back(std::move(j));
    }
    nlohmann::json saved{{"nodes", std::move(nodes)}};
    if (!s.reported.empty()) {
        nlohmann::json reported = nlohmann::json::array();
        for (const ReportedHardware& h : s.reported) {
            reported.push_back(nlohmann::json::array(
                {h.spec.instanceId, h.spec.parentId, SpecToJson(h.spec), h.attached}));
        }
        saved["reported"] = std::move(reported);
    }
    return saved;
}

const bool registered = [] {
    RegisterSection({"devices",
                     [](nlohmann::json&& j) {
                         Raw().saved = std::move(j);
                         Raw().stale = true;
                     },
                     [] { return SaveNodes(); },
                     [] {
                         Raw().saved = nlohmann::json();
                         Raw().stale = true;
                     }});
    return true;
}();

Store& S() {
    EnsureLoaded();
    Store& s = Raw();
    if (s.stale) {
        Rebuild(s);
    }
    return s;
}

bool ValidInstanceId(std::string_view id) {
    if (id.empty() || id.size() >= MAX_DEVICE_ID_LEN) {
        return false;
    }
    size_t parts = 1;
    for (size_t i = 0; i < id.size(); ++i) {
        if (id[i] == '\\') {
            if (i == 0 || i + 1 == id.size() || id[i + 1] == '\\') {
                return false;
            }
            ++parts;
        }
    }
    return parts == 3;
}

void RemoveFromParent(DeviceNode& node) {
    auto& siblings = node.parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (*it == &node) {
            siblings.erase(it);
            return;
        }
    }
}

// Wherever the device tree is linked in, so is the device installer that serves it.
struct InstallerRegistration {
    InstallerRegistration() { store::RegisterDeviceInstaller(); }
} installerRegistration;

}  // namespace

void ChangedDevices() {
    MarkDirty("devices");
}

void ChangedRegistry() {
    MarkDirty("registry");
}

DeviceNode& RootDevice() {
    return S().root;
}

DeviceNode* FindDevice(std::string_view instanceId) {
    Store& s = S();
    if (instanceId.empty()) {
        return nullptr;
    }
    if (FoldName(instanceId) == FoldName(kRootInstanceId)) {
        return &s.root;
    }
    auto it = s.byId.find(FoldName(instanceId));
    return it == s.byId.end() ? nullptr : it->second;
}

DeviceNode* DeviceByDevInst(DEVINST devInst) {
    Store& s = S();
    auto it = s.byDevInst.find(devInst);
    return it == s.byDevInst.end() ? nullptr : it->second;
}

std::vector<DeviceNode*> AllDevices() {
    Store& s = S();
    std::vector<DeviceNode*> all;
    all.reserve(s.nodes.size());
    for (const auto& node : s.nodes) {
        all.push_back(node.get());
    }
    return all;
}

DeviceNode* AddDevice(const DeviceSpec& spec) {
    Store& s = S();
    if (!ValidInstanceId(spec.instanceId) || FindDevice(spec.instanceId) != nullptr) {
        return nullptr;
    }
    DeviceNode* parent = spec.parentId.empty() ? &s.root : FindDevice(spec.parentId);
    if (parent == nullptr) {
        return nullptr;
    }
    DeviceNode* node = Insert(s, spec.instanceId, parent);
    node->presence = spec.presence;
    node->problem = spec.presence == Presence::Present ? spec.problem : 0;
    RegKey* existing = FindKey(Hklm(), std::string(kEnumKeyPath) + "\\" + spec.instanceId);
    if (spec.presence == Presence::Arriving && existing == nullptr) {
        node->pending = spec;  // the board is new to the machine: nothing is remembered yet
    } else {
        WriteSpecToKey(CreateKey(Hklm(), std::string(kEnumKeyPath) + "\\" + spec.instanceId), spec);
        ChangedRegistry();
    }
    ChangedDevices();
    return node;
}

bool RemoveDevice(std::string_view instanceId) {
    Store& s = S();
    DeviceNode* node = FindDevice(instanceId);
    if (node == nullptr || node == &s.root) {
        return false;
    }
    if (RegKey* driverKey = DriverKey(*node)) {
        RemoveSubkey(*driverKey->parent, driverKey->name);
    }
    DeleteKeyTree(Hklm(), std::string(kEnumKeyPath) + "\\" + node->instanceId);
    for (DeviceNode* child : node->children) {
        child->parent = &s.root;
        child->presence = Presence::Phantom;
        s.root.children.push_back(child);
    }
    RemoveFromParent(*node);
    ForgetNodeState(node->instanceId);
    s.byId.erase(FoldName(node->instanceId));
    s.byDevInst.erase(node->devInst);
    for (auto it = s.nodes.begin(); it != s.nodes.end(); ++it) {
        if (it->get() == node) {
            s.nodes.erase(it);
            break;
        }
    }
    ChangedRegistry();
    ChangedDevices();
    return true;
}

bool UninstallDevice(std::string_view instanceId) {
    Store& s = S();
    DeviceNode* node = FindDevice(instanceId);
    if (node == nullptr || node == &s.root) {
        return false;
    }
    const bool rootEnumerated =
        node->instanceId.size() >= 5 && FoldName(node->instanceId.substr(0, 5)) == "ROOT\\";
    if (node->presence != Presence::Present || rootEnumerated) {
        return RemoveDevice(instanceId);
    }
    // What the bus driver reports of the hardware; class, driver and description come from
    // the device installer once it is back.
    ReportedHardware hardware;
    hardware.spec.instanceId = node->instanceId;
    hardware.spec.presence = Presence::Arriving;
    if (node->parent != &s.root) {
        hardware.spec.parentId = node->parent->instanceId;
    }
    if (const RegKey* key = DeviceKey(*node)) {
        hardware.spec.hardwareIds =
            GetMultiStringValue(*key, "HardwareID").value_or(std::vector<std::string>{});
        hardware.spec.compatibleIds =
            GetMultiStringValue(*key, "CompatibleIDs").value_or(std::vector<std::string>{});
        hardware.spec.locationInformation =
            GetStringValue(*key, "LocationInformation").value_or("");
    }
    for (const DeviceNode* child : node->children) {
        if (child->presence == Presence::Present) {
            hardware.attached.push_back(child->instanceId);
        }
    }
    RemoveDevice(instanceId);
    s.reported.push_back(std::move(hardware));
    return true;
}

void ReportAgain(DeviceNode& from) {
    Store& s = S();
    auto below = [&from](const DeviceNode* n) {
        for (; n != nullptr; n = n->parent) {
            if (n == &from) {
                return true;
            }
        }
        return false;
    };
    // One pass per level: a board that comes back may be the parent of the next one.
    for (bool progress = true; progress;) {
        progress = false;
        for (auto it = s.reported.begin(); it != s.reported.end();) {
            const DeviceSpec& spec = it->spec;
            DeviceNode* parent = spec.parentId.empty() ? &s.root : FindDevice(spec.parentId);
            if (parent == nullptr || !below(parent) || !InRunningTree(*parent)) {
                ++it;
                continue;
            }
            // A node of that ID made meanwhile (the board plugged in again by hand) has taken
            // its place.
            if (DeviceNode* back = FindDevice(spec.instanceId) ? nullptr : AddDevice(spec)) {
                for (const std::string& id : it->attached) {
                    DeviceNode* child = FindDevice(id);
                    if (child != nullptr && child->parent == &s.root &&
                        child->presence == Presence::Phantom) {
                        RemoveFromParent(*child);
                        child->parent = back;
                        child->presence = Presence::Arriving;
                        back->children.push_back(child);
                    }
                }
            }
            it = s.reported.erase(it);
            progress = true;
            ChangedDevices();
        }
    }
}

bool InRunningTree(const DeviceNode& node) {
    for (const DeviceNode* n = &node; n->parent != nullptr; n = n->parent) {
        if (n->presence != Presence::Present) {
            return false;
        }
    }
    return true;
}

ULONG StartedProblem(const DeviceNode& node) {
    const RegKey* key = DeviceKey(node);
    const DWORD flags = key != nullptr ? GetDwordValue(*key, "ConfigFlags").value_or(0) : 0;
    return (flags & kConfigFlagDisabled) != 0 || DisabledHere(node) ? CM_PROB_DISABLED : 0;
}

void SetPresence(DeviceNode& node, Presence presence) {
    if (&node == &S().root || node.presence == presence) {
        return;
    }
    if (presence == Presence::Present) {
        Arrive(node);
    } else {
        node.presence = presence;
        node.problem = 0;
    }
    ChangedDevices();
}

void SetProblem(DeviceNode& node, ULONG problem) {
    node.problem = problem;
    ChangedDevices();
}

ULONG DeviceStatus(const DeviceNode& node) {
    ULONG status = DN_NT_ENUMERATOR | DN_NT_DRIVER;
    if (&node == &S().root) {
        return status | DN_DRIVER_LOADED | DN_STARTED;
    }
    if (node.instanceId.size() >= 5 && FoldName(node.instanceId.substr(0, 5)) == "ROOT\\") {
        status |= DN_ROOT_ENUMERATED;
    }
    if (node.problem != 0) {
        return status | DN_HAS_PROBLEM | DN_DISABLEABLE;
    }
    return status | DN_DRIVER_LOADED | DN_STARTED | DN_DISABLEABLE;
}

namespace {

// HKLM\SYSTEM\CurrentControlSet\Enum, found once while it lives (keys never move; a deleted
// key is marked so, and a dropped tree lets the reference expire).
RegKey* EnumRoot() {
    static auto* cached = new std::weak_ptr<RegKey>;
    if (std::shared_ptr<RegKey> key = cached->lock(); key && !key->deleted) {
        return key.get();
    }
    RegKey* key = FindKey(Hklm(), kEnumKeyPath);
    *cached = key != nullptr ? ShareKey(*key) : nullptr;
    return key;
}

}  // namespace

RegKey* DeviceKey(const DeviceNode& node) {
    if (&node == &S().root || node.pending) {
        return nullptr;
    }
    // Likewise a live key found once is still the node's key.
    if (std::shared_ptr<RegKey> cached = node.enumKey.lock(); cached && !cached->deleted) {
        return cached.get();
    }
    RegKey* enumRoot = EnumRoot();
    RegKey* key = enumRoot != nullptr ? FindKey(*enumRoot, node.instanceId) : nullptr;
    node.enumKey = key != nullptr ? ShareKey(*key) : nullptr;
    return key;
}

RegKey* DriverKey(const DeviceNode& node) {
    RegKey* key = DeviceKey(node);
    if (key == nullptr) {
        return nullptr;
    }
    std::optional<std::string> driver = GetStringValue(*key, "Driver");
    if (!driver || driver->empty()) {
        return nullptr;
    }
    return FindKey(Hklm(), std::string(kClassKeyPath) + "\\" + *driver);
}

RegKey* CreateDriverKey(DeviceNode& node) {
    RegKey* key = DeviceKey(node);
    if (key == nullptr) {
        return nullptr;
    }
    std::optional<std::string> classText = GetStringValue(*key, "ClassGUID");
    if (!classText || !ParseGuid(*classText)) {
        return nullptr;
    }
    RegKey& classKey = CreateKey(Hklm(), std::string(kClassKeyPath) + "\\" + *classText);
    // Windows numbers driver keys 0000, 0001, ... and takes the lowest unused number.
    for (unsigned n = 0; n < 10000; ++n) {
        char name[8];
        std::snprintf(name, sizeof name, "%04u", n);
        if (FindSubkey(classKey, name) == nullptr) {
            RegKey& driverKey = AddSubkey(classKey, name);
            SetStringValue(*key, "Driver", *classText + "\\" + name);
            ChangedRegistry();
            return &driverKey;
        }
    }
    return nullptr;
}

std::string NextRootInstanceId(std::string_view className) {
    std::string upper = FoldName(className);
    for (unsigned n = 0; n < 10000; ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "%04u", n);
        std::string id = "ROOT\\" + upper + "\\" + number;
        if (FindDevice(id) == nullptr &&
            FindKey(Hklm(), std::string(kEnumKeyPath) + "\\" + id) == nullptr) {
            return id;
        }
    }
    return std::string();
}

}  // namespace sim

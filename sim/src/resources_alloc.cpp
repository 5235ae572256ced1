// The per-node resource and profile state, saved in machine.json under "device_state", keyed
// by the folded instance ID so that it survives the tree's rebuild on the next run.
#include "resources_alloc.h"

#include <map>

#include "machine.h"
#include "registry_tree.h"

namespace sim {
namespace {

struct NodeState {
    std::vector<Resource> resources;
    bool disabledHere = false;
};

std::map<std::string, NodeState>& States() {
    static auto* states = new std::map<std::string, NodeState>;
    return *states;
}

const char* TypeName(RESOURCEID type) {
    switch (type) {
        case ResType_IRQ:
            return "irq";
        case ResType_DMA:
            return "dma";
        default:
            return "io";
    }
}

RESOURCEID TypeFromName(const std::string& name) {
    if (name == "irq") {
        return ResType_IRQ;
    }
    return name == "dma" ? ResType_DMA : ResType_IO;
}

void Load(const nlohmann::json& j) {
    States().clear();
    if (!j.is_object()) {
        return;
    }
    for (const auto& [id, entry] : j.items()) {
        NodeState state;
        state.disabledHere = entry.value("disabled_here", false);
        if (entry.contains("resources")) {
            for (const auto& r : entry["resources"]) {
                Resource res;
                res.type = TypeFromName(r.value("type", std::string("io")));
                res.first = r.value("first", 0ull);
                res.last = r.value("last", res.first);
                state.resources.push_back(res);
            }
        }
        States()[id] = std::move(state);
    }
}

nlohmann::json Save() {
    nlohmann::json j = nlohmann::json::object();
    for (const auto& [id, state] : States()) {
        nlohmann::json entry = nlohmann::json::object();
        if (state.disabledHere) {
            entry["disabled_here"] = true;
        }
        nlohmann::json list = nlohmann::json::array();
        for (const Resource& r : state.resources) {
            list.push_back({{"type", TypeName(r.type)}, {"first", r.first}, {"last", r.last}});
        }
        if (!list.empty()) {
            entry["resources"] = std::move(list);
        }
        j[id] = std::move(entry);
    }
    return j;
}

const bool registered = [] {
    RegisterSection({"device_state", Load, Save, [] { States().clear(); }});
    return true;
}();

NodeState* Find(std::string_view instanceId) {
    EnsureLoaded();
    auto it = States().find(FoldName(instanceId));
    return it == States().end() ? nullptr : &it->second;
}

NodeState& Ensure(std::string_view instanceId) {
    EnsureLoaded();
    return States()[FoldName(instanceId)];
}

void DropIfEmpty(std::string_view instanceId) {
    auto it = States().find(FoldName(instanceId));
    if (it != States().end() && it->second.resources.empty() && !it->second.disabledHere) {
        States().erase(it);
    }
}

}  // namespace

const std::vector<Resource>& NodeResources(const DeviceNode& node) {
    static const std::vector<Resource> none;
    NodeState* state = Find(node.instanceId);
    return state == nullptr ? none : state->resources;
}

void SetNodeResources(const DeviceNode& node, std::vector<Resource> resources) {
    Ensure(node.instanceId).resources = std::move(resources);
    DropIfEmpty(node.instanceId);
    MarkDirty("device_state");
}

bool HoldsResources(const DeviceNode& node) {
    return InRunningTree(node) && node.problem == 0 && !NodeResources(node).empty();
}

namespace {

// Whether two ranges meet in the residues of `size` (a power of two): each range's addresses
// taken modulo size form one interval on a circle.
bool AliasesMeet(const Resource& a, const Resource& b, ULONGLONG size) {
    const ULONGLONG lengthA = a.last - a.first + 1;
    const ULONGLONG lengthB = b.last - b.first + 1;
    if (lengthA == 0 || lengthB == 0 || lengthA >= size || lengthB >= size) {
        return true;  // one of them covers every residue (a length of 0 wrapped round)
    }
    const ULONGLONG mask = size - 1;
    return ((b.first - a.first) & mask) < lengthA || ((a.first - b.first) & mask) < lengthB;
}

}  // namespace

bool ResourcesMeet(const Resource& a, const Resource& b) {
    if (a.type != b.type) {
        return false;
    }
    const ULONGLONG mask = a.decodeMask != 0 && b.decodeMask != 0 ? (a.decodeMask & b.decodeMask)
                                                                  : (a.decodeMask | b.decodeMask);
    if (a.type == ResType_IO && mask != 0) {
        return AliasesMeet(a, b, mask + 1);
    }
    return a.first <= b.last && b.first <= a.last;
}

bool DisabledHere(const DeviceNode& node) {
    NodeState* state = Find(node.instanceId);
    return state != nullptr && state->disabledHere;
}

void SetDisabledHere(const DeviceNode& node, bool disabled) {
    Ensure(node.instanceId).disabledHere = disabled;
    DropIfEmpty(node.instanceId);
    MarkDirty("device_state");
}

void ForgetNodeState(std::string_view instanceId) {
    if (States().erase(FoldName(instanceId)) != 0) {
        MarkDirty("device_state");
    }
}

}  // namespace sim

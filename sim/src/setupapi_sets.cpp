// Device information sets: building them from the device tree, enumerating and destroying.
#include <cstring>
#include <memory>
#include <unordered_map>

#include "choke.h"
#include "setupapi_internal.h"
#include "text.h"

namespace sim {
namespace {

struct SetTable {
    std::unordered_map<uintptr_t, std::unique_ptr<DeviceInfoSet>> sets;
    // Handles look like heap addresses, as setupapi's do; a destroyed value is never reused.
    uintptr_t next = 0x5e700010;
};

SetTable& Sets() {
    static auto* table = new SetTable;
    return *table;
}

HDEVINFO NewSet(std::unique_ptr<DeviceInfoSet> set) {
    SetTable& t = Sets();
    uintptr_t value = t.next;
    t.next += 0x10;
    t.sets.emplace(value, std::move(set));
    return reinterpret_cast<HDEVINFO>(value);
}

// An enumerator argument names a bus ("PCI") or one device instance ("PCI\VEN_...\...").
bool MatchesEnumerator(const DeviceNode& node, std::string_view enumerator) {
    if (enumerator.find('\\') != std::string_view::npos) {
        return sim::EqualNoCase(node.instanceId, enumerator, sim::CaseRule::kLatin1);
    }
    const std::string_view id = node.instanceId;
    return sim::EqualNoCase(id.substr(0, id.find('\\')), enumerator, sim::CaseRule::kLatin1);
}

}  // namespace

DeviceInfoSet* FindInfoSet(HDEVINFO handle) {
    auto it = Sets().sets.find(reinterpret_cast<uintptr_t>(handle));
    if (it == Sets().sets.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second.get();
}

DevInfoElement* FindElement(DeviceInfoSet& set, const SP_DEVINFO_DATA* data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    const ULONG_PTR index = data->Reserved;
    if (index == 0 || index > set.elements.size() ||
        set.elements[index - 1].devInst != data->DevInst) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set.elements[index - 1];
}

DeviceNode* ElementNode(const DevInfoElement& element) {
    DeviceNode* node = DeviceByDevInst(element.devInst);
    if (node == nullptr) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
    }
    return node;
}

Device GetDevice(HDEVINFO handle, const SP_DEVINFO_DATA* data) {
    DeviceInfoSet* set = FindInfoSet(handle);
    DevInfoElement* element = set != nullptr ? FindElement(*set, data) : nullptr;
    DeviceNode* node = element != nullptr ? ElementNode(*element) : nullptr;
    if (node == nullptr) {
        return {};
    }
    return {element, node};
}

void FillInfoData(const DeviceInfoSet& set, size_t index, SP_DEVINFO_DATA& data) {
    data.ClassGuid = set.elements[index].classGuid;
    data.DevInst = set.elements[index].devInst;
    data.Reserved = index + 1;
}

size_t AddElement(DeviceInfoSet& set, const DeviceNode& node, bool registered) {
    DevInfoElement element;
    element.devInst = node.devInst;
    element.classGuid = NodeClassGuid(node);
    element.registered = registered;
    set.elements.push_back(element);
    return set.elements.size() - 1;
}

std::string PeekInstanceId(HDEVINFO handle, const SP_DEVINFO_DATA* data) {
    auto it = Sets().sets.find(reinterpret_cast<uintptr_t>(handle));
    if (it == Sets().sets.end() || data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) ||
        data->Reserved == 0 || data->Reserved > it->second->elements.size()) {
        return std::string();
    }
    DeviceNode* node = DeviceByDevInst(it->second->elements[data->Reserved - 1].devInst);
    return node == nullptr ? std::string() : node->instanceId;
}

// A string value that holds a GUID text, read straight from its UTF-16 data: device
// information sets read the class of every node, and this spares a conversion per node.
// What GetStringValue would read (the text up to the first terminator) decides.
std::optional<GUID> GuidValue(const RegKey& key, std::string_view name) {
    const RegValue* value = FindValue(key, name);
    if (value == nullptr || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    constexpr size_t kGuidChars = 38;
    const std::vector<uint8_t>& data = value->data;
    char text[kGuidChars];
    for (size_t i = 0; i < kGuidChars; ++i) {
        if (2 * i + 1 >= data.size() || data[2 * i + 1] != 0 || data[2 * i] == 0 ||
            data[2 * i] >= 0x80) {
            return std::nullopt;  // shorter, or no ASCII text: no GUID
        }
        text[i] = static_cast<char>(data[2 * i]);
    }
    const size_t end = 2 * kGuidChars;
    if (end + 1 < data.size() && (data[end] != 0 || data[end + 1] != 0)) {
        return std::nullopt;  // longer than a GUID
    }
    return ParseGuid(std::string_view(text, kGuidChars));
}

GUID NodeClassGuid(const DeviceNode& node) {
    RegKey* key = DeviceKey(node);
    if (key == nullptr) {
        return GUID{};
    }
    // The revision belongs to this key and its values only, so an equal one means the same
    // ClassGUID value.
    if (node.classRevision != key->revision) {
        node.classGuid = GuidValue(*key, "ClassGUID").value_or(GUID{});
        node.classRevision = key->revision;
    }
    return node.classGuid;
}

}  // namespace sim

using sim::DeviceInfoSet;

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    (void)hwndParent;
    sim::ApiCall call("SetupDiGetClassDevsA",
                      ClassGuid != nullptr ? sim::GuidText(*ClassGuid) : std::string());
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    if ((Flags & DIGCF_DEVICEINTERFACE) != 0) {
        sim::NotModelled("SetupDiGetClassDevsA", "DIGCF_DEVICEINTERFACE");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    const bool allClasses = (Flags & DIGCF_ALLCLASSES) != 0;
    if (ClassGuid == nullptr && !allClasses) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_unique<DeviceInfoSet>();
    if (!allClasses) {
        set->classGuid = *ClassGuid;
        set->hasClass = true;
    }
    const bool presentOnly = (Flags & DIGCF_PRESENT) != 0;
    const std::string_view enumerator = Enumerator != nullptr ? Enumerator : "";
    // Creation order of the nodes, which is also the order Windows lists devices it found at
    // one boot; callers must not rely on any other order.
    for (sim::DeviceNode* node : sim::AllDevices()) {
        if (node->presence == sim::Presence::Arriving ||
            (presentOnly && !sim::InRunningTree(*node))) {
            continue;
        }
        if (!enumerator.empty() && !sim::MatchesEnumerator(*node, enumerator)) {
            continue;
        }
        const GUID nodeClass = sim::NodeClassGuid(*node);
        if (!allClasses && nodeClass != *ClassGuid) {
            continue;
        }
        sim::DevInfoElement element;
        element.devInst = node->devInst;
        element.classGuid = nodeClass;
        set->elements.push_back(element);
    }
    return sim::NewSet(std::move(set));
}

HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* ClassGuid, HWND hwndParent) {
    (void)hwndParent;
    sim::ApiCall call("SetupDiCreateDeviceInfoList");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_unique<DeviceInfoSet>();
    if (ClassGuid != nullptr) {
        set->classGuid = *ClassGuid;
        set->hasClass = true;
    }
    return sim::NewSet(std::move(set));
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
    sim::ApiCall call("SetupDiEnumDeviceInfo", std::to_string(MemberIndex));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::DeviceInfoSet* set = sim::FindInfoSet(DeviceInfoSet);
    if (set == nullptr) {
        return FALSE;
    }
    if (DeviceInfoData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (MemberIndex >= set->elements.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    sim::FillInfoData(*set, MemberIndex, *DeviceInfoData);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    sim::ApiCall call("SetupDiDestroyDeviceInfoList");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto& sets = sim::Sets().sets;
    auto it = sets.find(reinterpret_cast<uintptr_t>(DeviceInfoSet));
    if (it == sets.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Elements created in this set and never registered disappear with it.
    for (const sim::DevInfoElement& element : it->second->elements) {
        if (!element.registered) {
            if (sim::DeviceNode* node = sim::DeviceByDevInst(element.devInst)) {
                sim::RemoveDevice(node->instanceId);
            }
        }
    }
    sets.erase(it);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        PSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                        PDWORD RequiredSize) {
    sim::ApiCall call("SetupDiGetDeviceInstanceIdA",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::DeviceNode* node = sim::GetDevice(DeviceInfoSet, DeviceInfoData).node;
    if (node == nullptr) {
        return FALSE;
    }
    if (DeviceInstanceId == nullptr && DeviceInstanceIdSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(node->instanceId.size() + 1);
    if (RequiredSize != nullptr) {
        *RequiredSize = needed;
    }
    if (DeviceInstanceIdSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(DeviceInstanceId, node->instanceId.c_str(), needed);
    return TRUE;
}

}  // extern "C"

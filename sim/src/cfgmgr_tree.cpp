// The Configuration Manager's view of the device tree: locating nodes, walking children and
// siblings, node status and registry properties, and re-enumeration.
#include <cstring>

#include "choke.h"
#include "setupapi_internal.h"

namespace sim {
namespace {

std::string IdOf(DEVINST devInst) {
    DeviceNode* node = DeviceByDevInst(devInst);
    return node == nullptr ? std::string() : node->instanceId;
}

// The tree holds present nodes only: a phantom is found by ID but is in no one's child list.
DeviceNode* FirstPresent(const std::vector<DeviceNode*>& nodes, size_t from) {
    for (size_t i = from; i < nodes.size(); ++i) {
        if (nodes[i]->presence == Presence::Present) {
            return nodes[i];
        }
    }
    return nullptr;
}

}  // namespace
}  // namespace sim

extern "C" {

CONFIGRET WINAPI CM_Locate_DevNodeA(PDEVINST pdnDevInst, DEVINSTID_A pDeviceID, ULONG ulFlags) {
    sim::ApiCall call("CM_Locate_DevNodeA", pDeviceID != nullptr ? pDeviceID : "");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pdnDevInst == nullptr) {
        return CR_INVALID_POINTER;
    }
    if ((ulFlags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_BITS)) != 0) {
        return CR_INVALID_FLAG;
    }
    if (pDeviceID == nullptr || *pDeviceID == '\0') {
        *pdnDevInst = sim::RootDevice().devInst;
        return CR_SUCCESS;
    }
    if (std::strlen(pDeviceID) >= MAX_DEVICE_ID_LEN) {
        return CR_INVALID_DEVICE_ID;
    }
    sim::DeviceNode* node = sim::FindDevice(pDeviceID);
    if (node == nullptr || node->presence == sim::Presence::Arriving) {
        return CR_NO_SUCH_DEVNODE;
    }
    if (!sim::InRunningTree(*node) && (ulFlags & CM_LOCATE_DEVNODE_PHANTOM) == 0) {
        return CR_NO_SUCH_DEVNODE;
    }
    *pdnDevInst = node->devInst;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Child", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pdnDevInst == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    sim::DeviceNode* child =
        sim::InRunningTree(*node) ? sim::FirstPresent(node->children, 0) : nullptr;
    if (child == nullptr) {
        return CR_NO_SUCH_DEVNODE;
    }
    *pdnDevInst = child->devInst;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Sibling(PDEVINST pdnDevInst, DEVINST DevInst, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Sibling", sim::IdOf(DevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pdnDevInst == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(DevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    if (node->parent == nullptr || !sim::InRunningTree(*node)) {
        return CR_NO_SUCH_DEVNODE;
    }
    const auto& siblings = node->parent->children;
    sim::DeviceNode* next = nullptr;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] == node) {
            next = sim::FirstPresent(siblings, i + 1);
            break;
        }
    }
    if (next == nullptr) {
        return CR_NO_SUCH_DEVNODE;
    }
    *pdnDevInst = next->devInst;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Parent", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pdnDevInst == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    if (node->parent == nullptr || !sim::InRunningTree(*node)) {
        return CR_NO_SUCH_DEVNODE;
    }
    *pdnDevInst = node->parent->devInst;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst,
                                       ULONG ulFlags) {
    sim::ApiCall call("CM_Get_DevNode_Status", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pulStatus == nullptr || pulProblemNumber == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    if (!sim::InRunningTree(*node)) {
        return CR_NO_SUCH_DEVNODE;  // an absent board: known to the registry only
    }
    *pulStatus = sim::DeviceStatus(*node);
    *pulProblemNumber = node->problem;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyA(DEVINST dnDevInst, ULONG ulProperty,
                                                   PULONG pulRegDataType, PVOID Buffer,
                                                   PULONG pulLength, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_DevNode_Registry_PropertyA", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pulLength == nullptr || (Buffer == nullptr && *pulLength != 0)) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    if (ulProperty < CM_DRP_MIN || ulProperty > CM_DRP_MAX) {
        return CR_INVALID_PROPERTY;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    sim::PropertyData data;
    switch (sim::ReadProperty(*node, ulProperty - 1, data)) {
        case sim::PropertyLookup::Missing:
            return CR_NO_SUCH_VALUE;
        case sim::PropertyLookup::NotModelled:
            sim::NotModelled("CM_Get_DevNode_Registry_PropertyA",
                             "property " + std::to_string(ulProperty));
            return CR_CALL_NOT_IMPLEMENTED;
        case sim::PropertyLookup::Found:
            break;
    }
    const ULONG needed = static_cast<ULONG>(data.bytes.size());
    if (*pulLength < needed) {
        *pulLength = needed;
        return CR_BUFFER_SMALL;
    }
    if (needed != 0) {
        std::memcpy(Buffer, data.bytes.data(), needed);
    }
    *pulLength = needed;
    if (pulRegDataType != nullptr) {
        *pulRegDataType = data.type;
    }
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Device_ID_Size", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pulLen == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    *pulLen = static_cast<ULONG>(node->instanceId.size());  // without the terminator
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST dnDevInst, PCHAR Buffer, ULONG BufferLen,
                                   ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Device_IDA", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if (Buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    const size_t length = node->instanceId.size();
    if (BufferLen < length) {
        return CR_BUFFER_SMALL;
    }
    // Windows fills a buffer of exactly the ID's length without a terminator.
    std::memcpy(Buffer, node->instanceId.data(), length);
    if (BufferLen > length) {
        Buffer[length] = '\0';
    }
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
    sim::ApiCall call("CM_Reenumerate_DevNode", sim::IdOf(dnDevInst));
    if (DWORD e = call.fault()) {
        return e;
    }
    if ((ulFlags & ~static_cast<ULONG>(CM_REENUMERATE_BITS)) != 0) {
        return CR_INVALID_FLAG;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(dnDevInst);
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    if (!sim::InRunningTree(*node)) {
        return CR_NO_SUCH_DEVNODE;
    }
    // Windows may finish asynchronously; the simulation completes the enumeration before it
    // returns, which is one of the orders a real machine can show.
    const unsigned changed =
        sim::ReenumerateDevices(*node, (ulFlags & CM_REENUMERATE_RETRY_INSTALLATION) != 0);
    sim::Journal("CM_Reenumerate_DevNode",
                 node->instanceId + ", flags " + std::to_string(ulFlags) + ", changed " +
                     std::to_string(changed),
                 CR_SUCCESS);
    return CR_SUCCESS;
}

}  // extern "C"

// The Configuration Manager's view of allocated resources: logical configurations, resource
// descriptors, and resource conflict lists against what other devices hold.
#include <cstring>
#include <map>

#include "choke.h"
#include "devices.h"
#include "resources_alloc.h"
#include "simwin/cfgmgr32.h"

namespace sim {
namespace {

enum class HandleKind { LogConf, ResDes, Conflicts, Machine };

struct CmHandle {
    HandleKind kind = HandleKind::LogConf;
    DEVINST devInst = 0;
    ULONG confType = ALLOC_LOG_CONF;
    size_t index = 0;                  // descriptor index within the configuration
    std::vector<DEVINST> conflicting;  // for a conflict list
};

struct CmTable {
    std::map<uintptr_t, CmHandle> handles;
    // Like cfgmgr32's, handles are opaque non-zero values; a freed one is never reused.
    uintptr_t next = 0x4c0f0010;
};

CmTable& Table() {
    static auto* table = new CmTable;
    return *table;
}

uintptr_t NewHandle(CmHandle handle) {
    CmTable& t = Table();
    const uintptr_t value = t.next;
    t.next += 0x10;
    t.handles.emplace(value, std::move(handle));
    return value;
}

CmHandle* Lookup(uintptr_t value, HandleKind kind) {
    auto it = Table().handles.find(value);
    return it == Table().handles.end() || it->second.kind != kind ? nullptr : &it->second;
}

CONFIGRET Free(uintptr_t value, HandleKind kind, CONFIGRET invalid) {
    if (Lookup(value, kind) == nullptr) {
        return invalid;
    }
    Table().handles.erase(value);
    return CR_SUCCESS;
}

// The resources of one of a node's logical configurations, or null when it has none.
const std::vector<Resource>* ConfigResources(const DeviceNode& node, ULONG confType) {
    const std::vector<Resource>& list = NodeResources(node);
    if (list.empty()) {
        return nullptr;
    }
    if (confType == ALLOC_LOG_CONF) {
        return HoldsResources(node) ? &list : nullptr;
    }
    // What the firmware assigned stays known while the device is not started.
    return InRunningTree(node) ? &list : nullptr;
}

// Allocated descriptors carry only their header: the range lists belong to requirements.
ULONG DescriptorSize(RESOURCEID type) {
    switch (type) {
        case ResType_IRQ:
            return sizeof(IRQ_DES);
        case ResType_DMA:
            return sizeof(DMA_DES);
        default:
            return sizeof(IO_DES);
    }
}

void FillDescriptor(const Resource& r, BYTE* out) {
    if (r.type == ResType_IO) {
        IO_DES d{};
        d.IOD_Type = IOType_Range;
        d.IOD_Alloc_Base = r.first;
        d.IOD_Alloc_End = r.last;
        d.IOD_DesFlags = fIOD_IO;
        std::memcpy(out, &d, sizeof d);
    } else if (r.type == ResType_IRQ) {
        IRQ_DES d{};
        d.IRQD_Type = IRQType_Range;
        d.IRQD_Flags = fIRQD_Edge;
        d.IRQD_Alloc_Num = static_cast<ULONG>(r.first);
        d.IRQD_Affinity = ~0ull;
        std::memcpy(out, &d, sizeof d);
    } else {
        DMA_DES d{};
        d.DD_Type = DType_Range;
        d.DD_Alloc_Chan = static_cast<ULONG>(r.first);
        std::memcpy(out, &d, sizeof d);
    }
}

const Resource* DescriptorOf(const CmHandle& h) {
    DeviceNode* node = DeviceByDevInst(h.devInst);
    const std::vector<Resource>* list = node ? ConfigResources(*node, h.confType) : nullptr;
    return list != nullptr && h.index < list->size() ? &(*list)[h.index] : nullptr;
}

// The resource a caller's descriptor asks about, read from its header's allocation after
// checking that the buffer holds the header and every range it announces.
CONFIGRET ReadQuery(RESOURCEID type, PCVOID data, ULONG length, Resource& out) {
    if (data == nullptr) {
        return CR_INVALID_POINTER;
    }
    const BYTE* bytes = static_cast<const BYTE*>(data);
    out.type = type;
    if (type == ResType_IO) {
        IO_DES d;
        if (length < sizeof d) {
            return CR_INVALID_DATA;
        }
        std::memcpy(&d, bytes, sizeof d);
        if ((d.IOD_Count != 0 && d.IOD_Type != IOType_Range) ||
            length < sizeof d + ULONGLONG{d.IOD_Count} * sizeof(IO_RANGE) ||
            d.IOD_Alloc_End < d.IOD_Alloc_Base) {
            return CR_INVALID_DATA;
        }
        out.first = d.IOD_Alloc_Base;
        out.last = d.IOD_Alloc_End;
        // A device that decodes only the low 10 or 12 address bits answers at every alias.
        if ((d.IOD_DesFlags & fIOD_10_BIT_DECODE) != 0) {
            out.decodeMask = 0x3FF;
        } else if ((d.IOD_DesFlags & fIOD_12_BIT_DECODE) != 0) {
            out.decodeMask = 0xFFF;
        }
    } else if (type == ResType_IRQ) {
        IRQ_DES d;
        if (length < sizeof d) {
            return CR_INVALID_DATA;
        }
        std::memcpy(&d, bytes, sizeof d);
        if ((d.IRQD_Count != 0 && d.IRQD_Type != IRQType_Range) ||
            length < sizeof d + ULONGLONG{d.IRQD_Count} * sizeof(IRQ_RANGE)) {
            return CR_INVALID_DATA;
        }
        out.first = out.last = d.IRQD_Alloc_Num;
    } else {
        DMA_DES d;
        if (length < sizeof d) {
            return CR_INVALID_DATA;
        }
        std::memcpy(&d, bytes, sizeof d);
        if ((d.DD_Count != 0 && d.DD_Type != DType_Range) ||
            length < sizeof d + ULONGLONG{d.DD_Count} * sizeof(DMA_RANGE)) {
            return CR_INVALID_DATA;
        }
        out.first = out.last = d.DD_Alloc_Chan;
    }
    return CR_SUCCESS;
}

std::vector<DEVINST> ConflictingDevices(DEVINST self, const Resource& wanted) {
    std::vector<DEVINST> found;
    for (DeviceNode* node : AllDevices()) {
        if (node->devInst == self || !HoldsResources(*node)) {
            continue;
        }
        for (const Resource& held : NodeResources(*node)) {
            if (ResourcesMeet(held, wanted)) {
                found.push_back(node->devInst);
                break;
            }
        }
    }
    return found;
}

}  // namespace
}  // namespace sim

using sim::CmHandle;
using sim::HandleKind;

extern "C" {

CONFIGRET WINAPI CM_Get_First_Log_Conf(PLOG_CONF plcLogConf, DEVINST dnDevInst, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_First_Log_Conf");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (ulFlags != ALLOC_LOG_CONF && ulFlags != BOOT_LOG_CONF) {
        if (ulFlags > OVERRIDE_LOG_CONF) {
            return CR_INVALID_FLAG;
        }
        sim::NotModelled("CM_Get_First_Log_Conf", "requirement and forced configurations");
        return CR_CALL_NOT_IMPLEMENTED;
    }
    sim::DeviceNode* node = dnDevInst != 0 ? sim::DeviceByDevInst(dnDevInst) : nullptr;
    if (node == nullptr || node == &sim::RootDevice()) {
        return CR_INVALID_DEVNODE;
    }
    if (sim::ConfigResources(*node, ulFlags) == nullptr) {
        return CR_NO_MORE_LOG_CONF;
    }
    if (plcLogConf != nullptr) {
        CmHandle h;
        h.devInst = dnDevInst;
        h.confType = ulFlags;
        *plcLogConf = sim::NewHandle(h);
    }
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Next_Res_Des(PRES_DES prdResDes, RES_DES rdResDes, RESOURCEID ForResource,
                                     PRESOURCEID pResourceID, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Next_Res_Des");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (prdResDes == nullptr || (ForResource == ResType_All && pResourceID == nullptr)) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    // The search starts after a descriptor, or at the start of a logical configuration.
    CmHandle* from = sim::Lookup(rdResDes, HandleKind::ResDes);
    size_t start = 0;
    if (from != nullptr) {
        start = from->index + 1;
    } else if ((from = sim::Lookup(rdResDes, HandleKind::LogConf)) == nullptr) {
        return CR_INVALID_RES_DES;
    }
    sim::DeviceNode* node = sim::DeviceByDevInst(from->devInst);
    const std::vector<sim::Resource>* list =
        node ? sim::ConfigResources(*node, from->confType) : nullptr;
    if (list == nullptr) {
        return CR_NO_MORE_RES_DES;
    }
    for (size_t i = start; i < list->size(); ++i) {
        if (ForResource == ResType_All || (*list)[i].type == ForResource) {
            CmHandle h = *from;
            h.kind = HandleKind::ResDes;
            h.index = i;
            if (pResourceID != nullptr) {
                *pResourceID = (*list)[i].type;
            }
            *prdResDes = sim::NewHandle(h);
            return CR_SUCCESS;
        }
    }
    return CR_NO_MORE_RES_DES;
}

CONFIGRET WINAPI CM_Get_Res_Des_Data_Size(PULONG pulSize, RES_DES rdResDes, ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Res_Des_Data_Size");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pulSize == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    CmHandle* h = sim::Lookup(rdResDes, HandleKind::ResDes);
    const sim::Resource* r = h ? sim::DescriptorOf(*h) : nullptr;
    if (r == nullptr) {
        return CR_INVALID_RES_DES;
    }
    *pulSize = sim::DescriptorSize(r->type);
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Res_Des_Data(RES_DES rdResDes, PVOID Buffer, ULONG BufferLen,
                                     ULONG ulFlags) {
    sim::ApiCall call("CM_Get_Res_Des_Data");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (Buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    CmHandle* h = sim::Lookup(rdResDes, HandleKind::ResDes);
    const sim::Resource* r = h ? sim::DescriptorOf(*h) : nullptr;
    if (r == nullptr) {
        return CR_INVALID_RES_DES;
    }
    if (BufferLen < sim::DescriptorSize(r->type)) {
        return CR_BUFFER_SMALL;
    }
    sim::FillDescriptor(*r, static_cast<BYTE*>(Buffer));
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Free_Log_Conf_Handle(LOG_CONF lcLogConf) {
    sim::ApiCall call("CM_Free_Log_Conf_Handle");
    if (DWORD e = call.fault()) {
        return e;
    }
    return sim::Free(lcLogConf, HandleKind::LogConf, CR_INVALID_LOG_CONF);
}

CONFIGRET WINAPI CM_Free_Res_Des_Handle(RES_DES rdResDes) {
    sim::ApiCall call("CM_Free_Res_Des_Handle");
    if (DWORD e = call.fault()) {
        return e;
    }
    return sim::Free(rdResDes, HandleKind::ResDes, CR_INVALID_RES_DES);
}

CONFIGRET WINAPI CM_Connect_MachineA(PCSTR UNCServerName, PHMACHINE phMachine) {
    sim::ApiCall call("CM_Connect_MachineA", UNCServerName ? UNCServerName : "");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (phMachine == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (UNCServerName != nullptr && *UNCServerName != '\0') {
        sim::NotModelled("CM_Connect_MachineA", "remote machines");
        return CR_CALL_NOT_IMPLEMENTED;
    }
    CmHandle h;
    h.kind = HandleKind::Machine;
    *phMachine = reinterpret_cast<HMACHINE>(sim::NewHandle(h));
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Disconnect_Machine(HMACHINE hMachine) {
    sim::ApiCall call("CM_Disconnect_Machine");
    if (DWORD e = call.fault()) {
        return e;
    }
    // Windows accepts the local machine's null handle.
    if (hMachine == nullptr) {
        return CR_SUCCESS;
    }
    return sim::Free(reinterpret_cast<uintptr_t>(hMachine), HandleKind::Machine,
                     CR_INVALID_MACHINENAME);
}

CONFIGRET WINAPI CM_Query_Resource_Conflict_List(PCONFLICT_LIST pclConflictList, DEVINST dnDevInst,
                                                 RESOURCEID ResourceID, PCVOID ResourceData,
                                                 ULONG ResourceLen, ULONG ulFlags,
                                                 HMACHINE hMachine) {
    sim::ApiCall call("CM_Query_Resource_Conflict_List");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pclConflictList == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (ulFlags != 0) {
        return CR_INVALID_FLAG;
    }
    if (hMachine != nullptr &&
        sim::Lookup(reinterpret_cast<uintptr_t>(hMachine), HandleKind::Machine) == nullptr) {
        return CR_INVALID_MACHINENAME;
    }
    sim::DeviceNode* node = dnDevInst != 0 ? sim::DeviceByDevInst(dnDevInst) : nullptr;
    if (node == nullptr) {
        return CR_INVALID_DEVNODE;
    }
    if (ResourceID != ResType_IO && ResourceID != ResType_IRQ && ResourceID != ResType_DMA) {
        if (ResourceID == ResType_All || ResourceID > 0xFFFF) {
            return CR_INVALID_RESOURCEID;
        }
        sim::NotModelled("CM_Query_Resource_Conflict_List",
                         "resource type " + std::to_string(ResourceID));
        return CR_CALL_NOT_IMPLEMENTED;
    }
    sim::Resource wanted;
    if (CONFIGRET cr = sim::ReadQuery(ResourceID, ResourceData, ResourceLen, wanted)) {
        return cr;
    }
    CmHandle h;
    h.kind = HandleKind::Conflicts;
    h.devInst = dnDevInst;
    h.conflicting = sim::ConflictingDevices(dnDevInst, wanted);
    *pclConflictList = sim::NewHandle(std::move(h));
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Resource_Conflict_Count(CONFLICT_LIST clConflictList, PULONG pulCount) {
    sim::ApiCall call("CM_Get_Resource_Conflict_Count");
    if (DWORD e = call.fault()) {
        return e;
    }
    if (pulCount == nullptr) {
        return CR_INVALID_POINTER;
    }
    CmHandle* h = sim::Lookup(clConflictList, HandleKind::Conflicts);
    if (h == nullptr) {
        return CR_INVALID_CONFLICT_LIST;
    }
    *pulCount = static_cast<ULONG>(h->conflicting.size());
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Free_Resource_Conflict_Handle(CONFLICT_LIST clConflictList) {
    sim::ApiCall call("CM_Free_Resource_Conflict_Handle");
    if (DWORD e = call.fault()) {
        return e;
    }
    return sim::Free(clConflictList, HandleKind::Conflicts, CR_INVALID_CONFLICT_LIST);
}

}  // extern "C"

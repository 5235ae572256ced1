// The three conflict checks. Each asks against the DevInst of the current legacy node, so the
// node's own claims never count as a conflict.
#include "legacy/conflicts.h"

#include "boardkit/operations.h"
#include "legacy/device_node.h"
#include "platform/unique.h"
#include "platform/win32.h"

namespace {

IO_RESOURCE IoDescriptor(uint32_t base, uint32_t length) {
    IO_RESOURCE resource = {};
    const DWORDLONG end = static_cast<DWORDLONG>(base) + length - 1;
    resource.IO_Header.IOD_Count = 1;
    resource.IO_Header.IOD_Type = IOType_Range;
    resource.IO_Header.IOD_Alloc_Base = base;
    resource.IO_Header.IOD_Alloc_End = end;
    resource.IO_Header.IOD_DesFlags = fIOD_IO | fIOD_10_BIT_DECODE;
    resource.IO_Data[0].IOR_Align = 0xFFFFFFFFFFFFFFF0ull;
    resource.IO_Data[0].IOR_nPorts = length;
    resource.IO_Data[0].IOR_Min = base;
    resource.IO_Data[0].IOR_Max = end;
    resource.IO_Data[0].IOR_RangeFlags = fIOD_IO | fIOD_10_BIT_DECODE;
    resource.IO_Data[0].IOR_Alias = IO_ALIAS_10_BIT_DECODE;
    return resource;
}

IRQ_RESOURCE IrqDescriptor(uint32_t irq) {
    IRQ_RESOURCE resource = {};
    resource.IRQ_Header.IRQD_Count = 1;
    resource.IRQ_Header.IRQD_Type = IRQType_Range;
    resource.IRQ_Header.IRQD_Flags = fIRQD_Edge | fIRQD_Exclusive;
    resource.IRQ_Header.IRQD_Alloc_Num = irq;
    resource.IRQ_Header.IRQD_Affinity = 0xFFFFFFFFFFFFFFFFull;
    resource.IRQ_Data[0].IRQR_Min = irq;
    resource.IRQ_Data[0].IRQR_Max = irq;
    resource.IRQ_Data[0].IRQR_Flags = fIRQD_Edge | fIRQD_Exclusive;
    return resource;
}

DMA_RESOURCE DmaDescriptor(uint32_t channel) {
    DMA_RESOURCE resource = {};
    resource.DMA_Header.DD_Count = 1;
    resource.DMA_Header.DD_Type = DType_Range;
    resource.DMA_Header.DD_Flags = 0;
    resource.DMA_Header.DD_Alloc_Chan = channel;
    resource.DMA_Data[0].DR_Min = channel;
    resource.DMA_Data[0].DR_Max = channel;
    resource.DMA_Data[0].DR_Flags = 0;
    return resource;
}

// Connects, queries one descriptor against the current node and counts the claims. A failed
// query is taken as no conflict: only a failed connection is reported.
template <class Descriptor>
uint32_t QueryConflicts(RESOURCEID type, const Descriptor& descriptor, bool passMachine) {
    HMACHINE machine = nullptr;
    const CONFIGRET connected = CM_Connect_MachineA(nullptr, &machine);
    if (connected != CR_SUCCESS) {
        return connected;
    }
    Descriptor copy = descriptor;
    CONFLICT_LIST list = 0;
    ULONG count = 0;
    if (CM_Query_Resource_Conflict_List(&list, CurrentDeviceNode.deviceInfoData.DevInst, type,
                                        &copy, sizeof copy, 0,
                                        passMachine ? machine : nullptr) == CR_SUCCESS) {
        CM_Get_Resource_Conflict_Count(list, &count);
        CM_Free_Resource_Conflict_Handle(list);
    }
    CM_Disconnect_Machine(machine);
    return count != 0 ? kResultTaken : 0;
}

}  // namespace

uint32_t IsaResCheckBaseAddrConflict(uint32_t ioBase, uint32_t rangeLength) BOARDKIT_NOEXCEPT {
    if (ioBase == 0) {
        return 0;
    }
    return QueryConflicts(ResType_IO, IoDescriptor(ioBase, rangeLength), true);
}

uint32_t IsaResCheckIrqConflict(uint32_t irq) BOARDKIT_NOEXCEPT {
    if (irq == 0) {
        return 0;
    }
    return QueryConflicts(ResType_IRQ, IrqDescriptor(irq), false);
}

uint32_t IsaResCheckDmaConflict(uint32_t channel) BOARDKIT_NOEXCEPT {
    if (channel == 0) {
        return 0;
    }
    return QueryConflicts(ResType_DMA, DmaDescriptor(channel), false);
}

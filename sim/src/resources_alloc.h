// Allocated hardware resources of device nodes (I/O port ranges, IRQs, DMA channels) and the
// configuration-specific disable flag: run-time state that Windows keeps with the running
// tree, here in machine.json beside the device state.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "devices.h"
#include "simwin/cfgmgr32.h"

namespace sim {

// One allocated resource. For ResType_IRQ and ResType_DMA, first == last == the number.
struct Resource {
    RESOURCEID type = ResType_IO;
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    // For an I/O range that a device decodes with fewer address lines (fIOD_10_BIT_DECODE,
    // fIOD_12_BIT_DECODE): the mask of the bits it decodes; 0 decodes every bit.
    ULONGLONG decodeMask = 0;
};

// The resources a node is given whenever it runs, in descriptor order; empty for none.
const std::vector<Resource>& NodeResources(const DeviceNode& node);
void SetNodeResources(const DeviceNode& node, std::vector<Resource> resources);
// A node holds its resources only while it is present and started (no problem): a disabled
// or failed device has no allocated configuration.
bool HoldsResources(const DeviceNode& node);
// Whether two resources of one type meet: I/O ranges overlap (an address that one of them
// decodes only in part meets every alias, that is every address equal in the decoded bits), IRQ
// and DMA numbers are equal.
bool ResourcesMeet(const Resource& a, const Resource& b);

// Disabled in the current hardware profile (DICS_DISABLE with DICS_FLAG_CONFIGSPECIFIC).
bool DisabledHere(const DeviceNode& node);
void SetDisabledHere(const DeviceNode& node, bool disabled);

// Forgets what is kept for a node that was removed.
void ForgetNodeState(std::string_view instanceId);

}  // namespace sim

// The root-enumerated device node built by hand for boards that cannot announce themselves
// (legacy ISA boards and the demo device). One node is under construction per process run.
// The exported operations (CreateDeviceNode, SetResource, DeleteDeviceNode, CloseDeviceNode)
// are declared in boardkit/operations.h.
#pragma once
#include <cstdint>

#include "platform/win32.h"

// The node under construction. The set is null at process start and after Close/Delete, and
// INVALID_HANDLE_VALUE after a failed list creation; the element keeps the last node's DevInst
// (which the conflict checks query) even after the set is released.
struct LegacyDeviceNode {
    HDEVINFO deviceInfoSet;
    SP_DEVINFO_DATA deviceInfoData;
};

extern LegacyDeviceNode CurrentDeviceNode;

// The node's hardware ID buffer: 30 characters, the terminator and the list terminator.
constexpr std::size_t kNodeHardwareIdBufferSize = 32;

// Selects the best compatible driver of the one INF for the node and installs it through
// newdev's InstallSelectedDriver. 0 or an error code; prints a trace line once newdev is reached.
DWORD InstallIsaDriver(HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData, char* infPath,
                       DWORD* rebootRequired);

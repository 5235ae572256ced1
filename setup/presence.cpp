// The queries over the Configuration Manager tree and over SetupAPI device sets.
#include "setup/presence.h"

#include <cstdio>
#include <cstring>

#include "boardkit/operations.h"
#include "catalog/text.h"
#include "platform/unique.h"
#include "setup/device_properties.h"

namespace {

// The size of the buffer a node's hardware-ID list is read into: a longer list reads as
// "Unknown", as the node would on Windows' own tools with this buffer.
constexpr ULONG kNodeHardwareIdBytes = 460;
const char* const kUnknown = "Unknown";
const char* const kNoProblem = "0x00000000";
// A list that cannot be read ends the query with what it found so far.
constexpr HardwareIdReading kPresentReading{UnreadableIds::EndScan, 0};

std::vector<std::string>& ProblemList() {
    static std::vector<std::string> list;
    return list;
}

// Walks one level: the node, its subtree, then its siblings. True when the walk must end.
bool WalkLevel(DEVINST first, const std::function<bool(DEVINST)>& visit) {
    DEVINST node = first;
    for (;;) {
        DEVINST sibling = 0;
        const bool hasSibling = CM_Get_Sibling(&sibling, node, 0) == CR_SUCCESS;
        if (visit(node)) {
            return true;
        }
        DEVINST child = 0;
        if (CM_Get_Child(&child, node, 0) == CR_SUCCESS && WalkLevel(child, visit)) {
            return true;
        }
        if (!hasSibling) {
            return false;
        }
        node = sibling;
    }
}

bool HasWorkingStatus(DEVINST node) {
    ULONG status = 0;
    ULONG problem = 0;
    return CM_Get_DevNode_Status(&status, &problem, node, 0) == CR_SUCCESS && problem == 0;
}

}  // namespace

bool WalkDeviceTree(const std::function<bool(DEVINST node)>& visit) {
    DEVINST root = 0;
    if (CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
        return false;
    }
    DEVINST child = 0;
    if (CM_Get_Child(&child, root, 0) == CR_SUCCESS) {
        WalkLevel(child, visit);
    }
    return true;
}

std::string DevNodeProblemText(DEVINST node) {
    ULONG status = 0;
    ULONG problem = 0;
    if (CM_Get_DevNode_Status(&status, &problem, node, 0) != CR_SUCCESS) {
        return kUnknown;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(problem));
    return text;
}

std::string DevNodeFirstHardwareId(DEVINST node) {
    // One byte more than the size handed over, so the first string always ends in the buffer.
    char ids[kNodeHardwareIdBytes + 1] = {};
    ULONG length = kNodeHardwareIdBytes;
    if (CM_Get_DevNode_Registry_PropertyA(node, CM_DRP_HARDWAREID, nullptr, ids, &length, 0) !=
        CR_SUCCESS) {
        return kUnknown;
    }
    return ids;
}

bool CollectProblemHardwareIds() {
    std::vector<std::string>& list = ProblemList();
    list.clear();
    return WalkDeviceTree([&list](DEVINST node) {
        if (DevNodeProblemText(node) != kNoProblem) {
            list.push_back(DevNodeFirstHardwareId(node));
        }
        return false;
    });
}

const std::vector<std::string>& ProblemHardwareIds() {
    return ProblemList();
}

bool GetProblemHWID(std::vector<std::string>& list) {
    const bool walked = CollectProblemHardwareIds();
    list = ProblemList();
    return walked;
}

bool IsDeviceExist(char* hardwareId) BOARDKIT_NOEXCEPT {
    if (hardwareId == nullptr) {
        return false;
    }
    platform::UniqueDevInfo set(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set) {
        return false;
    }
    // Only the device's side is upper-cased: a given ID with lower-case letters never matches,
    // which callers of this query have always seen.
    const std::string_view given(hardwareId);
    const DeviceScanEnd end = ForEachDeviceHardwareIds(
        set.get(), kPresentReading, [&](SP_DEVINFO_DATA&, const char* ids) {
            return AnyHardwareId(
                ids, [&](std::string_view id) { return Contains(UpperCase(id), given); });
        });
    return end == DeviceScanEnd::Stopped;
}

bool IsDeviceExistInstalled(char* hardwareId, int* found) BOARDKIT_NOEXCEPT {
    int flag = 0;
    if (hardwareId != nullptr) {
        const std::string given = UpperCase(hardwareId);
        WalkDeviceTree([&](DEVINST node) {
            if (HasWorkingStatus(node) &&
                Contains(UpperCase(DevNodeFirstHardwareId(node)), given)) {
                flag = 1;
            }
            return flag != 0;
        });
    }
    if (found != nullptr) {
        *found = flag;
    }
    return true;
}

bool IsDeviceExistNotInstall(char* hardwareId, int* found) BOARDKIT_NOEXCEPT {
    int flag = 0;
    if (hardwareId != nullptr) {
        const std::string given = UpperCase(hardwareId);
        CollectProblemHardwareIds();
        const std::vector<std::string> problems = ProblemHardwareIds();
        for (const std::string& id : problems) {
            if (Contains(UpperCase(id), given)) {
                flag = 1;
                break;
            }
        }
    }
    if (found != nullptr) {
        *found = flag;
    }
    return true;
}

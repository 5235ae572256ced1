// The simulated machine's device tree: device nodes as the Plug and Play manager keeps them.
// Persistent properties live where Windows keeps them, in the registry under
// SYSTEM\CurrentControlSet\Enum\<instance ID> (and the driver key under Control\Class); what
// Windows knows only while running (presence, problem, parent link) is kept in machine.json.
//
// Other areas of sim (the device installer, resources) and the tools build and change the
// tree through these functions; SetupAPI and the Configuration Manager read it.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry_tree.h"
#include "simwin/cfgmgr32.h"
#include "simwin/guid.h"

namespace sim {

// Present: in the running tree. Phantom: remembered in the registry only (an absent board).
// Arriving: plugged in but not yet seen; becomes present at the next re-enumeration.
enum class Presence { Present, Phantom, Arriving };

// What a new node carries. Empty texts and lists are not written to the registry.
struct DeviceSpec {
    std::string instanceId;  // e.g. PCI\VEN_5AE3&DEV_0001\3&11583659&0&10
    std::string parentId;    // "" for a child of the root
    Presence presence = Presence::Present;
    std::vector<std::string> hardwareIds;
    std::vector<std::string> compatibleIds;
    std::string classGuid;  // "{4d36e97d-e325-11ce-bfc1-08002be10318}"
    std::string className;  // the Class value, e.g. "System"
    std::string service;
    std::string driver;  // the driver key below Control\Class, e.g. "{guid}\0003"
    std::string deviceDesc;
    std::string locationInformation;
    std::optional<DWORD> configFlags;
    // For a present node; 0 is a working device. Arriving nodes get theirs when they arrive.
    ULONG problem = 0;
};

struct DeviceNode {
    std::string instanceId;  // as created; lookups ignore case
    DEVINST devInst = 0;     // unique for the process, never reused
    Presence presence = Presence::Present;
    ULONG problem = 0;
    DeviceNode* parent = nullptr;
    std::vector<DeviceNode*> children;  // in creation order, phantoms included
    // The properties of an arriving board not yet remembered: written to its Enum key when it
    // arrives (a board the machine has seen before already has its key).
    std::optional<DeviceSpec> pending;
    // The Enum key as last found (see DeviceKey): device information sets read every node's
    // key, and the walk down from HKLM is spared while the key is not deleted.
    mutable std::weak_ptr<RegKey> enumKey;
    // The class read from that key's ClassGUID, and the key's revision when it was read (0: never):
    // device information sets read the class of every node.
    mutable uint64_t classRevision = 0;
    mutable GUID classGuid{};
};

// The root of the tree, HTREE\ROOT\0. It has no Enum key and is never listed in device
// information sets.
DeviceNode& RootDevice();
extern const char* const kRootInstanceId;

// Adds a node and writes its properties to its Enum key (created if missing; an existing
// key keeps the values this node leaves empty). Nothing when the ID is taken, empty, longer than
// MAX_DEVICE_ID_LEN - 1, or the parent is unknown.
DeviceNode* AddDevice(const DeviceSpec& spec);
DeviceNode* FindDevice(std::string_view instanceId);  // case-insensitive
DeviceNode* DeviceByDevInst(DEVINST devInst);
// Every node but the root, in creation order (the order device information sets list them).
std::vector<DeviceNode*> AllDevices();
// Removes the node, its Enum key and its driver key; its children become phantoms below
// the root. False when it is unknown or the root.
bool RemoveDevice(std::string_view instanceId);

// Removes the node as SetupDiRemoveDevice does. A board whose hardware is still plugged in
// (present, not made by software under ROOT\) is reported again by its bus: it stays known as
// an arriving node with what the bus reports (hardware and compatible IDs, location), which the
// next re-enumeration brings back. False when the node is unknown or the root.
bool UninstallDevice(std::string_view instanceId);

// Present, below present parents up to the root: a device of the running tree. A node below
// an absent parent is absent as well, whatever its own state says.
bool InRunningTree(const DeviceNode& node);
// The problem of a started node that has its driver: CM_PROB_DISABLED while it is disabled
// (globally in its ConfigFlags, or in this hardware profile), else 0.
ULONG StartedProblem(const DeviceNode& node);

void SetPresence(DeviceNode& node, Presence presence);
void SetProblem(DeviceNode& node, ULONG problem);
// DN_ flags as CM_Get_DevNode_Status reports them for a present node.
ULONG DeviceStatus(const DeviceNode& node);

// The node's key HKLM\SYSTEM\CurrentControlSet\Enum\<instance ID>; null for an arriving
// node that is not yet remembered.
RegKey* DeviceKey(const DeviceNode& node);
RegKey* DriverKey(const DeviceNode& node);  // Control\Class\<Driver value>, if it exists
// Creates the next free driver key Control\Class\{class}\NNNN for the node's ClassGUID and
// points the node's Driver value at it; null when the node has no class or no Enum key.
RegKey* CreateDriverKey(DeviceNode& node);
// The first unused ROOT\<CLASS NAME>\NNNN instance ID (the class name upper-cased).
std::string NextRootInstanceId(std::string_view className);

// Re-enumerates the subtree of `from`: arriving boards below present parents become present,
// and with `retryInstall` present nodes whose installation failed are tried again. Returns
// how many nodes changed.
unsigned ReenumerateDevices(DeviceNode& from, bool retryInstall);

// The device installer's hook: called for a node that needs a driver (a new arrival without
// one, a node marked for reinstallation, or a failed install being retried). It installs a
// driver and returns true, or returns false (the node then has CM_PROB_FAILED_INSTALL).
// Without a hook no driver is ever found.
using InstallHandler = std::function<bool(DeviceNode&)>;
void SetInstallHandler(InstallHandler handler);

// GUID text in registry form, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (lower case).
std::string GuidText(const GUID& guid);
std::optional<GUID> ParseGuid(std::string_view text);  // braces required, any case

// ConfigFlags bits (regstr.h) that re-enumeration reads and writes.
constexpr DWORD kConfigFlagDisabled = 0x00000001;
constexpr DWORD kConfigFlagReinstall = 0x00000020;
constexpr DWORD kConfigFlagFailedInstall = 0x00000040;

constexpr const char* kEnumKeyPath = "SYSTEM\\CurrentControlSet\\Enum";
constexpr const char* kClassKeyPath = "SYSTEM\\CurrentControlSet\\Control\\Class";

}  // namespace sim

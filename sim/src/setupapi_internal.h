// Device information sets as SetupAPI keeps them, shared by the SetupAPI files of sim.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "devices.h"
#include "simwin/setupapi.h"

namespace sim {

// What SetupDi{Get,Set}DeviceInstallParamsA carry for a set or one of its elements.
struct InstallParams {
    DWORD flags = 0;
    DWORD flagsEx = 0;
    std::string driverPath;
};

struct DevInfoElement {
    DEVINST devInst = 0;
    GUID classGuid{};
    // Created by SetupDiCreateDeviceInfoA and not yet registered: the node goes away with the
    // set unless SetupDiRegisterDeviceInfo keeps it.
    bool registered = true;
    InstallParams install;
    // The DIF_PROPERTYCHANGE parameters SetupDiSetClassInstallParamsA gave, if any.
    std::optional<SP_PROPCHANGE_PARAMS> propChange;
};

struct DeviceInfoSet {
    GUID classGuid{};  // GUID_NULL for a set of all classes
    bool hasClass = false;
    InstallParams install;                 // the set's own, for calls without an element
    std::vector<DevInfoElement> elements;  // SP_DEVINFO_DATA.Reserved is index + 1
};

// The set behind a handle, or null with ERROR_INVALID_HANDLE set.
DeviceInfoSet* FindInfoSet(HDEVINFO handle);
// The element that `data` names in `set`, or null with the last error set as Windows does
// (ERROR_INVALID_PARAMETER for a null or foreign element, ERROR_INVALID_USER_BUFFER for a
// wrong cbSize).
DevInfoElement* FindElement(DeviceInfoSet& set, const SP_DEVINFO_DATA* data);
// The node of an element, or null with ERROR_NO_SUCH_DEVINST set.
DeviceNode* ElementNode(const DevInfoElement& element);
// An element of a set and its device node.
struct Device {
    DevInfoElement* element = nullptr;
    DeviceNode* node = nullptr;
};
// The element `data` names in the set behind `handle`, and its node: the one validating lookup
// of the calls that take an element. Both are null when the set, the element or the node is not
// found, with the last error that lookup sets.
Device GetDevice(HDEVINFO handle, const SP_DEVINFO_DATA* data);
// Fills the caller's SP_DEVINFO_DATA for element `index` of `set`.
void FillInfoData(const DeviceInfoSet& set, size_t index, SP_DEVINFO_DATA& data);
// Appends a node to a set and returns its index.
size_t AddElement(DeviceInfoSet& set, const DeviceNode& node, bool registered);
// The instance ID an element names, for fault arguments ("" when it names nothing).
std::string PeekInstanceId(HDEVINFO handle, const SP_DEVINFO_DATA* data);
// The node's ClassGUID value, GUID_NULL when it has none.
GUID NodeClassGuid(const DeviceNode& node);

// A device registry property as the ANSI functions return it: type and bytes.
struct PropertyData {
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
};
enum class PropertyLookup { Found, Missing, NotModelled };
// `property` is an SPDRP_ value below SPDRP_MAXIMUM_PROPERTY.
PropertyLookup ReadProperty(const DeviceNode& node, DWORD property, PropertyData& out);

}  // namespace sim

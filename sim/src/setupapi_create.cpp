// Making and removing device nodes through SetupAPI: SetupDiCreateDeviceInfoA,
// SetupDiRegisterDeviceInfo, SetupDiRemoveDevice, and SetupDiOpenDevRegKey.
#include "choke.h"
#include "devices_internal.h"
#include "machine.h"
#include "setupapi_internal.h"

namespace sim {
namespace {

// The device installer writes below HKLM: without administrator rights it is refused.
bool Elevated() {
    if (!Settings().elevated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// The instance ID a create call asks for, or "" with the last error set.
std::string RequestedId(PCSTR name, DWORD flags) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_DEVINST_NAME);
        return std::string();
    }
    if ((flags & DICD_GENERATE_ID) == 0) {
        if (FindDevice(name) != nullptr) {
            SetLastError(ERROR_DEVINST_ALREADY_EXISTS);
            return std::string();
        }
        return name;
    }
    // A generated ID is ROOT\<name>\NNNN: the name must be one component.
    if (std::string_view(name).find('\\') != std::string_view::npos) {
        SetLastError(ERROR_INVALID_DEVINST_NAME);
        return std::string();
    }
    return NextRootInstanceId(name);
}

bool RootEnumerated(const DeviceNode& node) {
    return node.instanceId.size() > 5 && FoldName(node.instanceId.substr(0, 5)) == "ROOT\\";
}

HKEY OpenKeyBelowHklm(const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(status == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DOES_NOT_EXIST
                                                    : static_cast<DWORD>(status));
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    return key;
}

}  // namespace
}  // namespace sim

extern "C" {

BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO DeviceInfoSet, PCSTR DeviceName,
                                     const GUID* ClassGuid, PCSTR DeviceDescription,
                                     HWND hwndParent, DWORD CreationFlags,
                                     PSP_DEVINFO_DATA DeviceInfoData) {
    (void)hwndParent;
    sim::ApiCall call("SetupDiCreateDeviceInfoA", DeviceName != nullptr ? DeviceName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::DeviceInfoSet* set = sim::FindInfoSet(DeviceInfoSet);
    if (set == nullptr) {
        return FALSE;
    }
    if (ClassGuid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((CreationFlags & ~static_cast<DWORD>(DICD_GENERATE_ID | DICD_INHERIT_CLASSDRVS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    if (set->hasClass && set->classGuid != *ClassGuid) {
        SetLastError(ERROR_CLASS_MISMATCH);
        return FALSE;
    }
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (!sim::Elevated()) {
        return FALSE;
    }
    sim::DeviceSpec spec;
    spec.instanceId = sim::RequestedId(DeviceName, CreationFlags);
    if (spec.instanceId.empty()) {
        return FALSE;
    }
    // Until it is registered the node exists in the registry only, like an absent board.
    spec.presence = sim::Presence::Phantom;
    spec.classGuid = sim::GuidText(*ClassGuid);
    spec.deviceDesc = DeviceDescription != nullptr ? DeviceDescription : "";
    sim::DeviceNode* node = sim::AddDevice(spec);
    if (node == nullptr) {
        SetLastError(ERROR_INVALID_DEVINST_NAME);
        return FALSE;
    }
    const size_t index = sim::AddElement(*set, *node, false);
    if (DeviceInfoData != nullptr) {
        sim::FillInfoData(*set, index, *DeviceInfoData);
    }
    sim::Journal("SetupDiCreateDeviceInfoA", node->instanceId, TRUE);
    return TRUE;
}

BOOL WINAPI SetupDiRegisterDeviceInfo(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                      DWORD Flags, PSP_DETSIG_CMPPROC CompareProc,
                                      PVOID CompareContext, PSP_DEVINFO_DATA DupDeviceInfoData) {
    (void)CompareProc;
    (void)CompareContext;
    (void)DupDeviceInfoData;
    sim::ApiCall call("SetupDiRegisterDeviceInfo",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto [element, node] = sim::GetDevice(DeviceInfoSet, DeviceInfoData);
    if (node == nullptr) {
        return FALSE;
    }
    if ((Flags & ~static_cast<DWORD>(SPRDI_FIND_DUPS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    if ((Flags & SPRDI_FIND_DUPS) != 0) {
        sim::NotModelled("SetupDiRegisterDeviceInfo", "SPRDI_FIND_DUPS");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (element->registered) {
        return TRUE;
    }
    if (!sim::Elevated()) {
        return FALSE;
    }
    element->registered = true;
    // A root-enumerated node is started by the Plug and Play manager at once; with no driver
    // yet installed it shows Code 28 until the device installer gives it one.
    if (sim::RootEnumerated(*node)) {
        node->presence = sim::Presence::Present;
        sim::RegKey* key = sim::DeviceKey(*node);
        const bool hasDriver = key != nullptr && sim::GetStringValue(*key, "Driver");
        node->problem = hasDriver ? 0 : CM_PROB_FAILED_INSTALL;
        sim::ChangedDevices();
    }
    sim::Journal("SetupDiRegisterDeviceInfo", node->instanceId, TRUE);
    return TRUE;
}

BOOL WINAPI SetupDiRemoveDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
    const std::string id = sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData);
    sim::ApiCall call("SetupDiRemoveDevice", id);
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto [element, node] = sim::GetDevice(DeviceInfoSet, DeviceInfoData);
    if (node == nullptr || !sim::Elevated()) {
        return FALSE;
    }
    element->registered = true;  // nothing is left for the set to discard
    sim::UninstallDevice(id);
    sim::Journal("SetupDiRemoveDevice", id, TRUE);
    return TRUE;
}

HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 DWORD Scope, DWORD HwProfile, DWORD KeyType, REGSAM samDesired) {
    (void)HwProfile;
    sim::ApiCall call("SetupDiOpenDevRegKey", sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    const HKEY failed = static_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return failed;
    }
    sim::DeviceNode* node = sim::GetDevice(DeviceInfoSet, DeviceInfoData).node;
    if (node == nullptr) {
        return failed;
    }
    if (Scope != DICS_FLAG_GLOBAL) {
        sim::NotModelled("SetupDiOpenDevRegKey", "hardware profile scope");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return failed;
    }
    if (KeyType == DIREG_DEV) {
        return sim::OpenKeyBelowHklm(
            std::string(sim::kEnumKeyPath) + "\\" + node->instanceId + "\\Device Parameters",
            samDesired);
    }
    if (KeyType != DIREG_DRV) {
        SetLastError(ERROR_INVALID_FLAGS);
        return failed;
    }
    sim::RegKey* driverKey = sim::DriverKey(*node);
    if (driverKey == nullptr) {
        SetLastError(ERROR_KEY_DOES_NOT_EXIST);
        return failed;
    }
    return sim::OpenKeyBelowHklm(sim::KeyPath(*driverKey), samDesired);
}

}  // extern "C"

// Install parameters of device information elements, property-change parameters, and the
// default DIF_PROPERTYCHANGE handler SetupDiChangeState that enables and disables devices.
#include <cstring>

#include "choke.h"
#include "devices_internal.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "resources_alloc.h"
#include "setupapi_internal.h"
#include "text.h"

namespace sim {
namespace {

constexpr DWORD kClassInstallParamsFlag = 0x00100000;  // DI_CLASSINSTALLPARAMS

// The element a call names, or null with the last error set; a null element is the set itself.
bool Resolve(HDEVINFO handle, PSP_DEVINFO_DATA data, DeviceInfoSet*& set,
             DevInfoElement*& element) {
    set = FindInfoSet(handle);
    element = nullptr;
    if (set == nullptr) {
        return false;
    }
    if (data == nullptr) {
        return true;
    }
    element = FindElement(*set, data);
    return element != nullptr;
}

InstallParams& ParamsOf(DeviceInfoSet& set, DevInfoElement* element) {
    return element != nullptr ? element->install : set.install;
}

// The checks both install-parameter calls make before touching the parameters: a known set
// (and element), a buffer, and the size of the ANSI structure.
InstallParams* ResolveInstallParams(HDEVINFO handle, PSP_DEVINFO_DATA data,
                                    PSP_DEVINSTALL_PARAMS_A buffer) {
    DeviceInfoSet* set = nullptr;
    DevInfoElement* element = nullptr;
    if (!Resolve(handle, data, set, element)) {
        return nullptr;
    }
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (buffer->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    return &ParamsOf(*set, element);
}

// Every file the node's installed driver put on the machine: its install section's copies
// and its service binary. A process holding one keeps the driver from being stopped.
std::vector<std::string> DriverFiles(const DeviceNode& node) {
    std::vector<std::string> list;
    RegKey* deviceKey = DeviceKey(node);
    if (RegKey* driverKey = DriverKey(node)) {
        const std::string oem = GetStringValue(*driverKey, "InfPath").value_or("");
        const std::string section = GetStringValue(*driverKey, "InfSection").value_or("") +
                                    GetStringValue(*driverKey, "InfSectionExt").value_or("");
        store::Package package;
        std::vector<store::PackageFile> copies;
        if (!oem.empty() &&
            store::ReadPackage(store::JoinPath(store::kInfFolder, oem), package) == 0 &&
            store::InstallFiles(package.inf, section, copies) == 0) {
            for (const store::PackageFile& f : copies) {
                list.push_back(f.destination);
            }
        }
    }
    const std::string service =
        deviceKey ? GetStringValue(*deviceKey, "Service").value_or("") : std::string();
    if (RegKey* key = service.empty()
                          ? nullptr
                          : FindKey(Hklm(), "SYSTEM\\CurrentControlSet\\Services\\" + service)) {
        std::string image = GetStringValue(*key, "ImagePath").value_or("");
        const std::string root = "\\SystemRoot\\";
        if (image.size() > root.size() &&
            sim::EqualNoCase(image.substr(0, root.size()), root, sim::CaseRule::kAscii)) {
            image = "C:\\Windows\\" + image.substr(root.size());
        }
        if (!image.empty()) {
            list.push_back(image);
        }
    }
    return list;
}

bool DriverInUse(const DeviceNode& node) {
    for (const std::string& path : DriverFiles(node)) {
        if (files::IsHeld(path)) {
            return true;
        }
    }
    return false;
}

bool DisabledGlobally(const DeviceNode& node) {
    RegKey* key = DeviceKey(node);
    return key != nullptr &&
           (GetDwordValue(*key, "ConfigFlags").value_or(0) & kConfigFlagDisabled) != 0;
}

void SetGlobalDisable(DeviceNode& node, bool disabled) {
    RegKey* key = DeviceKey(node);
    if (key == nullptr) {
        return;
    }
    const DWORD flags = GetDwordValue(*key, "ConfigFlags").value_or(0);
    SetDwordValue(*key, "ConfigFlags",
                  disabled ? (flags | kConfigFlagDisabled) : (flags & ~kConfigFlagDisabled));
    ChangedRegistry();
}

// Records the new disable flags and, unless the driver cannot be stopped now, brings the
// running node in line with them. Returns whether a restart is needed for the change.
bool ApplyStateChange(DeviceNode& node, const SP_PROPCHANGE_PARAMS& change) {
    const bool disable = change.StateChange == DICS_DISABLE;
    if (change.Scope == DICS_FLAG_GLOBAL) {
        SetGlobalDisable(node, disable);
    } else {
        SetDisabledHere(node, disable);
    }
    const bool wantDisabled = DisabledGlobally(node) || DisabledHere(node);
    if (!InRunningTree(node)) {
        return false;
    }
    const bool isDisabled = node.problem == CM_PROB_DISABLED;
    if (wantDisabled == isDisabled) {
        return false;
    }
    // A running driver whose files a process holds cannot be unloaded: Windows asks for a
    // restart and the running state stays as it is until then.
    if (!isDisabled && DriverInUse(node)) {
        return true;
    }
    SetProblem(node, wantDisabled ? CM_PROB_DISABLED : 0);
    return false;
}

DWORD CheckPropChange(const SP_CLASSINSTALL_HEADER* header, DWORD size) {
    if (size != sizeof(SP_PROPCHANGE_PARAMS)) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto* change = reinterpret_cast<const SP_PROPCHANGE_PARAMS*>(header);
    if (change->StateChange < DICS_ENABLE || change->StateChange > DICS_STOP) {
        return ERROR_INVALID_FLAGS;
    }
    if (change->Scope != DICS_FLAG_GLOBAL && change->Scope != DICS_FLAG_CONFIGSPECIFIC &&
        change->Scope != DICS_FLAG_CONFIGGENERAL) {
        return ERROR_INVALID_FLAGS;
    }
    return 0;
}

}  // namespace
}  // namespace sim

extern "C" {

BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                           PSP_DEVINSTALL_PARAMS_A DeviceInstallParams) {
    sim::ApiCall call("SetupDiGetDeviceInstallParamsA",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::InstallParams* params =
        sim::ResolveInstallParams(DeviceInfoSet, DeviceInfoData, DeviceInstallParams);
    if (params == nullptr) {
        return FALSE;
    }
    std::memset(DeviceInstallParams, 0, sizeof(SP_DEVINSTALL_PARAMS_A));
    DeviceInstallParams->cbSize = sizeof(SP_DEVINSTALL_PARAMS_A);
    DeviceInstallParams->Flags = params->flags;
    DeviceInstallParams->FlagsEx = params->flagsEx;
    // The setter refuses paths that do not fit, so this always ends inside the field.
    std::memcpy(DeviceInstallParams->DriverPath, params->driverPath.c_str(),
                params->driverPath.size() + 1);
    return TRUE;
}

BOOL WINAPI SetupDiSetDeviceInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                           PSP_DEVINSTALL_PARAMS_A DeviceInstallParams) {
    sim::ApiCall call("SetupDiSetDeviceInstallParamsA",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::InstallParams* params =
        sim::ResolveInstallParams(DeviceInfoSet, DeviceInfoData, DeviceInstallParams);
    if (params == nullptr) {
        return FALSE;
    }
    const char* path = DeviceInstallParams->DriverPath;
    const void* end = std::memchr(path, '\0', MAX_PATH);
    if (end == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (DeviceInstallParams->InstallMsgHandler != nullptr ||
        DeviceInstallParams->FileQueue != nullptr) {
        sim::NotModelled("SetupDiSetDeviceInstallParamsA", "file queues and message handlers");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    params->flags = DeviceInstallParams->Flags;
    params->flagsEx = DeviceInstallParams->FlagsEx;
    params->driverPath.assign(path, static_cast<const char*>(end));
    return TRUE;
}

BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                          PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                          DWORD ClassInstallParamsSize) {
    sim::ApiCall call("SetupDiSetClassInstallParamsA",
                      sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData));
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    sim::DeviceInfoSet* set = nullptr;
    sim::DevInfoElement* element = nullptr;
    if (!sim::Resolve(DeviceInfoSet, DeviceInfoData, set, element)) {
        return FALSE;
    }
    if (element == nullptr) {
        sim::NotModelled("SetupDiSetClassInstallParamsA", "class install parameters of a set");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (ClassInstallParams == nullptr) {
        if (ClassInstallParamsSize != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        element->propChange.reset();
        element->install.flags &= ~sim::kClassInstallParamsFlag;
        return TRUE;
    }
    if (ClassInstallParams->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (ClassInstallParams->InstallFunction != DIF_PROPERTYCHANGE) {
        sim::NotModelled("SetupDiSetClassInstallParamsA",
                         "install function " + std::to_string(ClassInstallParams->InstallFunction));
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (DWORD e = sim::CheckPropChange(ClassInstallParams, ClassInstallParamsSize)) {
        SetLastError(e);
        return FALSE;
    }
    element->propChange = *reinterpret_cast<const SP_PROPCHANGE_PARAMS*>(ClassInstallParams);
    element->install.flags |= sim::kClassInstallParamsFlag;
    return TRUE;
}

BOOL WINAPI SetupDiChangeState(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
    const std::string id = sim::PeekInstanceId(DeviceInfoSet, DeviceInfoData);
    sim::ApiCall call("SetupDiChangeState", id);
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto [element, node] = sim::GetDevice(DeviceInfoSet, DeviceInfoData);
    if (node == nullptr) {
        return FALSE;
    }
    if (!element->propChange) {
        SetLastError(ERROR_NO_CLASSINSTALL_PARAMS);
        return FALSE;
    }
    const SP_PROPCHANGE_PARAMS change = *element->propChange;
    if (change.StateChange != DICS_ENABLE && change.StateChange != DICS_DISABLE) {
        sim::NotModelled("SetupDiChangeState",
                         "state change " + std::to_string(change.StateChange));
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (change.Scope == DICS_FLAG_CONFIGGENERAL) {
        sim::NotModelled("SetupDiChangeState", "DICS_FLAG_CONFIGGENERAL");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (!sim::Settings().elevated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (sim::ApplyStateChange(*node, change)) {
        element->install.flags |= DI_NEEDRESTART;
    }
    std::string args = id + (change.StateChange == DICS_ENABLE ? " enable" : " disable") +
                       (change.Scope == DICS_FLAG_GLOBAL ? " global" : " configspecific");
    if ((element->install.flags & DI_NEEDRESTART) != 0) {
        args += " (restart)";
    }
    sim::Journal("SetupDiChangeState", args, TRUE);
    return TRUE;
}

}  // extern "C"

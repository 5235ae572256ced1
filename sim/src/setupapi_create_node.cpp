// The class of a device INF: SetupDiGetINFClassA reads the class name and GUID of [Version], as
// the device installer does before it creates a node for the INF.
#include <cstring>

#include "choke.h"
#include "driver_store.h"
#include "setupapi_internal.h"

using sim::FailWith;

extern "C" BOOL WINAPI SetupDiGetINFClassA(PCSTR InfName, LPGUID ClassGuid, PSTR ClassName,
                                           DWORD ClassNameSize, PDWORD RequiredSize) {
    sim::ApiCall call("SetupDiGetINFClassA", InfName != nullptr ? InfName : "");
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    if (InfName == nullptr || ClassGuid == nullptr ||
        (ClassName == nullptr && ClassNameSize != 0)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    sim::store::Package package;
    if (DWORD e = sim::store::ReadPackage(InfName, package)) {
        return FailWith(e);
    }
    const std::string name = sim::inf::Value(package.inf, "Version", "Class").value_or("");
    const std::string guidText = sim::inf::Value(package.inf, "Version", "ClassGuid").value_or("");
    // A device INF names its class; without one there is nothing to create a node in.
    if (name.empty() && guidText.empty()) {
        return FailWith(ERROR_INVALID_CLASS);
    }
    std::optional<GUID> guid = guidText.empty() ? GUID{} : sim::ParseGuid(guidText);
    if (!guid) {
        return FailWith(ERROR_INVALID_CLASS);
    }
    const DWORD required = static_cast<DWORD>(name.size() + 1);
    if (RequiredSize != nullptr) {
        *RequiredSize = required;
    }
    if (required > ClassNameSize) {
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(ClassName, name.c_str(), required);
    *ClassGuid = *guid;
    return TRUE;
}

// SetupCopyOEMInfA and SetupUninstallOEMInfA: staging a driver package into the store as
// C:\Windows\INF\oem<N>.inf and removing such a copy, with the Win32 contract Windows has.
#include <cstring>

#include "choke.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "simwin/setupapi_store.h"

namespace {

using namespace sim::store;
using sim::FailWith;

std::string Text(const char* text) {
    return text != nullptr ? text : "(null)";
}

// The name protocol: RequiredSize always learns the size (characters with the terminator);
// a buffer too small fails the call before anything changes.
DWORD CheckNameBuffer(const std::string& full, PSTR buffer, DWORD size, PDWORD required) {
    const DWORD needed = static_cast<DWORD>(full.size() + 1);
    if (required != nullptr)
        *required = needed;
    return buffer != nullptr && size < needed ? static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER) : 0;
}

void ReportName(const std::string& full, PSTR buffer, PSTR* component) {
    if (buffer == nullptr)
        return;
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    if (component != nullptr)
        *component = buffer + full.rfind('\\') + 1;
}

BOOL CopyResult(const std::string& args, BOOL result, DWORD error) {
    sim::Journal("SetupCopyOEMInfA", args, result ? 0 : static_cast<long long>(error));
    if (!result)
        SetLastError(error);
    return result;
}

}  // namespace

BOOL WINAPI SetupCopyOEMInfA(PCSTR SourceInfFileName, PCSTR OEMSourceMediaLocation,
                             DWORD OEMSourceMediaType, DWORD CopyStyle, PSTR DestinationInfFileName,
                             DWORD DestinationInfFileNameSize, PDWORD RequiredSize,
                             PSTR* DestinationInfFileNameComponent) {
    sim::ApiCall call("SetupCopyOEMInfA", SourceInfFileName != nullptr ? SourceInfFileName : "");
    if (DWORD e = call.fault())
        return FailWith(e);
    (void)OEMSourceMediaLocation;  // remembered by Windows in the .pnf only
    if (SourceInfFileName == nullptr || OEMSourceMediaType >= SPOST_MAX ||
        (DestinationInfFileName == nullptr && DestinationInfFileNameSize != 0))
        return FailWith(ERROR_INVALID_PARAMETER);
    Package package;
    if (DWORD e = ReadPackage(SourceInfFileName, package))
        return FailWith(e);
    if (!sim::Settings().elevated)
        return FailWith(ERROR_ACCESS_DENIED);

    std::string oemName = FindStagedCopy(package.bytes);
    const bool staged = !oemName.empty();
    const std::string args = Text(SourceInfFileName) + ", style=" + std::to_string(CopyStyle);
    if (!staged && (CopyStyle & (SP_COPY_REPLACEONLY | SP_COPY_OEMINF_CATALOG_ONLY)) != 0)
        return CopyResult(args, FALSE, ERROR_FILE_NOT_FOUND);
    if (!staged)
        oemName = NextOemName();
    const std::string full = std::string(kInfFolder) + "\\" + oemName;
    if (DWORD e =
            CheckNameBuffer(full, DestinationInfFileName, DestinationInfFileNameSize, RequiredSize))
        return FailWith(e);
    // An identical package already in the store is not copied again, yet its name is told.
    if (staged && (CopyStyle & SP_COPY_NOOVERWRITE) != 0) {
        ReportName(full, DestinationInfFileName, DestinationInfFileNameComponent);
        return CopyResult(args, FALSE, ERROR_FILE_EXISTS);
    }
    if ((CopyStyle & SP_COPY_OEMINF_CATALOG_ONLY) == 0) {
        if (DWORD e = WritePackage(package, oemName))
            return CopyResult(args, FALSE, e);
        if ((CopyStyle & SP_COPY_DELETESOURCE) != 0)
            sim::files::RemoveFile(SourceInfFileName);
    }
    ReportName(full, DestinationInfFileName, DestinationInfFileNameComponent);
    return CopyResult(args + " -> " + oemName, TRUE, 0);
}

BOOL WINAPI SetupUninstallOEMInfA(PCSTR InfFileName, DWORD Flags, PVOID Reserved) {
    sim::ApiCall call("SetupUninstallOEMInfA", InfFileName != nullptr ? InfFileName : "");
    if (DWORD e = call.fault())
        return FailWith(e);
    if (InfFileName == nullptr || Reserved != nullptr ||
        std::strpbrk(InfFileName, "\\/:") != nullptr)
        return FailWith(ERROR_INVALID_PARAMETER);
    if ((Flags & ~static_cast<DWORD>(SUOI_FORCEDELETE | SUOI_INTERNAL1)) != 0)
        return FailWith(ERROR_INVALID_FLAGS);
    const std::string name = InfFileName;
    // Only the copies the store made can be removed this way; the system's own INFs cannot.
    if (!IsOemName(name))
        return FailWith(ERROR_NOT_AN_INSTALLED_OEM_INF);
    if (!sim::files::Exists(JoinPath(kInfFolder, name)))
        return FailWith(ERROR_FILE_NOT_FOUND);
    if (!sim::Settings().elevated)
        return FailWith(ERROR_ACCESS_DENIED);
    const std::string args = name + ", flags=" + std::to_string(Flags);
    if ((Flags & SUOI_FORCEDELETE) == 0 && !DevicesUsingInf(name).empty()) {
        sim::Journal("SetupUninstallOEMInfA", args,
                     static_cast<long long>(ERROR_INF_IN_USE_BY_DEVICES));
        return FailWith(ERROR_INF_IN_USE_BY_DEVICES);
    }
    RemovePackage(name);
    sim::Journal("SetupUninstallOEMInfA", args, 0);
    return TRUE;
}

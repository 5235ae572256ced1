// IsDeviceUsing: whether a board's user-mode library is loaded by some program.
//
// Windows refuses to delete a library that a process has mapped, so the test is to move the
// library aside and back: copy it to a side copy, try to delete it, and put it back. The
// library is never lost: it is deleted only once its side copy exists, and the side copy is
// removed only once the library is back in place.
#include <cstdio>
#include <string>

#include "boardkit/operations.h"
#include "catalog/catalog.h"
#include "catalog/text.h"
#include "platform/unique.h"
#include "setup/device_properties.h"
#include "setup/system_paths.h"

namespace {

// A list that cannot be read ends the query: the library is not tested.
constexpr HardwareIdReading kBoardReading{UnreadableIds::EndScan, 0};

enum class LibraryState { Absent, Free, InUse };

// The side copy's name: "s" before the last four characters (".dll").
bool SideCopyName(std::string_view library, std::string& out) {
    if (library.size() < 4) {
        return false;
    }
    out.assign(library.substr(0, library.size() - 4));
    out += 's';
    out.append(library.substr(library.size() - 4));
    return true;
}

// Without a side copy the library must not be deleted. Opening it for writing tells the same
// without risk: Windows refuses that for a mapped image with ERROR_SHARING_VIOLATION. Any
// other refusal leaves the question open, and an open question is answered "in use", so that
// a setup program does not go on to replace a library that may be loaded.
LibraryState ProbeWithoutSideCopy(const std::string& library) {
    platform::UniqueFile file(CreateFileA(library.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? LibraryState::Free : LibraryState::InUse;
}

LibraryState TestLibrary(const std::string& library, const std::string& sideCopy) {
    if (!FileExists(library.c_str(), Existence::FileOnly)) {
        return LibraryState::Absent;
    }
    if (!CopyFileA(library.c_str(), sideCopy.c_str(), FALSE)) {
        return ProbeWithoutSideCopy(library);
    }
    if (!DeleteFileA(library.c_str())) {
        DeleteFileA(sideCopy.c_str());
        return LibraryState::InUse;
    }
    if (!CopyFileA(sideCopy.c_str(), library.c_str(), FALSE)) {
        // The side copy is now the only copy: it stays, and the library counts as in use so
        // that nobody goes on as if all were in order.
        const DWORD error = GetLastError();
        std::printf("IsDeviceUsing: %s could not be restored (error 0x%x); it is kept as %s\n",
                    library.c_str(), static_cast<unsigned>(error), sideCopy.c_str());
        return LibraryState::InUse;
    }
    DeleteFileA(sideCopy.c_str());
    return LibraryState::Free;
}

// The first present board of the board class whose first hardware ID contains the text.
bool BoardPresent(const std::string& upperHardwareId) {
    platform::UniqueDevInfo set(
        SetupDiGetClassDevsA(&kBoardDeviceClassGuid, nullptr, nullptr, DIGCF_PRESENT));
    if (!set) {
        return false;
    }
    const DeviceScanEnd end =
        ForEachDeviceHardwareIds(set.get(), kBoardReading, [&](SP_DEVINFO_DATA&, const char* ids) {
            return Contains(UpperCase(FirstHardwareId(ids)), upperHardwareId);
        });
    return end == DeviceScanEnd::Stopped;
}

}  // namespace

bool IsDeviceUsing(char* hardwareId) BOARDKIT_NOEXCEPT {
    if (hardwareId == nullptr || !BoardPresent(UpperCase(hardwareId))) {
        return false;
    }
    std::string windows;
    if (!WindowsFolder(windows)) {
        return GetLastError() != 0;
    }
    const CatalogEntry* row = CatalogFindByHardwareIdEqual(hardwareId);
    std::string sideName;
    if (row == nullptr || !SideCopyName(row->userDll, sideName)) {
        return false;
    }
    // system32 holds the 64-bit library, SysWOW64 the 32-bit one; system32 is tested first,
    // and a library locked there settles the answer.
    for (const char* folder : {"\\system32\\", "\\SysWOW64\\"}) {
        std::string library;
        std::string sideCopy;
        // A path that does not fit is not built: that library is not touched.
        if (!ComposePath(library, {windows, folder, row->userDll}) ||
            !ComposePath(sideCopy, {windows, folder, sideName})) {
            continue;
        }
        if (TestLibrary(library, sideCopy) == LibraryState::InUse) {
            return true;
        }
    }
    return false;
}

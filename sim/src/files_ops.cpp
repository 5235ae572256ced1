// The file functions that work on names: the Windows and system folders, attributes,
// folders, copying and deleting.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "choke.h"
#include "file_system.h"
#include "machine.h"
#include "text.h"
#include "simwin/files.h"

namespace {

using sim::FailWith;
using sim::files::Found;
using sim::files::Location;

constexpr char kWindowsFolder[] = "C:\\Windows";
constexpr char kSystemFolder[] = "C:\\Windows\\system32";

// The folder query contract: the length copied without the terminator, or the size needed
// with it when the buffer is too small (the buffer is then left alone).
UINT CopyFolder(const char* folder, LPSTR buffer, UINT size) {
    const UINT length = static_cast<UINT>(std::strlen(folder));
    if (buffer == nullptr || size < length + 1) {
        return length + 1;
    }
    std::memcpy(buffer, folder, length + 1);
    return length;
}

bool MayChange(const Location& where) {
    if (where.host) {
        return sim::files::HostChangeRefused(where) == 0;
    }
    return !sim::files::IsProtected(where) || sim::Settings().elevated;
}

BOOL Journaled(const char* api, const std::string& args, BOOL result) {
    sim::Journal(api, args, result);
    return result;
}

bool SameFile(const Location& a, const Location& b) {
    return a.host == b.host &&
           (a.host ? a.hostPath == b.hostPath
                   : sim::EqualNoCase(a.Text(), b.Text(), sim::CaseRule::kAscii));
}

// Reads the source of a copy as CopyFileA opens it: for reading, sharing reading.
DWORD ReadSource(const Location& where, std::string& bytes, Found& found) {
    found = sim::files::Lookup(where);
    if (found.error != 0) {
        return found.error;
    }
    if (found.directory) {
        return ERROR_ACCESS_DENIED;
    }
    if (where.host) {
        return sim::files::ReadWholeFile(where.hostPath, bytes) ? 0 : ERROR_ACCESS_DENIED;
    }
    sim::files::OpenMode mode;
    mode.read = true;
    mode.share = FILE_SHARE_READ;
    if (sim::files::ShareConflict(*found.file, mode)) {
        return ERROR_SHARING_VIOLATION;
    }
    sim::files::EnsureContent(*found.file);
    bytes = found.file->bytes;
    return 0;
}

DWORD CheckTarget(const Location& target, const Location& source, BOOL failIfExists) {
    Found found = sim::files::Lookup(target);
    if (found.error != 0 && found.error != ERROR_FILE_NOT_FOUND) {
        return found.error;
    }
    const bool exists = found.error == 0;
    if (exists && found.directory) {
        return ERROR_ACCESS_DENIED;
    }
    if (exists && SameFile(target, source)) {
        return ERROR_SHARING_VIOLATION;
    }
    if (exists && failIfExists) {
        return ERROR_FILE_EXISTS;
    }
    if (!MayChange(target)) {
        return ERROR_ACCESS_DENIED;
    }
    if (exists && sim::files::IsHeld(target)) {
        return ERROR_SHARING_VIOLATION;
    }
    if (exists && found.file) {
        sim::files::OpenMode mode;
        mode.write = true;
        if (sim::files::ShareConflict(*found.file, mode)) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    return 0;
}

DWORD WriteTarget(const Location& target, const std::string& bytes, const Found& source) {
    if (target.host) {
        return sim::files::WriteWholeFile(target.hostPath, bytes);
    }
    DWORD error = 0;
    std::shared_ptr<sim::files::File> file = sim::files::CreateDriveFile(target, error);
    if (!file) {
        return error;
    }
    file->bytes = bytes;
    // A copy keeps its source's attributes and time of last change.
    file->attributes = source.info.attributes;
    file->writeTime = source.info.writeTime;
    return 0;
}

DWORD DeleteAt(const Location& where) {
    Found found = sim::files::Lookup(where);
    if (found.error != 0) {
        return found.error;
    }
    if (found.directory || !MayChange(where)) {
        return ERROR_ACCESS_DENIED;
    }
    // A loaded image cannot be deleted: its section holds the file.
    if (sim::files::IsHeld(where)) {
        return ERROR_ACCESS_DENIED;
    }
    if (where.host) {
        return ::unlink(where.hostPath.c_str()) == 0 ? 0
                                                     : sim::files::HostError(errno, where.hostPath);
    }
    sim::files::OpenMode mode;
    mode.del = true;
    mode.share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (sim::files::ShareConflict(*found.file, mode)) {
        return ERROR_SHARING_VIOLATION;
    }
    return sim::files::RemoveDriveEntry(where);
}

DWORD RemoveFolderAt(const Location& where) {
    Found found = sim::files::Lookup(where);
    if (found.error != 0) {
        return found.error;
    }
    if (!found.directory) {
        return ERROR_DIRECTORY;
    }
    if (where.host) {
        if (!MayChange(where)) {
            return ERROR_ACCESS_DENIED;
        }
        return ::rmdir(where.hostPath.c_str()) == 0 ? 0
                                                    : sim::files::HostError(errno, where.hostPath);
    }
    std::vector<sim::files::EntryInfo> entries;
    sim::files::ListEntries(where, entries);
    if (!entries.empty()) {
        return ERROR_DIR_NOT_EMPTY;
    }
    if (where.parts.empty() || !MayChange(where)) {
        return ERROR_ACCESS_DENIED;
    }
    return sim::files::RemoveDriveEntry(where);
}

DWORD CreateFolderAt(const Location& where) {
    if (where.host) {
        if (!MayChange(where)) {
            return ERROR_ACCESS_DENIED;
        }
        if (::mkdir(where.hostPath.c_str(), 0755) == 0) {
            return 0;
        }
        return errno == EEXIST ? ERROR_ALREADY_EXISTS
                               : sim::files::HostError(errno, where.hostPath);
    }
    Found found = sim::files::Lookup(where);
    if (found.error == 0) {
        return ERROR_ALREADY_EXISTS;
    }
    if (found.error != ERROR_FILE_NOT_FOUND) {
        return found.error;
    }
    return MayChange(where) ? sim::files::CreateDriveDirectory(where) : ERROR_ACCESS_DENIED;
}

}  // namespace

extern "C" {

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    sim::ApiCall call("GetWindowsDirectoryA");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    return CopyFolder(kWindowsFolder, lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    sim::ApiCall call("GetSystemDirectoryA");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    return CopyFolder(kSystemFolder, lpBuffer, uSize);
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    sim::ApiCall call("GetFileAttributesA", lpFileName != nullptr ? lpFileName : "");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_FILE_ATTRIBUTES;
    }
    Location where;
    if (DWORD error = sim::files::ResolvePath(lpFileName, where)) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    Found found = sim::files::Lookup(where);
    if (found.error != 0) {
        SetLastError(found.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return found.info.attributes;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    sim::ApiCall call("CreateDirectoryA", lpPathName != nullptr ? lpPathName : "");
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    Location where;
    if (DWORD error = sim::files::ResolvePath(lpPathName, where)) {
        return FailWith(error);
    }
    DWORD error = CreateFolderAt(where);
    Journaled("CreateDirectoryA", where.Text(), error == 0);
    return error == 0 ? TRUE : FailWith(error);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    sim::ApiCall call("RemoveDirectoryA", lpPathName != nullptr ? lpPathName : "");
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    Location where;
    if (DWORD error = sim::files::ResolvePath(lpPathName, where)) {
        return FailWith(error);
    }
    DWORD error = RemoveFolderAt(where);
    Journaled("RemoveDirectoryA", where.Text(), error == 0);
    return error == 0 ? TRUE : FailWith(error);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    sim::ApiCall call("CopyFileA", lpExistingFileName != nullptr ? lpExistingFileName : "");
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    Location source, target;
    if (DWORD error = sim::files::ResolvePath(lpExistingFileName, source)) {
        return FailWith(error);
    }
    if (DWORD error = sim::files::ResolvePath(lpNewFileName, target)) {
        return FailWith(error);
    }
    std::string bytes;
    Found found;
    DWORD error = ReadSource(source, bytes, found);
    if (error == 0) {
        error = CheckTarget(target, source, bFailIfExists);
    }
    if (error == 0) {
        error = WriteTarget(target, bytes, found);
    }
    const std::string args =
        source.Text() + ", " + target.Text() + ", " + std::to_string(bFailIfExists);
    Journaled("CopyFileA", args, error == 0);
    SetLastError(error);
    return error == 0 ? TRUE : FALSE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    sim::ApiCall call("DeleteFileA", lpFileName != nullptr ? lpFileName : "");
    if (DWORD e = call.fault()) {
        return FailWith(e);
    }
    Location where;
    if (DWORD error = sim::files::ResolvePath(lpFileName, where)) {
        return FailWith(error);
    }
    DWORD error = DeleteAt(where);
    Journaled("DeleteFileA", where.Text(), error == 0);
    return error == 0 ? TRUE : FailWith(error);
}

}  // extern "C"

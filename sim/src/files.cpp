// CreateFileA and the calls on its handles: reading, writing, seeking and sizes. A handle on a
// drive C: file works on the file's content in the machine itself, so every write is seen at
// once by the file's other handles and is saved with the machine even if the handle is never
// closed; a handle on a host file works on a host descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "choke.h"
#include "file_system.h"
#include "handles.h"
#include "machine.h"
#include "simwin/files.h"

#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif

namespace {

using sim::files::File;
using sim::files::Location;
using sim::files::OpenMode;

class FileHandle : public sim::HandleObject {
  public:
    const char* kind() const override { return "file"; }
    ~FileHandle() override {
        if (file) {
            auto& opens = file->opens;
            opens.erase(std::remove(opens.begin(), opens.end(), &mode), opens.end());
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    std::string path;
    OpenMode mode;
    bool appendOnly = false;
    bool directory = false;
    std::shared_ptr<File> file;  // drive C:
    int fd = -1;                 // host
    uint64_t position = 0;
};

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kHarmlessFlags = FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_WRITE_THROUGH |
                                 FILE_FLAG_NO_BUFFERING | FILE_FLAG_RANDOM_ACCESS |
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS;

struct Request {
    OpenMode mode;
    DWORD disposition;
    bool backupSemantics;
    bool Truncates() const {
        return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    }
    bool Changes() const { return mode.write || mode.del || Truncates(); }
};

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE Hand(std::unique_ptr<FileHandle> handle, DWORD lastError) {
    HANDLE value = sim::AddHandle(std::move(handle));
    SetLastError(lastError);
    return value;
}

std::string Describe(const char* name, DWORD access, DWORD share, DWORD disposition) {
    char flags[64];
    std::snprintf(flags, sizeof flags, ", 0x%08x, %u, %u", static_cast<unsigned>(access),
                  static_cast<unsigned>(share), static_cast<unsigned>(disposition));
    return std::string(name) + flags;
}

HANDLE OpenHost(const Location& where, const Request& req, std::unique_ptr<FileHandle> handle) {
    struct stat st {};
    const bool existed = ::stat(where.hostPath.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) {
        if (!req.backupSemantics || req.Truncates() || req.disposition == CREATE_NEW) {
            return Fail(req.disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
        }
        handle->directory = true;
        return Hand(std::move(handle), 0);
    }
    const bool creates = req.disposition != OPEN_EXISTING && req.disposition != TRUNCATE_EXISTING;
    if (existed ? req.Changes() : creates) {
        if (DWORD error = sim::files::HostChangeRefused(where)) {
            return Fail(error);
        }
    }
    if (existed && req.Changes() && sim::files::IsHeld(where)) {
        return Fail(ERROR_SHARING_VIOLATION);
    }
    int flags = O_CLOEXEC;
    flags |= req.mode.write ? (req.mode.read ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (req.disposition == CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    if (req.disposition == CREATE_ALWAYS || req.disposition == OPEN_ALWAYS)
        flags |= O_CREAT;
    if (req.Truncates())
        flags |= O_TRUNC;
    if (req.Truncates() && !req.mode.write)
        flags = (flags & ~O_RDONLY) | O_RDWR;
    int fd = ::open(where.hostPath.c_str(), flags, 0644);
    if (fd < 0) {
        return Fail(errno == EEXIST ? ERROR_FILE_EXISTS
                                    : sim::files::HostError(errno, where.hostPath));
    }
    handle->fd = fd;
    const bool reopened =
        existed && (req.disposition == CREATE_ALWAYS || req.disposition == OPEN_ALWAYS);
    return Hand(std::move(handle), reopened ? ERROR_ALREADY_EXISTS : 0);
}

HANDLE OpenDrive(const Location& where, const Request& req, std::unique_ptr<FileHandle> handle) {
    sim::files::Found found = sim::files::Lookup(where);
    if (found.error != 0 && found.error != ERROR_FILE_NOT_FOUND) {
        return Fail(found.error);
    }
    const bool exists = found.error == 0;
    const bool mayChange = !sim::files::IsProtected(where) || sim::Settings().elevated;
    if (exists && found.directory) {
        if (req.disposition == CREATE_NEW) {
            return Fail(ERROR_FILE_EXISTS);
        }
        if (!req.backupSemantics || req.Truncates()) {
            return Fail(ERROR_ACCESS_DENIED);
        }
        handle->directory = true;
        return Hand(std::move(handle), 0);
    }
    if (exists && req.disposition == CREATE_NEW) {
        return Fail(ERROR_FILE_EXISTS);
    }
    if (!exists && (req.disposition == OPEN_EXISTING || req.disposition == TRUNCATE_EXISTING)) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    if ((req.Changes() || !exists) && !mayChange) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (exists && req.Changes() && sim::files::IsHeld(where)) {
        return Fail(ERROR_SHARING_VIOLATION);  // the image of a running program
    }
    if (exists && sim::files::ShareConflict(*found.file, req.mode)) {
        return Fail(ERROR_SHARING_VIOLATION);
    }
    std::shared_ptr<File> file = found.file;
    if (!exists || req.Truncates()) {
        DWORD error = 0;
        file = sim::files::CreateDriveFile(where, error);
        if (!file) {
            return Fail(error);
        }
    }
    handle->file = file;
    if (req.mode.read || req.mode.write || req.mode.del) {
        file->opens.push_back(&handle->mode);
    }
    const bool reopened =
        exists && (req.disposition == CREATE_ALWAYS || req.disposition == OPEN_ALWAYS);
    return Hand(std::move(handle), reopened ? ERROR_ALREADY_EXISTS : 0);
}

FileHandle* DataHandle(HANDLE h) {
    FileHandle* handle = sim::LookupHandleAs<FileHandle>(h);
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return handle;
}

uint64_t SizeOf(const FileHandle& handle) {
    if (handle.file) {
        return handle.file->Size();
    }
    struct stat st {};
    return handle.fd >= 0 && ::fstat(handle.fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool HostTransfer(FileHandle& handle, void* buffer, DWORD count, bool write, DWORD& done) {
    done = 0;
    char* bytes = static_cast<char*>(buffer);
    while (done < count) {
        const off_t at = static_cast<off_t>(handle.position + done);
        ssize_t n = write ? ::pwrite(handle.fd, bytes + done, count - done, at)
                          : ::pread(handle.fd, bytes + done, count - done, at);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<DWORD>(n);
    }
    handle.position += done;
    return true;
}

void DriveWrite(FileHandle& handle, const void* buffer, DWORD count) {
    File& file = *handle.file;
    sim::files::MarkChanged(file);
    if (handle.appendOnly) {
        handle.position = file.bytes.size();
    }
    // Writing past the end fills the gap with zeros, as NTFS does.
    if (file.bytes.size() < handle.position + count) {
        file.bytes.resize(handle.position + count, '\0');
    }
    std::memcpy(&file.bytes[handle.position], buffer, count);
    handle.position += count;
}

// Moves the file pointer; the new position, or -1 with the last error set.
int64_t Seek(FileHandle& handle, int64_t distance, DWORD method) {
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = static_cast<int64_t>(handle.position);
    } else if (method == FILE_END) {
        base = static_cast<int64_t>(SizeOf(handle));
    } else if (method != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return -1;
    }
    handle.position = static_cast<uint64_t>(target);
    return target;
}

// What ReadFile and WriteFile check before they move a byte, in the order Windows checks it:
// the count written back is 0 first, then an injected fault, overlapped I/O (not modelled), a
// handle open for data with the access `write` asks for, and a buffer for a non-empty transfer.
// The handle, or null with the last error set.
FileHandle* TransferHandle(const sim::ApiCall& call, HANDLE hFile, const void* buffer, DWORD count,
                           LPDWORD done, LPOVERLAPPED overlapped, bool write) {
    if (done != nullptr) {
        *done = 0;
    }
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (overlapped != nullptr) {
        sim::NotModelled(call.api(), write ? "overlapped writing" : "overlapped reading");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    FileHandle* handle = DataHandle(hFile);
    if (handle == nullptr) {
        return nullptr;
    }
    if (handle->directory) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    if (!(write ? handle->mode.write : handle->mode.read)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (buffer == nullptr && count != 0) {
        SetLastError(ERROR_NOACCESS);
        return nullptr;
    }
    return handle;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
    const char* name = lpFileName != nullptr ? lpFileName : "";
    sim::ApiCall call("CreateFileA", name);
    if (DWORD e = call.fault()) {
        return Fail(e);
    }
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlagsAndAttributes & ~kHarmlessFlags) != 0) {
        sim::NotModelled("CreateFileA",
                         "flags and attributes " + std::to_string(dwFlagsAndAttributes));
        return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    }
    Request req{};
    req.mode.read = (dwDesiredAccess & kReadRights) != 0;
    req.mode.write = (dwDesiredAccess & kWriteRights) != 0;
    req.mode.del = (dwDesiredAccess & (DELETE | GENERIC_ALL)) != 0;
    req.mode.share = dwShareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    req.disposition = dwCreationDisposition;
    req.backupSemantics = (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    if (dwCreationDisposition == TRUNCATE_EXISTING && !req.mode.write) {
        return Fail(ERROR_INVALID_PARAMETER);  // truncating needs write access
    }
    Location where;
    if (DWORD error = sim::files::ResolvePath(lpFileName, where)) {
        return Fail(error);
    }
    if (where.trailingSeparator && !req.backupSemantics) {
        return Fail(ERROR_INVALID_NAME);
    }
    auto handle = std::make_unique<FileHandle>();
    handle->path = where.Text();
    handle->mode = req.mode;
    handle->appendOnly = (dwDesiredAccess & FILE_APPEND_DATA) != 0 &&
                         (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0;
    HANDLE result = where.host ? OpenHost(where, req, std::move(handle))
                               : OpenDrive(where, req, std::move(handle));
    if (req.Changes() || dwCreationDisposition != OPEN_EXISTING) {
        sim::Journal(
            "CreateFileA",
            Describe(where.Text().c_str(), dwDesiredAccess, dwShareMode, dwCreationDisposition),
            result != INVALID_HANDLE_VALUE);
    }
    return result;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    sim::ApiCall call("ReadFile");
    FileHandle* handle = TransferHandle(call, hFile, lpBuffer, nNumberOfBytesToRead,
                                        lpNumberOfBytesRead, lpOverlapped, false);
    if (handle == nullptr) {
        return FALSE;
    }
    DWORD done = 0;
    if (handle->file) {
        sim::files::EnsureContent(*handle->file);
        const std::string& bytes = handle->file->bytes;
        if (handle->position < bytes.size()) {
            done = static_cast<DWORD>(
                std::min<uint64_t>(nNumberOfBytesToRead, bytes.size() - handle->position));
            std::memcpy(lpBuffer, bytes.data() + handle->position, done);
            handle->position += done;
        }
    } else if (!HostTransfer(*handle, lpBuffer, nNumberOfBytesToRead, false, done)) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = done;
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    sim::ApiCall call("WriteFile");
    FileHandle* handle = TransferHandle(call, hFile, lpBuffer, nNumberOfBytesToWrite,
                                        lpNumberOfBytesWritten, lpOverlapped, true);
    if (handle == nullptr) {
        return FALSE;
    }
    DWORD done = nNumberOfBytesToWrite;
    if (handle->file) {
        if (nNumberOfBytesToWrite != 0) {
            DriveWrite(*handle, lpBuffer, nNumberOfBytesToWrite);
        }
    } else {
        if (handle->appendOnly) {
            handle->position = SizeOf(*handle);
        }
        if (!HostTransfer(*handle, const_cast<void*>(lpBuffer), nNumberOfBytesToWrite, true,
                          done)) {
            SetLastError(ERROR_WRITE_FAULT);
            sim::Journal("WriteFile", handle->path + ", " + std::to_string(nNumberOfBytesToWrite),
                         FALSE);
            return FALSE;
        }
    }
    sim::Journal("WriteFile", handle->path + ", " + std::to_string(nNumberOfBytesToWrite), TRUE);
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = done;
    }
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    sim::ApiCall call("SetFilePointer");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_SET_FILE_POINTER;
    }
    FileHandle* handle = DataHandle(hFile);
    if (handle == nullptr) {
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>(
            (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
            static_cast<uint32_t>(lDistanceToMove));
    }
    const uint64_t before = handle->position;
    const int64_t target = Seek(*handle, distance, dwMoveMethod);
    if (target < 0) {
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh == nullptr && target > 0xFFFFFFFELL) {
        handle->position = before;  // the position does not fit the 32-bit answer
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
    }
    const DWORD low = static_cast<DWORD>(target & 0xFFFFFFFF);
    if (low == INVALID_SET_FILE_POINTER) {
        SetLastError(NO_ERROR);  // so that a caller can tell this position from a failure
    }
    return low;
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                             PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
    sim::ApiCall call("SetFilePointerEx");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    FileHandle* handle = DataHandle(hFile);
    if (handle == nullptr) {
        return FALSE;
    }
    const int64_t target = Seek(*handle, liDistanceToMove.QuadPart, dwMoveMethod);
    if (target < 0) {
        return FALSE;
    }
    if (lpNewFilePointer != nullptr) {
        lpNewFilePointer->QuadPart = target;
    }
    return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
    sim::ApiCall call("GetFileSizeEx");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    FileHandle* handle = DataHandle(hFile);
    if (handle == nullptr) {
        return FALSE;
    }
    if (lpFileSize == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    lpFileSize->QuadPart = static_cast<LONGLONG>(SizeOf(*handle));
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    sim::ApiCall call("GetFileSize");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return INVALID_FILE_SIZE;
    }
    FileHandle* handle = DataHandle(hFile);
    if (handle == nullptr) {
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = SizeOf(*handle);
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    const DWORD low = static_cast<DWORD>(size & 0xFFFFFFFF);
    if (low == INVALID_FILE_SIZE) {
        SetLastError(NO_ERROR);
    }
    return low;
}

}  // extern "C"

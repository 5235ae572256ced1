// Host files (absolute Linux paths) and the helpers the other areas and the tools use to
// read and change the machine's files without going through the Win32 calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>

#include "file_system.h"
#include "machine.h"

namespace sim::files {
namespace {

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

EntryInfo HostInfo(const std::string& name, const struct stat& st) {
    EntryInfo info;
    info.name = name;
    info.directory = S_ISDIR(st.st_mode);
    info.attributes = info.directory ? 0x10 : 0x20;  // DIRECTORY, ARCHIVE
    info.size = info.directory ? 0 : static_cast<uint64_t>(st.st_size);
    info.writeTime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return info;
}

bool& RawHostFilesReadOnly() {
    static bool readOnly = false;
    return readOnly;
}

// machine.json holds {"read_only": true} only while the setting is on, so images without it
// stay as they were.
const bool registered = [] {
    RegisterSection(
        {"host_files",
         [](nlohmann::json&& j) {
             RawHostFilesReadOnly() = j.is_object() && j.value("read_only", false);
         },
         [] {
             return RawHostFilesReadOnly() ? nlohmann::json{{"read_only", true}} : nlohmann::json();
         },
         [] { RawHostFilesReadOnly() = false; }});
    return true;
}();

std::map<std::string, std::multiset<DWORD>>& Holds() {
    static auto* holds = new std::map<std::string, std::multiset<DWORD>>;
    return *holds;
}

// The hold table's key: a drive path without regard to case, a host path exactly.
std::string HoldKey(const Location& location) {
    return location.host ? location.hostPath : Upper(location.Text());
}

bool Resolve(std::string_view path, Location& location) {
    const std::string text(path);
    return ResolvePath(text.c_str(), location) == 0;
}

DWORD WriteHostFile(const std::string& path, std::string_view bytes) {
    if (HostFilesReadOnly()) {
        return ERROR_ACCESS_DENIED;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return HostError(errno, path);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            ::close(fd);
            return ERROR_WRITE_FAULT;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return 0;
}

bool ReadHostFile(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bytes.clear();
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return n == 0;
}

}  // namespace

bool HostFilesReadOnly() {
    EnsureLoaded();
    return RawHostFilesReadOnly();
}

void SetHostFilesReadOnly(bool readOnly) {
    EnsureLoaded();
    if (RawHostFilesReadOnly() != readOnly) {
        RawHostFilesReadOnly() = readOnly;
        MarkDirty("machine");
    }
}

DWORD HostChangeRefused(const Location& location) {
    return location.host && HostFilesReadOnly() ? ERROR_ACCESS_DENIED : 0;
}

DWORD HostError(int err, const std::string& path) {
    switch (err) {
        case ENOENT: {
            struct stat st {};
            const bool parentThere =
                ::stat(ParentOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            return parentThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

Found HostLookup(const Location& location) {
    Found found;
    struct stat st {};
    if (::stat(location.hostPath.c_str(), &st) != 0) {
        found.error = HostError(errno, location.hostPath);
        return found;
    }
    found.directory = S_ISDIR(st.st_mode);
    const size_t slash = location.hostPath.find_last_of('/');
    found.info = HostInfo(location.hostPath.substr(slash + 1), st);
    return found;
}

DWORD HostList(const std::string& folder, std::vector<EntryInfo>& out) {
    DIR* handle = ::opendir(folder.c_str());
    if (handle == nullptr) {
        return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                   : HostError(errno, folder);
    }
    while (dirent* entry = ::readdir(handle)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." || ::stat((folder + "/" + name).c_str(), &st) != 0) {
            continue;
        }
        out.push_back(HostInfo(name, st));
    }
    ::closedir(handle);
    std::sort(out.begin(), out.end(),
              [](const EntryInfo& a, const EntryInfo& b) { return LessNoCase(a.name, b.name); });
    return 0;
}

bool Exists(std::string_view path) {
    Location location;
    return Resolve(path, location) && Lookup(location).error == 0;
}

bool IsDirectory(std::string_view path) {
    Location location;
    if (!Resolve(path, location)) {
        return false;
    }
    Found found = Lookup(location);
    return found.error == 0 && found.directory;
}

bool ReadWholeFile(std::string_view path, std::string& bytes) {
    Location location;
    if (!Resolve(path, location)) {
        return false;
    }
    if (location.host) {
        return ReadHostFile(location.hostPath, bytes);
    }
    Found found = Lookup(location);
    if (found.error != 0 || found.directory) {
        return false;
    }
    EnsureContent(*found.file);
    bytes = found.file->bytes;
    return true;
}

DWORD WriteWholeFile(std::string_view path, std::string_view bytes) {
    Location location;
    const std::string text(path);
    if (DWORD error = ResolvePath(text.c_str(), location)) {
        return error;
    }
    if (location.host) {
        return WriteHostFile(location.hostPath, bytes);
    }
    DWORD error = 0;
    std::shared_ptr<File> file = CreateDriveFile(location, error);
    if (file) {
        file->bytes.assign(bytes.data(), bytes.size());
    }
    return error;
}

DWORD CreateDirectories(std::string_view path) {
    Location location;
    const std::string text(path);
    if (DWORD error = ResolvePath(text.c_str(), location)) {
        return error;
    }
    if (location.host) {
        if (DWORD error = HostChangeRefused(location)) {
            return error;
        }
        std::error_code ec;
        std::filesystem::create_directories(location.hostPath, ec);
        return ec ? HostError(ec.value(), location.hostPath) : 0;
    }
    Location step;
    for (const std::string& part : location.parts) {
        step.parts.push_back(part);
        Found found = Lookup(step);
        if (found.error == 0 && !found.directory) {
            return ERROR_ALREADY_EXISTS;
        }
        if (found.error != 0) {
            if (DWORD error = CreateDriveDirectory(step)) {
                return error;
            }
        }
    }
    return 0;
}

DWORD RemoveFile(std::string_view path) {
    Location location;
    const std::string text(path);
    if (DWORD error = ResolvePath(text.c_str(), location)) {
        return error;
    }
    if (location.host) {
        if (DWORD error = HostChangeRefused(location)) {
            return error;
        }
        return ::unlink(location.hostPath.c_str()) == 0 ? 0 : HostError(errno, location.hostPath);
    }
    Found found = Lookup(location);
    if (found.error != 0) {
        return found.error;
    }
    return found.directory ? ERROR_ACCESS_DENIED : RemoveDriveEntry(location);
}

std::vector<EntryInfo> ListDirectory(std::string_view path) {
    Location location;
    std::vector<EntryInfo> entries;
    if (Resolve(path, location)) {
        ListEntries(location, entries);
    }
    return entries;
}

void HoldFile(std::string_view path, DWORD processId) {
    Location location;
    if (Resolve(path, location)) {
        Holds()[HoldKey(location)].insert(processId);
    }
}

void ReleaseFile(std::string_view path, DWORD processId) {
    Location location;
    if (!Resolve(path, location)) {
        return;
    }
    auto it = Holds().find(HoldKey(location));
    if (it == Holds().end()) {
        return;
    }
    auto one = it->second.find(processId);
    if (one != it->second.end()) {
        it->second.erase(one);
    }
    if (it->second.empty()) {
        Holds().erase(it);
    }
}

void ReleaseProcessFiles(DWORD processId) {
    for (auto it = Holds().begin(); it != Holds().end();) {
        it->second.erase(processId);
        it = it->second.empty() ? Holds().erase(it) : std::next(it);
    }
}

void ReleaseAllFiles() {
    Holds().clear();
}

bool IsHeld(std::string_view path) {
    Location location;
    return Resolve(path, location) && IsHeld(location);
}

bool IsHeld(const Location& location) {
    return Holds().count(HoldKey(location)) != 0;
}

}  // namespace sim::files

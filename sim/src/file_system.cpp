// Drive C: of the simulated machine: a tree of folders read lazily from the current
// generation's drive_c/, with this run's changes held in memory until the image is saved.
//
// The current generation must stay intact until the save switches to the next one, so
// nothing here writes into it. A folder is listed from disk the first time it is needed (a
// machine may hold thousands of INF copies and a search reads them all, so listings are
// cached), and a file's content is read from disk the first time it is opened. The save
// starts from a generation into which the core has hard-linked every file of the old one; it
// removes what this run deleted and writes what it changed, each file to a temporary name,
// flushed, then renamed over the link (which leaves the old generation's copy untouched).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "file_system.h"
#include "machine.h"
#include "machine_internal.h"

namespace fs = std::filesystem;

namespace sim::files {
namespace {

struct Node {
    std::string name;
    Node* parent = nullptr;
    bool directory = false;
    bool inBase = false;  // present under this name in the generation on disk
    bool listed = false;  // children read from disk (always true for a new folder)
    std::map<std::string, std::unique_ptr<Node>> children;  // by upper-cased name
    std::shared_ptr<File> file;
    int64_t writeTime = 0;
    uint64_t revision = 0;  // of a folder's list of entries (see FolderRevision)
};

struct Drive {
    std::unique_ptr<Node> root;
    std::vector<std::string> deleted;  // paths below drive_c/ to remove from the new generation
};

Drive& D() {
    static auto* drive = new Drive;
    return *drive;
}

// Revisions come from one counter that outlives reloads of the drive, so a number seen once
// never stands for another state of a folder or file later in the run.
uint64_t NextRevision() {
    static uint64_t counter = 0;
    return ++counter;
}

std::string BaseRoot() {
    const std::string& gen = GenerationDir();
    return gen.empty() ? "" : gen + "/drive_c";
}

std::string RelativePath(const Node& node) {
    if (node.parent == nullptr) {
        return "";
    }
    std::string parent = RelativePath(*node.parent);
    return parent.empty() ? node.name : parent + "/" + node.name;
}

Node* AddChild(Node& dir, const std::string& name, bool directory) {
    auto node = std::make_unique<Node>();
    node->name = name;
    node->parent = &dir;
    node->directory = directory;
    node->writeTime = NowFileTime();
    Node* raw = node.get();
    dir.children[Upper(name)] = std::move(node);
    dir.revision = NextRevision();
    return raw;
}

void AddDiskChild(Node& dir, const std::string& name, const struct stat& st,
                  const std::string& rel) {
    const bool directory = S_ISDIR(st.st_mode);
    if (!directory && !S_ISREG(st.st_mode)) {
        return;
    }
    // Two host names that differ only in case are one Windows name: the first one wins.
    if (dir.children.count(Upper(name)) != 0) {
        return;
    }
    Node* child = AddChild(dir, name, directory);
    child->inBase = true;
    child->writeTime = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (!directory) {
        child->file = std::make_shared<File>();
        child->file->loaded = false;
        child->file->diskPath = rel;
        child->file->diskSize = static_cast<uint64_t>(st.st_size);
        child->file->writeTime = child->writeTime;
    }
}

void EnsureListed(Node& dir) {
    if (dir.listed) {
        return;
    }
    dir.listed = true;
    const std::string base = BaseRoot();
    if (!dir.inBase || base.empty()) {
        return;
    }
    const std::string rel = RelativePath(dir);
    const std::string folder = rel.empty() ? base : base + "/" + rel;
    DIR* handle = ::opendir(folder.c_str());
    if (handle == nullptr) {
        return;
    }
    while (dirent* entry = ::readdir(handle)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." || ::stat((folder + "/" + name).c_str(), &st) != 0) {
            continue;
        }
        AddDiskChild(dir, name, st, rel.empty() ? name : rel + "/" + name);
    }
    ::closedir(handle);
}

Node* FindChild(Node& dir, std::string_view name) {
    EnsureListed(dir);
    auto it = dir.children.find(Upper(name));
    return it == dir.children.end() ? nullptr : it->second.get();
}

Node* EnsureFolder(Node& dir, const char* name) {
    Node* child = FindChild(dir, name);
    if (child == nullptr) {
        child = AddChild(dir, name, true);
        child->listed = true;
    }
    return child;
}

void LoadDrive(const std::string& genDir) {
    Drive& d = D();
    d.deleted.clear();
    d.root = std::make_unique<Node>();
    d.root->directory = true;
    std::error_code ec;
    d.root->inBase = !genDir.empty() && fs::is_directory(genDir + "/drive_c", ec);
    // Every Windows machine has these folders; an image that lacks them still shows them.
    Node* windows = EnsureFolder(*d.root, "Windows");
    EnsureFolder(*windows, "INF");
    EnsureFolder(*windows, "System32");
    EnsureFolder(*windows, "SysWOW64");
    EnsureFolder(*windows, "Temp");
}

Node& Root() {
    // A tool may reach the files before any Win32 call has loaded the machine; loading it
    // first keeps such a change from being dropped by the load.
    EnsureLoaded();
    if (!D().root) {
        LoadDrive(GenerationDir());
    }
    return *D().root;
}

// Walks the first `count` components as folders.
Node* WalkFolders(const Location& location, size_t count) {
    Node* node = &Root();
    for (size_t i = 0; i < count; ++i) {
        node = FindChild(*node, location.parts[i]);
        if (node == nullptr || !node->directory) {
            return nullptr;
        }
    }
    return node;
}

EntryInfo InfoOf(const Node& node) {
    EntryInfo info;
    info.name = node.name;
    info.directory = node.directory;
    info.attributes = node.directory ? 0x10 : node.file->attributes;  // FILE_ATTRIBUTE_DIRECTORY
    info.size = node.directory ? 0 : node.file->Size();
    info.writeTime = node.directory ? node.writeTime : node.file->writeTime;
    return info;
}

// Keeps the Windows write time, so a copied file keeps its source's time across runs.
void WriteFileAtomically(const std::string& path, const File& file) {
    const int64_t unixTicks = file.writeTime - UnixToFileTime(0, 0);
    ReplaceFileContent(path, file.bytes, &unixTicks);
}

void SaveFolder(Node& dir, const std::string& folder) {
    bool wrote = false;
    for (auto& [key, child] : dir.children) {
        const std::string path = folder + "/" + child->name;
        if (child->directory) {
            fs::create_directories(path);
            if (child->listed) {
                SaveFolder(*child, path);
            }
        } else if (child->file->changed) {
            EnsureContent(*child->file);
            WriteFileAtomically(path, *child->file);
            wrote = true;
        }
    }
    if (wrote) {
        SyncPath(folder, true);
    }
}

// After a save the new generation holds everything: it is the base of what follows.
void Rebase(Node& dir) {
    dir.inBase = true;
    for (auto& [key, child] : dir.children) {
        child->inBase = true;
        if (child->directory) {
            Rebase(*child);
        } else if (child->file->changed) {
            child->file->changed = false;
            child->file->diskPath = RelativePath(*child);
        }
    }
}

void SaveDrive(const std::string& newGen) {
    Drive& d = D();
    const std::string drive = newGen + "/drive_c";
    fs::create_directories(drive);
    for (const std::string& rel : d.deleted) {
        std::error_code ec;
        fs::remove_all(drive + "/" + rel, ec);
    }
    SaveFolder(Root(), drive);
    d.deleted.clear();
    Rebase(Root());
}

const bool registered = [] {
    RegisterImagePart({"drive_c", [](const std::string& genDir) { LoadDrive(genDir); },
                       [](const std::string&, const std::string& newGen) { SaveDrive(newGen); }});
    return true;
}();

}  // namespace

void EnsureContent(File& file) {
    if (file.loaded) {
        return;
    }
    file.loaded = true;
    file.bytes.clear();
    const std::string path = BaseRoot() + "/" + file.diskPath;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        file.bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
}

void MarkChanged(File& file) {
    EnsureContent(file);
    file.changed = true;
    file.writeTime = NowFileTime();
    file.revision = NextRevision();
    MarkDirty("drive_c");
}

bool ShareConflict(const File& file, const OpenMode& mode) {
    if (!mode.read && !mode.write && !mode.del) {
        return false;
    }
    for (const OpenMode* open : file.opens) {
        const DWORD theirs = open->share;
        if ((mode.read && !(theirs & 1)) || (mode.write && !(theirs & 2)) ||
            (mode.del && !(theirs & 4))) {
            return true;
        }
        if ((open->read && !(mode.share & 1)) || (open->write && !(mode.share & 2)) ||
            (open->del && !(mode.share & 4))) {
            return true;
        }
    }
    return false;
}

Found Lookup(const Location& location) {
    if (location.host) {
        return HostLookup(location);
    }
    Found found;
    if (location.parts.empty()) {
        found.directory = true;
        found.info = InfoOf(Root());
        return found;
    }
    Node* parent = WalkFolders(location, location.parts.size() - 1);
    Node* node = parent == nullptr ? nullptr : FindChild(*parent, location.parts.back());
    if (node == nullptr || (location.trailingSeparator && !node->directory)) {
        found.error =
            parent == nullptr || node != nullptr ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        return found;
    }
    found.directory = node->directory;
    found.file = node->file;
    found.info = InfoOf(*node);
    return found;
}

std::shared_ptr<File> CreateDriveFile(const Location& location, DWORD& error) {
    Node* parent =
        location.parts.empty() ? nullptr : WalkFolders(location, location.parts.size() - 1);
    if (parent == nullptr) {
        error = location.parts.empty() ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    Node* node = FindChild(*parent, location.parts.back());
    if (node != nullptr && node->directory) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (node == nullptr) {
        node = AddChild(*parent, location.parts.back(), false);
        node->listed = true;
        node->file = std::make_shared<File>();
    }
    // An existing file keeps its stored name and its handles see it emptied.
    node->file->bytes.clear();
    node->file->loaded = true;
    MarkChanged(*node->file);
    error = 0;
    return node->file;
}

DWORD RemoveDriveEntry(const Location& location) {
    Node* parent =
        location.parts.empty() ? nullptr : WalkFolders(location, location.parts.size() - 1);
    Node* node = parent == nullptr ? nullptr : FindChild(*parent, location.parts.back());
    if (node == nullptr) {
        return parent == nullptr ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    if (node->inBase) {
        D().deleted.push_back(RelativePath(*node));
    }
    // Handles still open on the file keep its content (the name goes at once, as with the
    // POSIX deletion that Windows 10 uses on NTFS).
    parent->children.erase(Upper(node->name));
    parent->revision = NextRevision();
    MarkDirty("drive_c");
    return 0;
}

DWORD CreateDriveDirectory(const Location& location) {
    Node* parent =
        location.parts.empty() ? nullptr : WalkFolders(location, location.parts.size() - 1);
    if (location.parts.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    if (parent == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (FindChild(*parent, location.parts.back()) != nullptr) {
        return ERROR_ALREADY_EXISTS;
    }
    Node* node = AddChild(*parent, location.parts.back(), true);
    node->listed = true;
    MarkDirty("drive_c");
    return 0;
}

uint64_t FolderRevision(const Location& location) {
    if (location.host) {
        return 0;
    }
    Node* dir = WalkFolders(location, location.parts.size());
    if (dir == nullptr) {
        return 0;
    }
    EnsureListed(*dir);
    return dir->revision;
}

DWORD ListEntries(const Location& location, std::vector<EntryInfo>& out) {
    out.clear();
    if (location.host) {
        return HostList(location.hostPath, out);
    }
    Node* dir = WalkFolders(location, location.parts.size());
    if (dir == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    EnsureListed(*dir);
    for (const auto& [key, child] : dir->children) {
        out.push_back(InfoOf(*child));
    }
    std::sort(out.begin(), out.end(),
              [](const EntryInfo& a, const EntryInfo& b) { return LessNoCase(a.name, b.name); });
    return 0;
}

}  // namespace sim::files

// The driver store's files: reading a package INF, the OEM copies of the INF folder, the
// files an install section copies and where they go, and the store's package folders.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstdint>

#include "choke.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "text.h"
#include "simwin/setupapi_store.h"

namespace sim::store {
namespace {

bool IsHost(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

// The folders of the directory IDs (DIRID) an INF's [DestinationDirs] names.
std::string DirectoryOfId(unsigned long id) {
    switch (id) {
        case 10:
            return "C:\\Windows";
        case 11:
            return "C:\\Windows\\System32";
        case 12:
            return "C:\\Windows\\System32\\drivers";
        case 17:
            return "C:\\Windows\\INF";
        case 18:
            return "C:\\Windows\\Help";
        case 20:
            return "C:\\Windows\\Fonts";
        case 24:
            return "C:\\";
        case 16422:
            return "C:\\Program Files";
        case 16425:
            return "C:\\Windows\\SysWOW64";
        case 16427:
            return "C:\\Program Files\\Common Files";
        default:
            return "";
    }
}

// A section of the INF, its .amd64 form preferred (SourceDisksNames, SourceDisksFiles).
const inf::Section* PlatformSection(const inf::File& file, const std::string& name) {
    const inf::Section* s = inf::FindSection(file, name + ".amd64");
    return s != nullptr ? s : inf::FindSection(file, name);
}

// Where the package keeps a source file: [SourceDisksNames] path and [SourceDisksFiles]
// subfolder below the INF's folder.
std::string SourceOf(const inf::File& file, const std::string& name) {
    const inf::Section* files = PlatformSection(file, "SourceDisksFiles");
    const inf::Line* line = files != nullptr ? inf::FindLine(*files, name) : nullptr;
    if (line == nullptr) {
        return name;
    }
    std::string folder;
    const inf::Section* disks = PlatformSection(file, "SourceDisksNames");
    const inf::Line* disk =
        disks != nullptr ? inf::FindLine(*disks, inf::Field(*line, 0)) : nullptr;
    if (disk != nullptr) {
        folder = inf::Field(*disk, 3);
    }
    folder = JoinPath(folder, inf::Field(*line, 1));
    return JoinPath(folder, name);
}

DWORD DestinationOf(const inf::File& file, const std::string& copySection, std::string& out) {
    const inf::Section* dirs = inf::FindSection(file, "DestinationDirs");
    const inf::Line* line = nullptr;
    if (dirs != nullptr) {
        line = inf::FindLine(*dirs, copySection);
        if (line == nullptr)
            line = inf::FindLine(*dirs, "DefaultDestDir");
    }
    // Without DestinationDirs, SetupAPI copies into the system folder.
    const std::string idText = line != nullptr ? inf::Field(*line, 0) : "11";
    char* end = nullptr;
    const unsigned long id = std::strtoul(idText.c_str(), &end, 10);
    out = (end != nullptr && *end == '\0') ? DirectoryOfId(id) : "";
    if (out.empty()) {
        NotModelled("UpdateDriverForPlugAndPlayDevicesA", "directory ID " + idText);
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    if (line != nullptr)
        out = JoinPath(out, inf::Field(*line, 1));
    return 0;
}

void AddFile(const inf::File& file, const std::string& name, const std::string& source,
             const std::string& folder, std::vector<PackageFile>& out) {
    out.push_back(
        PackageFile{SourceOf(file, source.empty() ? name : source), JoinPath(folder, name)});
}

uint64_t ContentHash(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a: stable across runs and builds
    for (unsigned char c : bytes) {
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

std::string HashText(const std::string& bytes) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(ContentHash(bytes)));
    return text;
}

// The INF a store folder is named after: "<INF name>_<architecture>_<hash>"; "" for a folder
// named otherwise.
std::string InfOfRepository(const std::string& folderName) {
    const size_t hash = folderName.rfind('_');
    if (hash == std::string::npos || hash == 0)
        return "";
    const size_t architecture = folderName.rfind('_', hash - 1);
    if (architecture == std::string::npos || architecture == 0 || architecture + 1 == hash)
        return "";
    return folderName.substr(0, architecture);
}

// Whether the drive file at `path` holds `bytes`; a file of another size is not read.
bool HoldsBytes(const std::string& path, const std::string& bytes) {
    files::Location where;
    if (files::ResolvePath(path.c_str(), where) != 0)
        return false;
    const files::Found found = files::Lookup(where);
    if (found.error != 0 || found.directory || !found.file || found.file->Size() != bytes.size())
        return false;
    std::string content;
    return files::ReadWholeFile(path, content) && content == bytes;
}

void RemoveTree(const std::string& folder) {
    for (const files::EntryInfo& e : files::ListDirectory(folder)) {
        const std::string path = folder + "\\" + e.name;
        if (e.directory)
            RemoveTree(path);
        else
            files::RemoveFile(path);
    }
    files::Location where;
    if (files::ResolvePath(folder.c_str(), where) == 0 && !where.host)
        files::RemoveDriveEntry(where);
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& relative) {
    std::string rel = relative;
    const char sep = IsHost(folder) ? '/' : '\\';
    for (char& c : rel) {
        if (c == '\\' || c == '/')
            c = sep;
    }
    while (!rel.empty() && rel.front() == sep)
        rel.erase(0, 1);
    if (folder.empty())
        return rel;
    if (rel.empty())
        return folder;
    return folder.back() == sep ? folder + rel : folder + sep + rel;
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "." : path.substr(0, cut == 0 ? 1 : cut);
}

std::string FileNameOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

DWORD ReadPackageBytes(const std::string& path, std::string& bytes) {
    files::Location where;
    files::Found found;
    DWORD error = files::ResolvePath(path.c_str(), where);
    if (error == 0) {
        found = files::Lookup(where);
        error = found.error;
    }
    // Whichever part of the path is missing, the INF is "not found" for SetupAPI's callers.
    if (error == ERROR_PATH_NOT_FOUND)
        return ERROR_FILE_NOT_FOUND;
    if (error != 0)
        return error;
    if (found.directory || !files::ReadWholeFile(path, bytes))
        return ERROR_ACCESS_DENIED;
    return 0;
}

DWORD ParsePackage(const std::string& bytes, inf::File& out) {
    if (DWORD e = inf::Parse(bytes, out))
        return e;
    return inf::HasWindowsSignature(out) ? 0 : static_cast<DWORD>(ERROR_WRONG_INF_STYLE);
}

DWORD ReadPackage(const std::string& path, Package& out) {
    if (DWORD e = ReadPackageBytes(path, out.bytes))
        return e;
    out.path = path;
    return ParsePackage(out.bytes, out.inf);
}

bool IsOemName(const std::string& name) {
    const std::string upper = files::Upper(name);
    if (upper.size() < 8 || upper.compare(0, 3, "OEM") != 0 ||
        upper.compare(upper.size() - 4, 4, ".INF") != 0)
        return false;
    for (size_t i = 3; i + 4 < upper.size(); ++i) {
        if (upper[i] < '0' || upper[i] > '9')
            return false;
    }
    return true;
}

std::vector<std::string> OemCopies() {
    std::vector<std::string> names;
    for (const files::EntryInfo& e : files::ListDirectory(kInfFolder)) {
        if (!e.directory && IsOemName(e.name))
            names.push_back(e.name);
    }
    return names;
}

std::string FindStagedCopy(const std::string& bytes) {
    // Only a copy of the same size can hold the same bytes; the listing knows the sizes, so
    // the others are never read.
    for (const files::EntryInfo& e : files::ListDirectory(kInfFolder)) {
        if (e.directory || !IsOemName(e.name) || e.size != bytes.size())
            continue;
        std::string content;
        if (files::ReadWholeFile(JoinPath(kInfFolder, e.name), content) && content == bytes)
            return e.name;
    }
    return "";
}

std::string NextOemName() {
    for (unsigned n = 0;; ++n) {
        const std::string name = "oem" + std::to_string(n) + ".inf";
        if (!files::Exists(JoinPath(kInfFolder, name)))
            return name;
    }
}

DWORD InstallFiles(const inf::File& file, const std::string& installSection,
                   std::vector<PackageFile>& out) {
    const inf::Section* install = inf::FindSection(file, installSection);
    if (install == nullptr)
        return ERROR_SECTION_NOT_FOUND;
    for (const inf::Line& line : install->lines) {
        if (!line.hasKey || !sim::EqualNoCase(line.key, "CopyFiles", sim::CaseRule::kAscii))
            continue;
        for (const std::string& item : line.fields) {
            std::string folder;
            if (!item.empty() && item[0] == '@') {
                // A single file: it goes to the default destination.
                if (DWORD e = DestinationOf(file, "DefaultDestDir", folder))
                    return e;
                AddFile(file, item.substr(1), "", folder, out);
                continue;
            }
            const inf::Section* copy = inf::FindSection(file, item);
            if (item.empty() || copy == nullptr)
                continue;
            if (DWORD e = DestinationOf(file, item, folder))
                return e;
            for (const inf::Line& entry : copy->lines) {
                const std::string name = entry.hasKey ? entry.key : inf::Field(entry, 0);
                if (!name.empty())
                    AddFile(file, name, entry.hasKey ? "" : inf::Field(entry, 1), folder, out);
            }
        }
    }
    return 0;
}

DWORD AllPackageFiles(const inf::File& file, std::vector<PackageFile>& out) {
    for (const inf::Model& model : inf::Models(file)) {
        const std::string section = inf::InstallSectionFor(file, model.installSection);
        if (section.empty())
            continue;
        if (DWORD e = InstallFiles(file, section, out))
            return e;
    }
    return 0;
}

DWORD WritePackage(const Package& package, const std::string& oemName) {
    std::vector<PackageFile> packageFiles;
    if (DWORD e = AllPackageFiles(package.inf, packageFiles))
        return e;
    const std::string sourceFolder = FolderOf(package.path);
    std::vector<std::pair<std::string, std::string>> contents;  // relative source, bytes
    for (const PackageFile& f : packageFiles) {
        std::string bytes;
        if (!files::ReadWholeFile(JoinPath(sourceFolder, f.relativeSource), bytes))
            return ERROR_FILE_NOT_FOUND;
        contents.emplace_back(f.relativeSource, std::move(bytes));
    }
    // The store names a package's folder after its INF in lower case and its content.
    std::string folderName = FileNameOf(package.path) + "_amd64_" + HashText(package.bytes);
    for (char& c : folderName) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string repository = JoinPath(kRepositoryFolder, folderName);
    if (DWORD e = files::WriteWholeFile(JoinPath(kInfFolder, oemName), package.bytes))
        return e;
    files::CreateDirectories(repository);
    files::WriteWholeFile(JoinPath(repository, FileNameOf(package.path)), package.bytes);
    for (const auto& [relative, bytes] : contents) {
        const std::string target = JoinPath(repository, relative);
        files::CreateDirectories(FolderOf(target));
        files::WriteWholeFile(target, bytes);
    }
    return 0;
}

DWORD StagePackage(const Package& package, std::string& oemName) {
    oemName = FindStagedCopy(package.bytes);
    const bool staged = !oemName.empty();
    if (!staged)
        oemName = NextOemName();
    return staged && !RepositoryOf(oemName).empty() ? 0 : WritePackage(package, oemName);
}

std::string RepositoryOf(const std::string& oemName) {
    std::string bytes;
    if (!files::ReadWholeFile(JoinPath(kInfFolder, oemName), bytes))
        return "";
    // The folder holds the package's INF, of which the OEM copy is a copy byte for byte. Its
    // hash is the stager's own (Windows computes another than this store does), so a folder
    // is known by what it holds, whoever staged it.
    for (const files::EntryInfo& e : files::ListDirectory(kRepositoryFolder)) {
        const std::string inf = InfOfRepository(e.name);
        if (!e.directory || inf.empty())
            continue;
        const std::string folder = JoinPath(kRepositoryFolder, e.name);
        if (HoldsBytes(JoinPath(folder, inf), bytes))
            return folder;
    }
    return "";
}

std::vector<std::string> MissingPackageFiles(const std::string& oemName, std::string& repository) {
    repository.clear();
    Package package;
    std::vector<PackageFile> list;
    if (ReadPackage(JoinPath(kInfFolder, oemName), package) != 0 ||
        AllPackageFiles(package.inf, list) != 0)
        return {};
    repository = RepositoryOf(oemName);
    std::vector<std::string> missing;
    for (const PackageFile& f : list) {
        const bool have = !repository.empty() &&
                          files::Exists(JoinPath(repository, f.relativeSource)) &&
                          !files::IsDirectory(JoinPath(repository, f.relativeSource));
        if (!have && std::find(missing.begin(), missing.end(), f.relativeSource) == missing.end())
            missing.push_back(f.relativeSource);
    }
    return missing;
}

void RemovePackage(const std::string& oemName) {
    const std::string repository = RepositoryOf(oemName);
    if (!repository.empty())
        RemoveTree(repository);
    files::RemoveFile(JoinPath(kInfFolder, oemName));
    const std::string pnf = oemName.substr(0, oemName.size() - 4) + ".pnf";
    if (files::Exists(JoinPath(kInfFolder, pnf)))
        files::RemoveFile(JoinPath(kInfFolder, pnf));
}

}  // namespace sim::store

// The device installer's index of the staged packages by device ID. Re-enumeration asks for a
// driver for every driverless node in turn; reading and parsing every OEM copy for each of
// them would make one refresh cost nodes × copies parses. Windows keeps such an index in its
// driver database; here it lives in memory and is rebuilt when the INF folder gains or loses
// an entry or an OEM copy is rewritten, which the file system's revisions tell.
#include <algorithm>
#include <unordered_map>

#include "driver_store.h"
#include "file_system.h"

namespace sim::store {
namespace {

struct IndexedCopy {
    std::shared_ptr<const files::File> file;  // held to see a rewrite of the copy
    uint64_t revision = 0;
    StagedPackage package;  // no models when ReadPackage refused the copy
};

struct ModelRef {
    uint32_t copy;
    uint32_t model;
};

struct Index {
    uint64_t folderRevision = 0;  // 0: not built
    std::vector<IndexedCopy> copies;
    std::unordered_map<std::string, std::vector<ModelRef>> byId;  // upper-cased ID
};

Index& TheIndex() {
    static auto* index = new Index;
    return *index;
}

uint64_t InfFolderRevision() {
    files::Location location;
    if (files::ResolvePath(kInfFolder, location) != 0)
        return 0;
    return files::FolderRevision(location);
}

std::shared_ptr<const files::File> CopyFile(const std::string& name) {
    files::Location location;
    if (files::ResolvePath(JoinPath(kInfFolder, name).c_str(), location) != 0)
        return nullptr;
    return files::Lookup(location).file;
}

bool IsCurrent(const Index& index, uint64_t folderRevision) {
    if (folderRevision == 0 || index.folderRevision != folderRevision)
        return false;
    for (const IndexedCopy& copy : index.copies) {
        if (!copy.file || copy.file->revision != copy.revision)
            return false;
    }
    return true;
}

void Rebuild(Index& index, uint64_t folderRevision) {
    index.copies.clear();
    index.byId.clear();
    for (const std::string& name : OemCopies()) {
        IndexedCopy copy;
        copy.file = CopyFile(name);
        copy.revision = copy.file ? copy.file->revision : 0;
        copy.package.name = name;
        std::string bytes;
        if (ReadPackageBytes(JoinPath(kInfFolder, name), bytes) == 0) {
            const PackageSummary& summary = SummaryOfCopy(bytes);
            if (summary.usable) {
                copy.package.models = summary.models;
                copy.package.version = summary.version;
            }
        }
        index.copies.push_back(std::move(copy));
    }
    for (uint32_t c = 0; c < index.copies.size(); ++c) {
        const std::vector<inf::Model>& models = index.copies[c].package.models;
        for (uint32_t m = 0; m < models.size(); ++m) {
            for (const std::string& id : models[m].ids) {
                std::vector<ModelRef>& refs = index.byId[files::Upper(id)];
                // A model naming one ID twice still serves it once.
                if (refs.empty() || refs.back().copy != c || refs.back().model != m)
                    refs.push_back(ModelRef{c, m});
            }
        }
    }
    // A folder that is not tracked is read afresh at every request.
    index.folderRevision = folderRevision;
}

}  // namespace

std::vector<StagedMatch> StagedMatches(const std::vector<std::string>& ids) {
    Index& index = TheIndex();
    const uint64_t folderRevision = InfFolderRevision();
    if (!IsCurrent(index, folderRevision))
        Rebuild(index, folderRevision);
    // Each copy's best model is the first of its models that matches the device's earliest
    // matching ID; the lists of the index keep the copies' and the models' order.
    std::vector<bool> seen(index.copies.size(), false);
    std::vector<std::pair<uint32_t, StagedMatch>> found;
    for (size_t rank = 0; rank < ids.size(); ++rank) {
        auto it = index.byId.find(files::Upper(ids[rank]));
        if (it == index.byId.end())
            continue;
        for (const ModelRef& ref : it->second) {
            if (seen[ref.copy])
                continue;
            seen[ref.copy] = true;
            const StagedPackage& package = index.copies[ref.copy].package;
            found.emplace_back(ref.copy,
                               StagedMatch{&package, &package.models[ref.model], rank, ids[rank]});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StagedMatch> matches;
    matches.reserve(found.size());
    for (auto& [copy, match] : found)
        matches.push_back(std::move(match));
    return matches;
}

}  // namespace sim::store

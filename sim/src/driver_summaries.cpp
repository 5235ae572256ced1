// What the driver index needs of each OEM copy (is it a package, its models, its version),
// kept in the image's cache so that a run does not parse every copy again: Windows keeps a
// precompiled .pnf beside each INF for the same reason. A summary is found by the hash and
// size of the copy's bytes, so a copy that changed in any way is parsed afresh; the cache file
// is derived data that may be deleted at any time.
#include <stdexcept>
#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "binary_form.h"
#include "content_hash.h"
#include "driver_store.h"
#include "machine.h"
#include "machine_internal.h"
#include "mapped_file.h"

namespace sim::store {
namespace {

using binary::PutBytes;
using binary::PutNumber;
using binary::Reader;

// The format's name and version; a change of what the reader gives (its platform, its
// rules) needs a new version, since summaries of the old rules would be believed.
constexpr char kMagic[8] = {'B', 'K', 'I', 'N', 'F', 'S', 0, 1};
constexpr const char* kCacheName = "/cache/inf-summaries.bin";

struct Key {
    uint64_t hash;
    uint64_t size;
    bool operator==(const Key& other) const { return hash == other.hash && size == other.size; }
};
struct KeyHash {
    size_t operator()(const Key& key) const { return static_cast<size_t>(key.hash); }
};

struct Summaries {
    bool loaded = false;  // the image's file has been read (in this run)
    bool added = false;   // a summary was made in this run: the next save writes the file
    std::unordered_map<Key, PackageSummary, KeyHash> byKey;
    std::unordered_set<Key, KeyHash> used;  // asked for in this run
};

Summaries& S() {
    static auto* summaries = new Summaries;
    return *summaries;
}

void PutSummary(std::string& out, const Key& key, const PackageSummary& summary) {
    PutNumber(out, key.hash, 8);
    PutNumber(out, key.size, 8);
    PutNumber(out, summary.usable ? 1 : 0, 1);
    PutNumber(out, summary.version ? 1 : 0, 1);
    if (summary.version) {
        const inf::DriverVersion& v = *summary.version;
        PutNumber(out, v.month, 4);
        PutNumber(out, v.day, 4);
        PutNumber(out, v.year, 4);
        for (uint16_t part : v.parts) {
            PutNumber(out, part, 2);
        }
        PutNumber(out, v.hasVersion ? 1 : 0, 1);
    }
    PutNumber(out, summary.models.size(), 4);
    for (const inf::Model& model : summary.models) {
        PutBytes(out, model.description);
        PutBytes(out, model.installSection);
        PutNumber(out, model.ids.size(), 4);
        for (const std::string& id : model.ids) {
            PutBytes(out, id);
        }
    }
}

bool ReadText(Reader& in, std::string& out) {
    std::string_view text;
    if (!in.Bytes(text)) {
        return false;
    }
    out.assign(text);
    return true;
}

bool ReadSummary(Reader& in, Key& key, PackageSummary& summary) {
    uint64_t usable = 0, hasVersion = 0, count = 0;
    if (!in.Number(key.hash, 8) || !in.Number(key.size, 8) || !in.Number(usable, 1) ||
        !in.Number(hasVersion, 1)) {
        return false;
    }
    summary.usable = usable != 0;
    if (hasVersion != 0) {
        inf::DriverVersion v;
        uint64_t month = 0, day = 0, year = 0, flag = 0;
        if (!in.Number(month, 4) || !in.Number(day, 4) || !in.Number(year, 4)) {
            return false;
        }
        v.month = static_cast<unsigned>(month);
        v.day = static_cast<unsigned>(day);
        v.year = static_cast<unsigned>(year);
        for (uint16_t& part : v.parts) {
            uint64_t n = 0;
            if (!in.Number(n, 2)) {
                return false;
            }
            part = static_cast<uint16_t>(n);
        }
        if (!in.Number(flag, 1)) {
            return false;
        }
        v.hasVersion = flag != 0;
        summary.version = v;
    }
    if (!in.Number(count, 4)) {
        return false;
    }
    for (uint64_t m = 0; m < count; ++m) {
        inf::Model model;
        uint64_t ids = 0;
        if (!ReadText(in, model.description) || !ReadText(in, model.installSection) ||
            !in.Number(ids, 4)) {
            return false;
        }
        for (uint64_t i = 0; i < ids; ++i) {
            std::string id;
            if (!ReadText(in, id)) {
                return false;
            }
            model.ids.push_back(std::move(id));
        }
        summary.models.push_back(std::move(model));
    }
    return true;
}

// The image's summaries, all or none: a damaged file or one of another version is ignored.
void LoadCacheFile(Summaries& s) {
    s.loaded = true;
    const std::string& genDir = GenerationDir();
    std::string file;
    try {
        if (genDir.empty() || !ReadWholeFile(genDir + kCacheName, file)) {
            return;
        }
    } catch (const std::runtime_error&) {
        return;
    }
    const std::string_view bytes = file;
    constexpr size_t kHeader = sizeof kMagic + 8;
    if (bytes.size() < kHeader || bytes.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0) {
        return;
    }
    Reader header(bytes.substr(sizeof kMagic, 8));
    uint64_t payloadHash = 0;
    header.Number(payloadHash, 8);
    const std::string_view payload = bytes.substr(kHeader);
    if (ContentHash(payload) != payloadHash) {
        return;
    }
    std::unordered_map<Key, PackageSummary, KeyHash> read;
    Reader in(payload);
    while (!in.AtEnd()) {
        Key key{};
        PackageSummary summary;
        if (!ReadSummary(in, key, summary)) {
            return;
        }
        read[key] = std::move(summary);
    }
    s.byKey = std::move(read);
}

// Writes the summaries this run asked for or made, so that those of copies gone from the
// machine drop out; a run that made none leaves the file of the generation before.
void SaveCacheFile(const std::string&, const std::string& newGen) {
    Summaries& s = S();
    if (!s.added) {
        return;
    }
    // In the order of their keys, so that the same copies give the same file.
    std::vector<Key> keys(s.used.begin(), s.used.end());
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.size < b.size;
    });
    std::string payload;
    for (const Key& key : keys) {
        PutSummary(payload, key, s.byKey.at(key));
    }
    std::string out(kMagic, sizeof kMagic);
    PutNumber(out, ContentHash(payload), 8);
    out += payload;
    std::error_code ec;
    std::filesystem::create_directories(newGen + "/cache", ec);
    ReplaceFileContent(newGen + kCacheName, out);
    s.added = false;
}

void Forget(const std::string&) {
    S() = Summaries{};  // a machine loaded anew starts from its own file
}

const bool registered = [] {
    ImagePart part{"inf-summaries", Forget, SaveCacheFile};
    part.derived = true;
    RegisterImagePart(part);
    return true;
}();

}  // namespace

const PackageSummary& SummaryOfCopy(const std::string& bytes) {
    Summaries& s = S();
    if (!s.loaded) {
        LoadCacheFile(s);
    }
    const Key key{ContentHash(bytes), bytes.size()};
    s.used.insert(key);
    auto it = s.byKey.find(key);
    if (it != s.byKey.end()) {
        return it->second;
    }
    PackageSummary summary;
    inf::File file;
    if (ParsePackage(bytes, file) == 0) {
        summary.usable = true;
        summary.models = inf::Models(file);
        summary.version = inf::DriverVerOf(file);
    }
    s.added = true;
    return s.byKey.emplace(key, std::move(summary)).first->second;
}

}  // namespace sim::store

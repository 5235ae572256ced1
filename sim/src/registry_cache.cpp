#include "registry_cache.h"

#include <cstring>
#include <stdexcept>

#include "binary_form.h"
#include "content_hash.h"
#include "mapped_file.h"

namespace sim {
namespace {

using binary::PutBytes;
using binary::PutNumber;
using binary::Reader;

// The format's name and version: a file of another version is never read as this one.
constexpr char kMagic[8] = {'B', 'K', 'R', 'E', 'G', 'C', 0, 1};
constexpr size_t kHeaderBytes = sizeof kMagic + 4 * 8;

// Each key is one record, depth first in the order of the export: its depth below the top it
// belongs to, its name (for a top, its path below the root), then its values in their order.
void PutKey(std::string& out, const RegKey& key, uint32_t depth, std::string_view name) {
    PutNumber(out, depth, 4);
    PutBytes(out, name);
    PutNumber(out, key.values.size(), 4);
    for (const RegValue& value : key.values) {
        PutBytes(out, value.name);
        PutNumber(out, value.type, 4);
        PutBytes(out, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                       value.data.size()));
    }
}

void PutTree(std::string& out, const RegKey& top, std::string_view path) {
    struct Step {
        const RegKey* key;
        uint32_t depth;
    };
    PutKey(out, top, 0, path);
    std::vector<Step> stack;
    for (auto it = top.subkeys.rbegin(); it != top.subkeys.rend(); ++it) {
        stack.push_back({it->get(), 1});
    }
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        PutKey(out, *step.key, step.depth, step.key->name);
        for (auto it = step.key->subkeys.rbegin(); it != step.key->subkeys.rend(); ++it) {
            stack.push_back({it->get(), step.depth + 1});
        }
    }
}

struct Value {
    std::string_view name;
    DWORD type;
    std::string_view data;
};

// One key record; false when the record runs past the end or names no key.
bool ReadKey(Reader& in, uint32_t& depth, std::string_view& name, std::vector<Value>& values) {
    uint64_t d = 0;
    uint64_t count = 0;
    if (!in.Number(d, 4) || !in.Bytes(name) || name.empty() || !in.Number(count, 4)) {
        return false;
    }
    depth = static_cast<uint32_t>(d);
    values.clear();
    for (uint64_t i = 0; i < count; ++i) {
        Value value{};
        uint64_t type = 0;
        if (!in.Bytes(value.name) || !in.Number(type, 4) || !in.Bytes(value.data)) {
            return false;
        }
        value.type = static_cast<DWORD>(type);
        values.push_back(value);
    }
    return true;
}

// A whole walk of the records: each key one level below a key before it, or a new top.
bool WellFormed(std::string_view payload) {
    Reader in(payload);
    std::vector<Value> values;
    uint32_t open = 0;  // keys on the path of the last one, its top included
    while (!in.AtEnd()) {
        uint32_t depth = 0;
        std::string_view name;
        if (!ReadKey(in, depth, name, values) || depth > open ||
            (depth > 0 && name.find('\\') != std::string_view::npos)) {
            return false;
        }
        open = depth + 1;
    }
    return true;
}

void StoreValues(RegKey& key, const std::vector<Value>& values) {
    auto bytes = [](std::string_view data) {
        return std::vector<uint8_t>(data.begin(), data.end());
    };
    if (!key.values.empty()) {
        for (const Value& value : values) {
            SetValue(key, value.name, value.type, bytes(value.data));
        }
        return;
    }
    // A new key: the cache lists each of its values once.
    key.revision = NextKeyRevision();
    key.values.reserve(values.size());
    for (const Value& value : values) {
        key.values.push_back(RegValue{std::string(value.name), value.type, bytes(value.data)});
    }
}

// Opens (or adds) the key at `path` below the root. Tops follow each other in sorted order, so
// most share their parent with the top before: that one is remembered.
class TopOpener {
  public:
    explicit TopOpener(RegKey& root) : root_(root) {}

    RegKey& Open(std::string_view path) {
        const size_t slash = path.rfind('\\');
        const std::string_view parentPath =
            slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
        const std::string_view name =
            slash == std::string_view::npos ? path : path.substr(slash + 1);
        if (parent_ == nullptr || parentPath != parentPath_) {
            parent_ = &CreateKey(root_, parentPath);
            parentPath_ = parentPath;
        }
        return name.empty() ? *parent_ : AddSubkey(*parent_, name);
    }

  private:
    RegKey& root_;
    RegKey* parent_ = nullptr;
    std::string_view parentPath_;  // points into the cache, which outlives the opener
};

void Build(std::string_view payload, RegKey& root) {
    Reader in(payload);
    std::vector<Value> values;
    std::vector<RegKey*> path;  // the keys from the last top down to the last key
    TopOpener tops(root);
    while (!in.AtEnd()) {
        uint32_t depth = 0;
        std::string_view name;
        ReadKey(in, depth, name, values);  // checked whole before
        path.resize(depth);
        RegKey& key = depth == 0 ? tops.Open(name) : AddSubkey(*path.back(), name);
        path.push_back(&key);
        StoreValues(key, values);
    }
}

}  // namespace

std::string RegistryCacheBytes(const std::vector<ExportTop>& tops, std::string_view text) {
    std::string payload;
    for (const ExportTop& top : tops) {
        // The path below the root: the name without its first component.
        const size_t slash = top.fullName.find('\\');
        PutTree(payload, *top.key,
                slash == std::string::npos ? std::string_view()
                                           : std::string_view(top.fullName).substr(slash + 1));
    }
    std::string out(kMagic, sizeof kMagic);
    PutNumber(out, text.size(), 8);
    PutNumber(out, ContentHash(text), 8);
    PutNumber(out, payload.size(), 8);
    PutNumber(out, ContentHash(payload), 8);
    out += payload;
    return out;
}

bool LoadRegistryCache(const std::string& cachePath, const std::string& textPath, RegKey& root) {
    // One buffer for every piece of a load: a fresh one each time would be zeroed and faulted
    // in again for each file.
    static std::string file;
    try {
        if (!ReadWholeFile(cachePath, file)) {
            return false;
        }
        const std::string_view bytes = file;
        if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
            return false;
        }
        Reader header(bytes.substr(sizeof kMagic));
        uint64_t textSize = 0, textHash = 0, payloadSize = 0, payloadHash = 0;
        if (!header.Number(textSize, 8) || !header.Number(textHash, 8) ||
            !header.Number(payloadSize, 8) || !header.Number(payloadHash, 8) ||
            payloadSize != bytes.size() - kHeaderBytes) {
            return false;
        }
        const std::string_view payload = bytes.substr(kHeaderBytes);
        uint64_t actualHash = 0, actualSize = 0;
        if (ContentHash(payload) != payloadHash || !WellFormed(payload) ||
            !FileContentHash(textPath, actualHash, actualSize) || actualSize != textSize ||
            actualHash != textHash) {
            return false;
        }
        Build(payload, root);
        return true;
    } catch (const std::runtime_error&) {
        return false;  // a cache that cannot be read is one the text stands in for
    }
}

}  // namespace sim

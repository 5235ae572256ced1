#include "registry_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "machine.h"
#include "registry_image.h"
#include "text.h"

namespace sim {
namespace {

struct Roots {
    std::shared_ptr<RegKey> hklm = std::make_shared<RegKey>();
    std::shared_ptr<RegKey> hkcu = std::make_shared<RegKey>();
};

Roots& R() {
    static auto* roots = new Roots;  // never destroyed: handles may outlive static destruction
    return *roots;
}

void MarkDeleted(RegKey& top) {
    // Iterative: a generated machine may nest deeply, and recursion depth is not ours to spend.
    std::vector<RegKey*> pending{&top};
    while (!pending.empty()) {
        RegKey* key = pending.back();
        pending.pop_back();
        key->deleted = true;
        for (auto& child : key->subkeys) {
            pending.push_back(child.get());
        }
    }
}

using Children = std::vector<std::shared_ptr<RegKey>>;

Children::const_iterator LowerBound(const Children& children, const std::string& folded) {
    return std::lower_bound(children.begin(), children.end(), folded,
                            [](const std::shared_ptr<RegKey>& child, const std::string& f) {
                                return child->folded < f;
                            });
}

// Splits a registry path into its non-empty components.
std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

RegKey& Hklm() {
    EnsureLoaded();
    return *R().hklm;
}
RegKey& Hkcu() {
    EnsureLoaded();
    return *R().hkcu;
}

bool IsHklmRoot(const RegKey& key) {
    return &key == R().hklm.get();
}

void ResetRegistry() {
    Roots& r = R();
    MarkDeleted(*r.hklm);
    MarkDeleted(*r.hkcu);
    r.hklm = std::make_shared<RegKey>();
    r.hkcu = std::make_shared<RegKey>();
}

std::string FoldName(std::string_view name) {
    std::string out(name);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            // U+00E0..U+00FE (but not U+00F7, the division sign) upper-case to U+00C0..U+00DE.
            unsigned char next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                out[i + 1] = static_cast<char>(next - 0x20);
            }
            ++i;
        }
    }
    return out;
}

RegKey* FindSubkey(const RegKey& key, std::string_view name) {
    const std::string folded = FoldName(name);
    auto it = LowerBound(key.subkeys, folded);
    if (it != key.subkeys.end() && (*it)->folded == folded) {
        return it->get();
    }
    return nullptr;
}

RegKey& AddSubkey(RegKey& key, std::string_view name) {
    std::string folded = FoldName(name);
    // Trees are mostly built in sorted order (an export read back, a generator): a name after
    // the last one goes at the end without a search.
    auto it = !key.subkeys.empty() && key.subkeys.back()->folded < folded
                  ? key.subkeys.end()
                  : LowerBound(key.subkeys, folded);
    if (it != key.subkeys.end() && (*it)->folded == folded) {
        return **it;
    }
    auto child = std::make_shared<RegKey>();
    child->name = std::string(name);
    child->folded = std::move(folded);
    child->parent = &key;
    RegKey& added = *child;
    key.subkeys.insert(key.subkeys.begin() + (it - key.subkeys.begin()), std::move(child));
    NoteRegistryChange(added, false);
    return added;
}

bool RemoveSubkey(RegKey& key, std::string_view name) {
    const std::string folded = FoldName(name);
    auto it = LowerBound(key.subkeys, folded);
    if (it == key.subkeys.end() || (*it)->folded != folded) {
        return false;
    }
    std::shared_ptr<RegKey> child = *it;
    NoteRegistryChange(*child, true);
    key.subkeys.erase(key.subkeys.begin() + (it - key.subkeys.begin()));
    child->parent = nullptr;
    MarkDeleted(*child);
    return true;
}

std::shared_ptr<RegKey> ShareKey(const RegKey& key) {
    if (key.parent == nullptr) {
        if (&key == R().hklm.get()) {
            return R().hklm;
        }
        return &key == R().hkcu.get() ? R().hkcu : nullptr;
    }
    const auto& siblings = key.parent->subkeys;
    auto it = LowerBound(siblings, key.folded);
    return it != siblings.end() && it->get() == &key ? *it : nullptr;
}

RegKey* FindKey(RegKey& root, std::string_view path) {
    RegKey* key = &root;
    for (std::string_view part : Components(path)) {
        key = FindSubkey(*key, part);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

RegKey& CreateKey(RegKey& root, std::string_view path) {
    RegKey* key = &root;
    for (std::string_view part : Components(path)) {
        key = &AddSubkey(*key, part);
    }
    return *key;
}

bool DeleteKeyTree(RegKey& root, std::string_view path) {
    RegKey* key = FindKey(root, path);
    if (key == nullptr || key->parent == nullptr) {
        return false;
    }
    return RemoveSubkey(*key->parent, key->name);
}

std::string KeyPath(const RegKey& key) {
    std::vector<const RegKey*> chain;
    for (const RegKey* k = &key; k != nullptr && k->parent != nullptr; k = k->parent) {
        chain.push_back(k);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) {
            path += '\\';
        }
        path += (*it)->name;
    }
    return path;
}

RegValue* FindValue(RegKey& key, std::string_view name) {
    for (RegValue& value : key.values) {
        if (sim::EqualNoCase(value.name, name, sim::CaseRule::kLatin1)) {
            return &value;
        }
    }
    return nullptr;
}

const RegValue* FindValue(const RegKey& key, std::string_view name) {
    return FindValue(const_cast<RegKey&>(key), name);
}

uint64_t NextKeyRevision() {
    static uint64_t next = 0;
    return ++next;
}

void SetValue(RegKey& key, std::string_view name, DWORD type, std::vector<uint8_t> data) {
    RegValue* existing = FindValue(key, name);
    // Writing what is there already leaves the key as it was, and its piece of the image
    // need not be written again.
    if (existing != nullptr && existing->type == type && existing->data == data) {
        return;
    }
    NoteRegistryChange(key, false);
    key.revision = NextKeyRevision();
    if (existing != nullptr) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    key.values.push_back(RegValue{std::string(name), type, std::move(data)});
}

bool RemoveValue(RegKey& key, std::string_view name) {
    RegValue* value = FindValue(key, name);
    if (value == nullptr) {
        return false;
    }
    NoteRegistryChange(key, false);
    key.revision = NextKeyRevision();
    key.values.erase(key.values.begin() + (value - key.values.data()));
    return true;
}

void SetStringValue(RegKey& key, std::string_view name, std::string_view text, DWORD type) {
    SetValue(key, name, type, StringData(text));
}

void SetMultiStringValue(RegKey& key, std::string_view name,
                         const std::vector<std::string>& strings) {
    std::vector<uint8_t> data;
    for (const std::string& s : strings) {
        std::vector<uint8_t> one = StringData(s);
        data.insert(data.end(), one.begin(), one.end());
    }
    data.push_back(0);
    data.push_back(0);
    SetValue(key, name, REG_MULTI_SZ, std::move(data));
}

void SetDwordValue(RegKey& key, std::string_view name, DWORD number) {
    std::vector<uint8_t> data(4);
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<uint8_t>(number >> (8 * i));
    }
    SetValue(key, name, REG_DWORD, std::move(data));
}

std::optional<std::string> GetStringValue(const RegKey& key, std::string_view name) {
    const RegValue* value = FindValue(key, name);
    if (value == nullptr || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::u16string text = Utf16FromBytes(value->data);
    size_t end = text.find(u'\0');
    return Utf8FromUtf16(std::u16string_view(text).substr(0, end));
}

std::optional<std::vector<std::string>> GetMultiStringValue(const RegKey& key,
                                                            std::string_view name) {
    const RegValue* value = FindValue(key, name);
    if (value == nullptr || value->type != REG_MULTI_SZ) {
        return std::nullopt;
    }
    std::u16string text = Utf16FromBytes(value->data);
    std::vector<std::string> strings;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\0', start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        if (end == start) {
            break;  // the empty string that ends the list
        }
        strings.push_back(Utf8FromUtf16(std::u16string_view(text).substr(start, end - start)));
        start = end + 1;
    }
    return strings;
}

std::optional<DWORD> GetDwordValue(const RegKey& key, std::string_view name) {
    const RegValue* value = FindValue(key, name);
    if (value == nullptr || value->type != REG_DWORD || value->data.size() != 4) {
        return std::nullopt;
    }
    DWORD number = 0;
    for (int i = 3; i >= 0; --i) {
        number = (number << 8) | value->data[i];
    }
    return number;
}

std::vector<uint8_t> StringData(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        std::vector<uint8_t> data((utf8.size() + 1) * 2, 0);  // ASCII: each byte widens alone
        for (size_t i = 0; i < utf8.size(); ++i) {
            data[2 * i] = static_cast<uint8_t>(utf8[i]);
        }
        return data;
    }
    std::u16string text = Utf16FromUtf8(utf8, Utf8Rule::kKeepSurrogates);
    std::vector<uint8_t> data((text.size() + 1) * 2, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        data[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
        data[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
    return data;
}

std::u16string Utf16FromBytes(const std::vector<uint8_t>& data) {
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

}  // namespace sim

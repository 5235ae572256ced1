// The resource sections of the simulated process's modules.
#include "sim/resources.h"

#include <map>
#include <tuple>

#include "sim/modules.h"

namespace sim {
namespace {

struct ResourceKey {
    WORD type;
    WORD name;
    WORD language;
    bool operator<(const ResourceKey& other) const {
        return std::tie(type, name, language) < std::tie(other.type, other.name, other.language);
    }
};

using ResourceSection = std::map<ResourceKey, std::vector<BYTE>>;

// Built on first use: registrations arrive from static initializers in any order.
std::map<HMODULE, ResourceSection>& Sections() {
    static auto* sections = new std::map<HMODULE, ResourceSection>;
    return *sections;
}

// The process image is reachable both as a null module and through its module handle.
HMODULE Canonical(HMODULE module) {
    return module == ProcessImageModule() ? nullptr : module;
}

}  // namespace

void RegisterModuleResource(HMODULE module, WORD type, WORD name, WORD language, const void* data,
                            size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    std::vector<BYTE> copy(bytes, bytes + (bytes != nullptr ? size : 0));
    Sections()[Canonical(module)][ResourceKey{type, name, language}] = std::move(copy);
}

void ClearModuleResources(HMODULE module) {
    Sections().erase(Canonical(module));
}

DWORD FindModuleResource(HMODULE module, WORD type, WORD name, WORD language,
                         ResourceBytes* found) {
    auto section = Sections().find(Canonical(module));
    if (section == Sections().end() || section->second.empty()) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    const ResourceSection& entries = section->second;
    // Keys sort by type, then name, then language: the first key not below (type, name, 0)
    // tells whether the type and the name exist at all.
    auto first = entries.lower_bound(ResourceKey{type, 0, 0});
    if (first == entries.end() || first->first.type != type) {
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
    auto named = entries.lower_bound(ResourceKey{type, name, 0});
    if (named == entries.end() || named->first.type != type || named->first.name != name) {
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    }
    auto exact = entries.find(ResourceKey{type, name, language});
    if (exact == entries.end()) {
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    found->data = exact->second.data();
    found->size = exact->second.size();
    found->language = language;
    return ERROR_SUCCESS;
}

std::vector<WORD> ModuleResourceLanguages(HMODULE module, WORD type, WORD name) {
    std::vector<WORD> languages;
    auto section = Sections().find(Canonical(module));
    if (section == Sections().end()) {
        return languages;
    }
    const ResourceSection& entries = section->second;
    for (auto it = entries.lower_bound(ResourceKey{type, name, 0});
         it != entries.end() && it->first.type == type && it->first.name == name; ++it) {
        languages.push_back(it->first.language);
    }
    return languages;
}

}  // namespace sim

extern "C" void SimRegisterModuleResource(WORD type, WORD name, WORD language, const void* data,
                                          size_t size) {
    sim::RegisterModuleResource(nullptr, type, name, language, data, size);
}

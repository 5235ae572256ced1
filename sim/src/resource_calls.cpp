// FindResourceA, LoadResource, LockResource and SizeofResource over the modules' resource
// sections. A resource handle names one (module, type, name, language); the data handle is
// the bytes themselves, as on Windows where a loaded resource never moves.
#include <deque>
#include <tuple>

#include "choke.h"
#include "sim/resources.h"
#include "simwin/user32.h"

namespace {

struct ResourceRef {
    HMODULE module;
    WORD type;
    WORD name;
    WORD language;
};

// Handles stay valid for the process's life, as those of a loaded image do.
std::deque<ResourceRef>& Refs() {
    static std::deque<ResourceRef> refs;
    return refs;
}

HRSRC RefHandle(const ResourceRef& wanted) {
    for (ResourceRef& ref : Refs()) {
        if (std::tie(ref.module, ref.type, ref.name, ref.language) ==
            std::tie(wanted.module, wanted.type, wanted.name, wanted.language)) {
            return reinterpret_cast<HRSRC>(&ref);
        }
    }
    Refs().push_back(wanted);
    return reinterpret_cast<HRSRC>(&Refs().back());
}

const ResourceRef* RefOf(HRSRC resource) {
    for (const ResourceRef& ref : Refs()) {
        if (reinterpret_cast<HRSRC>(const_cast<ResourceRef*>(&ref)) == resource) {
            return &ref;
        }
    }
    return nullptr;
}

bool Lookup(HRSRC resource, sim::ResourceBytes* bytes) {
    const ResourceRef* ref = RefOf(resource);
    if (ref == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (DWORD e =
            sim::FindModuleResource(ref->module, ref->type, ref->name, ref->language, bytes)) {
        SetLastError(e);
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    sim::ApiCall call("FindResourceA");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    if (!IS_INTRESOURCE(name) || !IS_INTRESOURCE(type)) {
        sim::NotModelled("FindResourceA", "resources named by strings");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    const WORD typeId = LOWORD(reinterpret_cast<ULONG_PTR>(type));
    const WORD nameId = LOWORD(reinterpret_cast<ULONG_PTR>(name));
    // Without a language of the user's own, the first language the resource has serves.
    const std::vector<WORD> languages = sim::ModuleResourceLanguages(module, typeId, nameId);
    const WORD language = languages.empty() ? WORD{0} : languages.front();
    sim::ResourceBytes bytes;
    if (DWORD e = sim::FindModuleResource(module, typeId, nameId, language, &bytes)) {
        SetLastError(e);
        return nullptr;
    }
    return RefHandle(ResourceRef{module, typeId, nameId, language});
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
    (void)module;
    sim::ApiCall call("LoadResource");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return nullptr;
    }
    sim::ResourceBytes bytes;
    return Lookup(resource, &bytes) ? const_cast<BYTE*>(bytes.data) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL resourceData) {
    return resourceData;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
    (void)module;
    sim::ApiCall call("SizeofResource");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    sim::ResourceBytes bytes;
    return Lookup(resource, &bytes) ? static_cast<DWORD>(bytes.size) : 0;
}

}  // extern "C"

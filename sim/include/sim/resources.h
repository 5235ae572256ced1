// Resources of the simulated process's modules: what a Windows image carries in its resource
// section (message tables, dialog templates), registered by code that the build generates from
// the program's compiled resource files. Lookups follow FindResourceEx.
#pragma once
#include <cstddef>
#include <vector>

#include "simwin/base.h"

// Registers one resource of the process's own image (what GetModuleHandleA(nullptr) returns).
// `type` and `name` are integer resource ids (11 = RT_MESSAGETABLE, 5 = RT_DIALOG), `language`
// a LANGID; the bytes are copied. A second registration of the same triple replaces the first.
// Safe to call from a static initializer.
extern "C" void SimRegisterModuleResource(WORD type, WORD name, WORD language, const void* data,
                                          size_t size);

namespace sim {

constexpr WORD kResourceTypeDialog = 5;
constexpr WORD kResourceTypeMessageTable = 11;

// The same for any module; a null `module` or sim::ProcessImageModule() is the process image.
void RegisterModuleResource(HMODULE module, WORD type, WORD name, WORD language, const void* data,
                            size_t size);

// Removes every resource of `module` (tests that build a module of their own).
void ClearModuleResources(HMODULE module);

struct ResourceBytes {
    const BYTE* data = nullptr;
    size_t size = 0;
    WORD language = 0;
};

// Finds the resource in exactly `language`. Returns ERROR_SUCCESS, or the error FindResourceEx
// reports: ERROR_RESOURCE_DATA_NOT_FOUND (the module has no resources at all),
// ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND.
// The bytes stay valid until the resource is replaced or cleared.
DWORD FindModuleResource(HMODULE module, WORD type, WORD name, WORD language, ResourceBytes* found);

// The languages in which the resource exists, in ascending order (the order of a resource
// directory); empty when the type or name is missing.
std::vector<WORD> ModuleResourceLanguages(HMODULE module, WORD type, WORD name);

}  // namespace sim

// The export walk over a loaded module's own export directory.
#include "config/module_exports.h"

#include <algorithm>
#include <cstring>

namespace {

// A loaded module spans SizeOfImage bytes and its headers lie in its first page; every offset
// the export directory gives is checked against that span before it is followed, so a damaged
// or hostile image yields "not found" instead of a read outside it. Fields are copied out, as
// a hostile offset need not be aligned.
struct ModuleSpan {
    const unsigned char* base;
    size_t size;
    bool Holds(size_t offset, size_t count, size_t width) const {
        return offset <= size && count <= (size - offset) / width;
    }
    template <typename T>
    bool Read(size_t offset, T& out, size_t index = 0) const {
        if (!Holds(offset, index + 1, sizeof(T)) || index + 1 == 0) {
            return false;
        }
        std::memcpy(&out, base + offset + index * sizeof(T), sizeof(T));
        return true;
    }
};

constexpr size_t kHeaderPage = 4096;

bool ExportNameIs(const ModuleSpan& image, DWORD offset, const char* name) {
    const size_t length = std::strlen(name);
    return image.Holds(offset, length + 1, 1) &&
           std::memcmp(image.base + offset, name, length + 1) == 0;
}

}  // namespace

FARPROC FindModuleExport(HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    ModuleSpan image{reinterpret_cast<const unsigned char*>(module), kHeaderPage};
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    if (!image.Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        !image.Read(static_cast<size_t>(dos.e_lfanew), nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
        nt.OptionalHeader.NumberOfRvaAndSizes < IMAGE_NUMBEROF_DIRECTORY_ENTRIES) {
        return nullptr;
    }
    image.size = std::max<size_t>(nt.OptionalHeader.SizeOfImage, kHeaderPage);
    const IMAGE_DATA_DIRECTORY entry =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    IMAGE_EXPORT_DIRECTORY exports;
    if (entry.VirtualAddress == 0 || entry.Size == 0 ||
        !image.Read(entry.VirtualAddress, exports)) {
        return nullptr;
    }
    DWORD index = 0;
    const uintptr_t value = reinterpret_cast<uintptr_t>(name);
    if (value > 0xFFFF) {
        DWORD i = 0;
        DWORD nameOffset = 0;
        WORD ordinal = 0;
        for (; i < exports.NumberOfNames; ++i) {
            if (!image.Read(exports.AddressOfNames, nameOffset, i)) {
                return nullptr;
            }
            if (ExportNameIs(image, nameOffset, name)) {
                break;
            }
        }
        if (i == exports.NumberOfNames || !image.Read(exports.AddressOfNameOrdinals, ordinal, i)) {
            return nullptr;
        }
        index = ordinal;
    } else {
        if (value < exports.Base) {
            return nullptr;
        }
        index = static_cast<DWORD>(value - exports.Base);
    }
    // An index past the function table would read outside it. The function's own offset is
    // handed back unread: the simulated ntdll keeps its code beyond its headers' image.
    DWORD function = 0;
    if (index >= exports.NumberOfFunctions ||
        !image.Read(exports.AddressOfFunctions, function, index)) {
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(const_cast<unsigned char*>(image.base + function));
}

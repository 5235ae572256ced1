// The loaded image of ntdll.dll as a program sees it through GetModuleHandleA("ntdll"): a PE
// image in memory with DOS and NT headers and a real export directory, so a program that
// walks the export directory itself finds NtQueryInformationProcess as it would on Windows.
//
// An export is found as the module base plus a 32-bit offset, so the image is mapped below the
// simulated functions and within 4 GiB of them.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "choke.h"
#include "handles.h"
#include "processes_internal.h"
#include "simwin/toolhelp.h"

extern "C" NTSTATUS NTAPI NtClose(HANDLE handle);

namespace sim {
namespace {

constexpr size_t kImageSize = 0x1000;
constexpr DWORD kNtHeaders = 0x80;
constexpr DWORD kExportDirectory = 0x200;
constexpr DWORD kOrdinalBase = 8;

struct Export {
    const char* name;  // the name table is sorted, as the loader's binary search needs
    FARPROC address;
};

std::vector<Export> Exports() {
    return {{"NtClose", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtClose))},
            {"NtQueryInformationProcess",
             reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtQueryInformationProcess))}};
}

template <class T>
void Put(unsigned char* image, DWORD offset, const T& value) {
    std::memcpy(image + offset, &value, sizeof value);
}

// Maps a zeroed block below `ceiling` and within 4 GiB of it; null when none is free.
unsigned char* MapBelow(uintptr_t ceiling) {
    const uintptr_t step = 0x1000000;  // 16 MiB
    for (uintptr_t distance = step; distance < 0xC0000000u; distance += step) {
        if (ceiling < distance) {
            break;
        }
        void* hint =
            reinterpret_cast<void*>((ceiling - distance) & ~static_cast<uintptr_t>(0xFFFF));
        void* block =
            mmap(hint, kImageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) {
            continue;
        }
        if (block == hint) {
            return static_cast<unsigned char*>(block);
        }
        munmap(block, kImageSize);
    }
    return nullptr;
}

void WriteHeaders(unsigned char* image, DWORD sizeOfImage) {
    IMAGE_DOS_HEADER dos{};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = kNtHeaders;
    Put(image, 0, dos);
    IMAGE_NT_HEADERS64 nt{};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_AMD64;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
    nt.FileHeader.Characteristics = 0x2022;  // executable, large-address aware, a DLL
    nt.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    nt.OptionalHeader.ImageBase = reinterpret_cast<uintptr_t>(image);
    nt.OptionalHeader.SectionAlignment = 0x1000;
    nt.OptionalHeader.FileAlignment = 0x200;
    nt.OptionalHeader.SizeOfImage = sizeOfImage;
    nt.OptionalHeader.SizeOfHeaders = 0x200;
    nt.OptionalHeader.Subsystem = 3;
    nt.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT] = {kExportDirectory,
                                                                     kImageSize - kExportDirectory};
    Put(image, kNtHeaders, nt);
}

void WriteExports(unsigned char* image, const std::vector<Export>& exports) {
    const DWORD count = static_cast<DWORD>(exports.size());
    const DWORD functions = kExportDirectory + sizeof(IMAGE_EXPORT_DIRECTORY);
    const DWORD names = functions + 4 * count;
    const DWORD ordinals = names + 4 * count;
    DWORD strings = ordinals + 2 * count;
    auto putString = [&](const char* text) {
        DWORD at = strings;
        std::memcpy(image + at, text, std::strlen(text) + 1);
        strings += static_cast<DWORD>(std::strlen(text) + 1);
        return at;
    };
    IMAGE_EXPORT_DIRECTORY directory{};
    directory.Name = putString("ntdll.dll");
    directory.Base = kOrdinalBase;
    directory.NumberOfFunctions = count;
    directory.NumberOfNames = count;
    directory.AddressOfFunctions = functions;
    directory.AddressOfNames = names;
    directory.AddressOfNameOrdinals = ordinals;
    Put(image, kExportDirectory, directory);
    const uintptr_t base = reinterpret_cast<uintptr_t>(image);
    for (DWORD i = 0; i < count; ++i) {
        Put(image, functions + 4 * i,
            static_cast<DWORD>(reinterpret_cast<uintptr_t>(exports[i].address) - base));
        Put(image, names + 4 * i, putString(exports[i].name));
        Put(image, ordinals + 2 * i, static_cast<WORD>(i));
    }
}

unsigned char* BuildImage() {
    std::vector<Export> exports = Exports();
    uintptr_t lowest = UINTPTR_MAX;
    for (const Export& e : exports) {
        lowest = std::min(lowest, reinterpret_cast<uintptr_t>(e.address));
    }
    unsigned char* image = MapBelow(lowest);
    if (image == nullptr) {
        return nullptr;
    }
    // The exports are the host's own functions above the mapped headers; the image spans up
    // to them, as a real image's code lies inside its SizeOfImage.
    uintptr_t highest = 0;
    for (const Export& e : exports) {
        highest = std::max(highest, reinterpret_cast<uintptr_t>(e.address));
    }
    const uintptr_t span = (highest - reinterpret_cast<uintptr_t>(image) + 0x1000) & ~0xFFFull;
    WriteHeaders(image, static_cast<DWORD>(std::max<uintptr_t>(span, kImageSize)));
    WriteExports(image, exports);
    mprotect(image, kImageSize, PROT_READ);
    return image;
}

}  // namespace

HMODULE NtdllImageModule() {
    static unsigned char* image = BuildImage();
    return reinterpret_cast<HMODULE>(image);
}

FARPROC NtdllExport(const char* name) {
    for (const Export& e : Exports()) {
        if (std::strcmp(e.name, name) == 0) {
            return e.address;
        }
    }
    return nullptr;
}

}  // namespace sim

extern "C" NTSTATUS NTAPI NtClose(HANDLE handle) {
    sim::ApiCall call("NtClose");
    return sim::RemoveHandle(handle) ? STATUS_SUCCESS : STATUS_INVALID_HANDLE;
}

// What another process's memory shows a reader: each process of the machine gets a small
// synthesized address space holding its environment block (PEB), its process parameters and
// the UTF-16 strings these point to, at the offsets 64-bit Windows uses. ReadProcessMemory and
// ntdll's NtQueryInformationProcess read it; WideCharToMultiByte turns the text back to ANSI.
#include <cstring>
#include <string>
#include <vector>

#include "choke.h"
#include "processes_internal.h"
#include "simwin/toolhelp.h"
#include "text.h"

namespace sim {
namespace {

// 64-bit layout: PEB.ProcessParameters at 0x20; in RTL_USER_PROCESS_PARAMETERS the
// ImagePathName UNICODE_STRING at 0x60 and CommandLine at 0x70.
constexpr uint64_t kSpaceBase = 0x00007FF600000000ull;
constexpr uint64_t kSpaceStride = 0x100000;
constexpr uint64_t kParametersOffset = 0x10000;
constexpr uint64_t kCommandLineOffset = 0x20000;
constexpr uint64_t kImagePathOffset = 0x30000;
constexpr size_t kPebSize = 0x7C8;
constexpr size_t kParametersSize = 0x440;

struct Region {
    uint64_t address;
    std::vector<unsigned char> bytes;
};

void PutPointer(std::vector<unsigned char>& block, size_t offset, uint64_t value) {
    std::memcpy(block.data() + offset, &value, sizeof value);
}

// A UNICODE_STRING over `text` whose buffer lies at `address`, and the buffer's region.
void PutString(std::vector<unsigned char>& block, size_t offset, const std::u16string& text,
               uint64_t address, std::vector<Region>& regions) {
    const USHORT length = static_cast<USHORT>(text.size() * 2);
    const USHORT maximum = static_cast<USHORT>(length + 2);
    std::memcpy(block.data() + offset, &length, 2);
    std::memcpy(block.data() + offset + 2, &maximum, 2);
    PutPointer(block, offset + 8, address);
    Region buffer{address, std::vector<unsigned char>(maximum, 0)};
    std::memcpy(buffer.bytes.data(), text.data(), length);
    regions.push_back(std::move(buffer));
}

std::u16string Clamp(std::u16string text) {
    // StartProcess refuses longer lines; a record edited by hand is cut to what fits.
    if (text.size() > kMaxCommandLineUnits) {
        text.resize(kMaxCommandLineUnits);
    }
    return text;
}

std::vector<Region> AddressSpace(const ProcessRecord& p) {
    const uint64_t base = PebAddressOf(p.pid);
    std::vector<Region> regions;
    Region peb{base, std::vector<unsigned char>(kPebSize, 0)};
    PutPointer(peb.bytes, 0x20, base + kParametersOffset);
    Region parameters{base + kParametersOffset, std::vector<unsigned char>(kParametersSize, 0)};
    const DWORD size = static_cast<DWORD>(kParametersSize);
    std::memcpy(parameters.bytes.data(), &size, 4);      // MaximumLength
    std::memcpy(parameters.bytes.data() + 4, &size, 4);  // Length
    PutString(parameters.bytes, 0x60, Clamp(Utf16FromUtf8(p.image, Utf8Rule::kStrict)),
              base + kImagePathOffset, regions);
    PutString(parameters.bytes, 0x70, Clamp(Utf16FromUtf8(p.commandLine, Utf8Rule::kStrict)),
              base + kCommandLineOffset, regions);
    regions.push_back(std::move(peb));
    regions.push_back(std::move(parameters));
    return regions;
}

}  // namespace

uint64_t PebAddressOf(DWORD pid) {
    return kSpaceBase + static_cast<uint64_t>(pid) * kSpaceStride;
}

bool ReadSynthesizedMemory(const ProcessRecord& process, uint64_t address, void* out, size_t size) {
    for (const Region& r : AddressSpace(process)) {
        if (address >= r.address && address - r.address <= r.bytes.size() &&
            size <= r.bytes.size() - (address - r.address)) {
            std::memcpy(out, r.bytes.data() + (address - r.address), size);
            return true;
        }
    }
    return false;
}

namespace {

// Converts `count` code units; a surrogate pair is one character, a lone surrogate U+FFFD.
std::string Narrow(const char16_t* wide, size_t count, bool utf8, char fallback,
                   bool& usedDefault) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (utf8) {
            AppendUtf8(out, c);
            continue;
        }
        int byte = Cp1252Byte(c);
        if (byte < 0) {
            usedDefault = true;
            out.push_back(fallback);
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

}  // namespace
}  // namespace sim

extern "C" {

BOOL WINAPI ReadProcessMemory(HANDLE process, LPCVOID baseAddress, LPVOID buffer, SIZE_T size,
                              SIZE_T* bytesRead) {
    sim::ApiCall call("ReadProcessMemory");
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return FALSE;
    }
    auto* object = sim::LookupHandleAs<sim::ProcessHandle>(process);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((object->access() & PROCESS_VM_READ) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const sim::ProcessRecord* target = sim::FindProcess(object->pid());
    const uint64_t address = reinterpret_cast<uintptr_t>(baseAddress);
    if (target == nullptr || buffer == nullptr ||
        !sim::ReadSynthesizedMemory(*target, address, buffer, size)) {
        SetLastError(ERROR_PARTIAL_COPY);
        return FALSE;
    }
    if (bytesRead != nullptr) {
        *bytesRead = size;
    }
    return TRUE;
}

NTSTATUS NTAPI NtQueryInformationProcess(HANDLE process, PROCESSINFOCLASS infoClass, PVOID info,
                                         ULONG infoLength, PULONG returnLength) {
    sim::ApiCall call("NtQueryInformationProcess");
    if (call.fault() != 0) {
        return STATUS_ACCESS_DENIED;
    }
    if (infoClass != ProcessBasicInformation) {
        sim::NotModelled("NtQueryInformationProcess", "information classes other than basic");
        return STATUS_NOT_IMPLEMENTED;
    }
    auto* object = sim::LookupHandleAs<sim::ProcessHandle>(process);
    if (object == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    if ((object->access() & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) == 0) {
        return STATUS_ACCESS_DENIED;
    }
    if (infoLength != sizeof(PROCESS_BASIC_INFORMATION)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (info == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const sim::ProcessRecord* target = sim::FindProcess(object->pid());
    PROCESS_BASIC_INFORMATION basic{};
    basic.ExitStatus = target != nullptr ? 0x103 : 0;  // STILL_ACTIVE while it runs
    basic.PebBaseAddress = reinterpret_cast<PPEB>(sim::PebAddressOf(object->pid()));
    basic.AffinityMask = 0x3;
    basic.BasePriority = 8;
    basic.UniqueProcessId = object->pid();
    basic.InheritedFromUniqueProcessId = target != nullptr ? target->parentPid : 0;
    std::memcpy(info, &basic, sizeof basic);
    if (returnLength != nullptr) {
        *returnLength = sizeof basic;
    }
    return STATUS_SUCCESS;
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount,
                               LPSTR multiByte, int multiByteCount, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar) {
    sim::ApiCall call("WideCharToMultiByte");
    if (DWORD e = call.fault()) {
        SetLastError(e);
        return 0;
    }
    const bool utf8 = codePage == CP_UTF8;
    if (!utf8 && codePage != CP_ACP && codePage != 1252) {
        sim::NotModelled("WideCharToMultiByte", "code pages other than 1252 and UTF-8");
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    if (wide == nullptr || wideCount == 0 || multiByteCount < 0 ||
        (multiByteCount > 0 && multiByte == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD known = WC_NO_BEST_FIT_CHARS | WC_COMPOSITECHECK | WC_DEFAULTCHAR;
    if (utf8 ? (flags != 0 || defaultChar != nullptr || usedDefaultChar != nullptr)
             : (flags & ~known) != 0) {
        SetLastError(utf8 ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FLAGS);
        return 0;
    }
    // No best-fit table is modelled: a character the code page lacks always becomes the
    // default character, which is what WC_NO_BEST_FIT_CHARS asks for.
    size_t count = 0;
    if (wideCount < 0) {
        while (wide[count] != 0)
            ++count;
        ++count;  // the terminator is converted too
    } else {
        count = static_cast<size_t>(wideCount);
    }
    bool usedDefault = false;
    const char fallback = defaultChar != nullptr ? *defaultChar : '?';
    std::string out = sim::Narrow(wide, count, utf8, fallback, usedDefault);
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (multiByteCount == 0) {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<size_t>(multiByteCount)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multiByte, out.data(), out.size());
    return static_cast<int>(out.size());
}

}  // extern "C"

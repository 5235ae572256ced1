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
    PutString(parameters.bytes, 0x60, Clamp(Utf16FromUtf8(p.image)), base + kImagePathOffset,
              regions);
    PutString(parameters.bytes, 0x70, Clamp(Utf16FromUtf8(p.commandLine)),
              base + kCommandLineOffset, regions);
    regions.push_back(std::move(peb));
    regions.push_back(std::move(parameters));
    return regions;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
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

std::u16string Utf16FromUtf8(const std::string& text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        char32_t c = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, c = lead & 0x07;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, c = lead & 0x0F;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, c = lead & 0x1F;
        } else if (lead >= 0x80) {
            extra = 9;  // a continuation byte or an overlong lead: malformed
        }
        bool ok = extra != 9 && extra < text.size() - i;
        for (size_t k = 1; ok && k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

namespace {

// Code page 1252 where it differs from Latin-1: the characters of bytes 0x80 to 0x9F (the five
// bytes the code page leaves undefined map to the C1 controls of the same value).
const char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The code-page byte of `c`, or -1 when the code page has no such character.
int Cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<int>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c) {
            return 0x80 + i;
        }
    }
    return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

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

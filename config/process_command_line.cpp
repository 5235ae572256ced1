// Reading another process's command line: its PEB's process parameters, read across the process
// boundary, with the query that finds the PEB taken from ntdll's own export directory.
#include "config/process_command_line.h"

#include <cstring>
#include <vector>

#include "config/module_exports.h"
#include "platform/unique.h"

namespace {

constexpr DWORD kReadAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr size_t kWideUnits = 520;  // the command-line buffer: 1040 bytes
constexpr size_t kAnsiBytes = MAX_PATH;
constexpr size_t kPebBytes = 48;
constexpr size_t kParametersBytes = 240;
constexpr size_t kParametersPointer = 0x20;
constexpr size_t kCommandLineString = 0x70;

using QueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

bool ReadRemote(HANDLE process, const void* address, void* buffer, size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, address, buffer, size, &read) && read == size;
}

const void* PointerAt(const unsigned char* block, size_t offset) {
    const void* pointer = nullptr;
    std::memcpy(&pointer, block + offset, sizeof pointer);
    return pointer;
}

// The target's UTF-16 command line, terminated; false when any read fails or it is too long.
bool ReadWideCommandLine(HANDLE process, std::vector<WCHAR>& wide) {
    auto query = reinterpret_cast<QueryInformationProcess>(reinterpret_cast<void*>(
        FindModuleExport(GetModuleHandleA("ntdll"), "NtQueryInformationProcess")));
    if (query == nullptr) {
        return false;
    }
    PROCESS_BASIC_INFORMATION basic{};
    static_assert(sizeof basic == 48, "the 64-bit PROCESS_BASIC_INFORMATION");
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return false;
    }
    unsigned char peb[kPebBytes];
    unsigned char parameters[kParametersBytes];
    if (!ReadRemote(process, basic.PebBaseAddress, peb, sizeof peb) ||
        !ReadRemote(process, PointerAt(peb, kParametersPointer), parameters, sizeof parameters)) {
        return false;
    }
    USHORT length = 0;
    std::memcpy(&length, parameters + kCommandLineString, sizeof length);
    if (length > kWideUnits * sizeof(WCHAR)) {
        return false;
    }
    wide.assign(kWideUnits + 1, 0);
    return ReadRemote(process, PointerAt(parameters, kCommandLineString + 8), wide.data(), length);
}

}  // namespace

bool ReadProcessCommandLine(DWORD processId, std::string& commandLine) {
    platform::UniqueHandle process(OpenProcess(kReadAccess, FALSE, processId));
    if (!process) {
        return false;
    }
    std::vector<WCHAR> wide;
    if (!ReadWideCommandLine(process.get(), wide)) {
        return false;
    }
    // The text with its terminator and one byte to spare must fit the 260-byte buffer.
    const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, nullptr,
                                           0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) + 1 > kAnsiBytes) {
        return false;
    }
    char ansi[kAnsiBytes] = {};
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, ansi,
                            static_cast<int>(sizeof ansi), nullptr, nullptr) != needed) {
        return false;
    }
    commandLine.assign(ansi);
    return true;
}

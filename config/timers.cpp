// The wizard-suppression timers. Both run without a window, so their procedures run only while
// this thread is inside a platform call that dispatches messages (the device installer); a run
// that only starts a timer ends before it fires.
#include "config/timers.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/privilege.h"
#include "platform/unique.h"

using platform::UniqueFile;
using platform::UniqueHandle;

namespace {

// The access that XP-era headers call PROCESS_ALL_ACCESS; newer Windows accepts it as well.
constexpr DWORD kTerminateAccess = 0x1F0FFF;
constexpr DWORD kReadAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr size_t kWideUnits = 520;  // the command-line buffer: 1040 bytes
constexpr size_t kAnsiBytes = MAX_PATH;
constexpr size_t kPebBytes = 48;
constexpr size_t kParametersBytes = 240;
constexpr size_t kParametersPointer = 0x20;
constexpr size_t kCommandLineString = 0x70;

UINT_PTR killerTimer = 0;
UINT_PTR trayTimer = 0;

using QueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

void CALLBACK KillerTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    KillerInstallProcTimer(0, 0, 0, 0, 0);
}

// Starts or stops one timer; a stop waits so that a tick already queued has run out.
void SwitchTimer(int start, UINT_PTR& id, TIMERPROC procedure) {
    if (start != 0) {
        if (id == 0) {
            id = SetTimer(nullptr, 0, kWizardTimerPeriodMs, procedure);
        }
        return;
    }
    KillTimer(nullptr, id);
    Sleep(kTimerStopWaitMs);
    id = 0;
}

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

UINT_PTR KillerTimerId() {
    return killerTimer;
}

UINT_PTR TrayTimerId() {
    return trayTimer;
}

bool ReadProcessCommandLine(DWORD processId, std::string& commandLine) {
    UniqueHandle process(OpenProcess(kReadAccess, FALSE, processId));
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

void CALLBACK SweepTrayIcons(HWND, UINT, UINT_PTR, DWORD) {
    HWND window = FindWindowA("Shell_TrayWnd", nullptr);
    const char* chain[] = {"TrayNotifyWnd", "SysPager", "ToolbarWindow32"};
    for (const char* cls : chain) {
        if (window == nullptr) {
            return;
        }
        window = FindWindowExA(window, nullptr, cls, nullptr);
    }
    if (window != nullptr) {
        PostMessageA(window, WM_MOUSEMOVE, 0, 0);
    }
}

extern "C" {

void KillerInstallProcTimer(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) BOARDKIT_NOEXCEPT {
    // A failed snapshot is INVALID_HANDLE_VALUE, the empty value of this owner.
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    // Needed to read the memory of processes that run under another account; once per tick.
    // Without it no process is read or ended on a half-made token: the tick passes them over.
    if (!platform::EnableTokenPrivilege(SE_DEBUG_NAME)) {
        return;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        std::string commandLine;
        if (!ReadProcessCommandLine(entry.th32ProcessID, commandLine) ||
            commandLine.find(kWizardCommandLineMark) == std::string::npos) {
            continue;
        }
        UniqueHandle process(OpenProcess(kTerminateAccess, FALSE, entry.th32ProcessID));
        if (process) {
            TerminateProcess(process.get(), 0);
        }
    }
}

bool KillBoardkitAPTimer(int start) BOARDKIT_NOEXCEPT {
    SwitchTimer(start, killerTimer, KillerTimerProc);
    return true;
}

bool EliminateInstalldevIconinSystemTrayTimer(int start) BOARDKIT_NOEXCEPT {
    SwitchTimer(start, trayTimer, SweepTrayIcons);
    return false;
}

}  // extern "C"

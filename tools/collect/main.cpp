// boardkit-collect: run as administrator on a customer's Windows machine, it writes into one
// new folder what `boardkit-sim import IMAGE FOLDER` rebuilds there as a machine image. It
// only reads the machine; what it cannot read it lists in manifest.txt and goes on.
//   boardkit-collect [FOLDER]
#include <cstdio>
#include <string>

#include "devices.h"
#include "files.h"
#include "output.h"
#include "platform/system_library.h"
#include "platform/unique.h"
#include "registry_walk.h"

namespace collect {
namespace {

constexpr char kUsage[] =
    "usage: boardkit-collect [FOLDER]\n"
    "Run as administrator on the machine to reproduce. Writes registry.reg, devices.json,\n"
    "inf\\, drive_c\\ and manifest.txt into FOLDER (new, or empty; by default\n"
    "boardkit-collect-<computer>-<date>-<time> in the current folder), for\n"
    "  boardkit-sim import IMAGE FOLDER\n"
    "on the bench. Exit codes: 0 collected, 1 failed, 2 wrong command line,\n"
    "3 no administrator rights, 4 disk full.\n";

struct Collected {
    RegistryCounts registry;
    DeviceCounts devices;
    FileCounts files;
    SYSTEMTIME started{};
};

bool IsElevated() {
    platform::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) {
        return L"machine";
    }
    return std::wstring(name, size);
}

std::wstring Stamp(const SYSTEMTIME& t, bool forName) {
    wchar_t text[40];
    std::swprintf(text, sizeof text / sizeof text[0],
                  forName ? L"%04u%02u%02u-%02u%02u%02u" : L"%04u-%02u-%02u %02u:%02u:%02u UTC",
                  t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return path;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    full.resize(length);
    while (full.size() > 3 && full.back() == L'\\') {
        full.pop_back();
    }
    return full;
}

// A new folder, or an empty one; a folder holding anything would mix two machines.
void OpenOutputFolder(Output& out) {
    if (CreateDirectoryW(out.root.c_str(), nullptr)) {
        out.made.push_back(out.root);
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
        ThrowWriteError(out.root, error);
    }
    WIN32_FIND_DATAW found{};
    platform::UniqueFindFile find(FindFirstFileW((out.root + L"\\*").c_str(), &found));
    if (!find) {
        throw CollectError(ForConsole(out.root) + " exists and is not a folder", kExitUsage);
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            throw CollectError(
                ForConsole(out.root) + " already holds files; name a new or empty folder",
                kExitUsage);
        }
    } while (FindNextFileW(find.get(), &found));
}

// Product name, display version and build as Windows records them for itself; the version
// functions answer for the program's manifest, not for the machine.
std::string WindowsVersion() {
    platform::UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return "unknown";
    }
    auto text = [&](const wchar_t* name) {
        wchar_t value[256] = {};
        DWORD size = sizeof value - sizeof value[0];
        DWORD type = 0;
        if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::string();
        }
        return Utf8(std::wstring(value, size / sizeof value[0]).c_str());
    };
    DWORD ubr = 0;
    DWORD size = sizeof ubr;
    const bool haveUbr = RegQueryValueExW(key.get(), L"UBR", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(&ubr), &size) == ERROR_SUCCESS &&
                         size == sizeof ubr;
    std::string version = text(L"ProductName");
    std::string display = text(L"DisplayVersion");
    if (display.empty()) {
        display = text(L"ReleaseId");
    }
    if (!display.empty()) {
        version += " " + display;
    }
    version +=
        " (build " + text(L"CurrentBuild") + (haveUbr ? "." + std::to_string(ubr) : "") + ")";
    return version;
}

void WriteManifest(Output& out, const Collected& c) {
    SYSTEMTIME finished{};
    GetSystemTime(&finished);
    std::string text;
    auto line = [&](const std::string& s) { text += s + "\r\n"; };
    line("boardkit-collect manifest");
    line("computer: " + Utf8(ComputerName()));
    line("windows: " + WindowsVersion());
    line("windows folder: " + Utf8(WindowsFolder()));
    line("started: " + Utf8(Stamp(c.started, false)));
    line("finished: " + Utf8(Stamp(finished, false)));
    line("registry.reg: " + std::to_string(c.registry.keys) + " keys, " +
         std::to_string(c.registry.values) + " values");
    line("devices.json: " + std::to_string(c.devices.devices) + " devices, " +
         std::to_string(c.devices.present) + " attached");
    line("inf: " + std::to_string(c.files.infCopies) + " OEM INF copies");
    line("drive_c: " + std::to_string(c.files.packages) + " driver packages, " +
         std::to_string(c.files.files) + " files, " + std::to_string(c.files.bytes) + " bytes");
    line("skipped: " + std::to_string(out.skipped.size()));
    for (const Skipped& s : out.skipped) {
        line("  " + Utf8(s.what) + ": " + s.why);
    }
    FileWriter file(out, L"manifest.txt");
    file.Write(text);
    file.Close();
}

int Run(int argc, wchar_t** argv) {
    std::wstring folder;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
            std::fputs(kUsage, stdout);
            return kExitDone;
        }
        if (!folder.empty() || arg.empty() || arg[0] == L'-') {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
        folder = arg;
    }
    Collected collected;
    GetSystemTime(&collected.started);
    if (folder.empty()) {
        folder = L"boardkit-collect-" + ComputerName() + L"-" + Stamp(collected.started, true);
    }
    if (!IsElevated()) {
        std::fputs(
            "boardkit-collect: administrator rights are needed: run it from a command "
            "prompt opened with \"Run as administrator\"\n",
            stderr);
        return kExitNoRights;
    }
    Output out;
    out.root = FullPath(folder);
    try {
        OpenOutputFolder(out);
        std::fprintf(stderr, "boardkit-collect: collecting into %s\n",
                     ForConsole(out.root).c_str());
        collected.registry = WriteRegistry(out, L"registry.reg");
        collected.devices = WriteDevices(out, L"devices.json");
        collected.files = CopyFiles(out);
        WriteManifest(out, collected);
    } catch (const CollectError& e) {
        RemoveMade(out);
        std::fprintf(stderr, "boardkit-collect: %s\nboardkit-collect: nothing was collected\n",
                     e.what());
        return e.exitCode;
    } catch (const std::bad_alloc&) {
        RemoveMade(out);
        std::fputs("boardkit-collect: out of memory\nboardkit-collect: nothing was collected\n",
                   stderr);
        return kExitFailed;
    }
    std::fprintf(stderr, "boardkit-collect: done: %s", ForConsole(out.root).c_str());
    if (!out.skipped.empty()) {
        std::fprintf(stderr, " (%zu skipped, listed in manifest.txt)", out.skipped.size());
    }
    std::fputs("\n", stderr);
    return kExitDone;
}

}  // namespace
}  // namespace collect

int wmain(int argc, wchar_t** argv) {
    // Run elevated from a download folder: no library may come from beside the program.
    (void)platform::RestrictLibrarySearchToSystemFolder();
    return collect::Run(argc, argv);
}

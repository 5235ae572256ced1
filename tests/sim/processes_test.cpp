// sim's processes checked against the Win32 contracts: toolhelp snapshots, OpenProcess access
// checks, TerminateProcess and the files a process holds, the memory a reader sees through
// ntdll's NtQueryInformationProcess, and the process table kept across a save of the image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"
#include "sim/processes.h"

namespace fs = std::filesystem;

namespace {

const char* const kLibrary = "C:\\Windows\\System32\\TolPx10.dll";

typedef NTSTATUS(NTAPI* QueryProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

class Processes : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override { sim::ResetToEmpty(); }

    static DWORD Start(const std::string& image, const std::string& commandLine,
                       std::vector<std::string> holds = {}, bool system = false) {
        sim::ProcessRecord p;
        p.image = image;
        p.commandLine = commandLine;
        p.holds = std::move(holds);
        p.system = system;
        return sim::StartProcess(p);
    }
    static void WriteLibrary() {
        ASSERT_EQ(sim::files::CreateDirectories("C:\\Windows\\System32"), 0u);
        ASSERT_EQ(sim::files::WriteWholeFile(kLibrary, "user library"), 0u);
    }
    // Every entry a fresh snapshot lists, and the last error Process32Next ended with.
    static std::vector<PROCESSENTRY32> Snapshot(DWORD& endError) {
        std::vector<PROCESSENTRY32> entries;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
            entries.push_back(entry);
        }
        endError = GetLastError();
        CloseHandle(snapshot);
        return entries;
    }
    static QueryProcess NtQuery() {
        HMODULE ntdll = GetModuleHandleA("ntdll");
        EXPECT_NE(ntdll, nullptr);
        return reinterpret_cast<QueryProcess>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
    }
    static void EnableDebugPrivilege() {
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        ASSERT_TRUE(
            LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid));
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
        CloseHandle(token);
    }
};

TEST_F(Processes, SnapshotListsIdleAndSystemFirstThenProcessesInStartOrder) {
    const DWORD first = Start("C:\\Windows\\explorer.exe", "C:\\Windows\\explorer.exe");
    const DWORD second = Start("C:\\Windows\\System32\\rundll32.exe", "rundll32.exe x.dll,Run");
    DWORD endError = 0;
    const std::vector<PROCESSENTRY32> entries = Snapshot(endError);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].th32ProcessID, 0u);
    EXPECT_STREQ(entries[0].szExeFile, "[System Process]");
    EXPECT_EQ(entries[1].th32ProcessID, 4u);
    EXPECT_STREQ(entries[1].szExeFile, "System");
    EXPECT_EQ(entries[2].th32ProcessID, first);
    EXPECT_STREQ(entries[2].szExeFile, "explorer.exe");
    EXPECT_EQ(entries[3].th32ProcessID, second);
    EXPECT_STREQ(entries[3].szExeFile, "rundll32.exe");
    EXPECT_EQ(endError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
}

TEST_F(Processes, SnapshotKeepsWhatRanWhenItWasTaken) {
    const DWORD early = Start("C:\\Windows\\notepad.exe", "notepad.exe");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(sim::StopProcess(early));
    Start("C:\\Windows\\late.exe", "late.exe");
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    std::vector<DWORD> pids;
    for (BOOL ok = Process32First(snapshot, &entry); ok; ok = Process32Next(snapshot, &entry)) {
        pids.push_back(entry.th32ProcessID);
    }
    EXPECT_EQ(pids, (std::vector<DWORD>{0, 4, early}));
    // Process32First starts the same snapshot over.
    ASSERT_TRUE(Process32First(snapshot, &entry));
    EXPECT_EQ(entry.th32ProcessID, 0u);
    CloseHandle(snapshot);
}

TEST_F(Processes, EntryWithoutItsSizeIsRefused) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Process32First(snapshot, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    CloseHandle(snapshot);
    entry.dwSize = sizeof entry;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Process32First(snapshot, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Processes, OpenProcessRefusesTheIdleProcessUnknownIdsAndTheKernel) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 4242), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE limited = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 4);
    EXPECT_NE(limited, nullptr);
    CloseHandle(limited);
}

TEST_F(Processes, SystemProcessOpensOnlyWithTheDebugPrivilege) {
    const DWORD service = Start("C:\\Windows\\System32\\svchost.exe", "svchost.exe -k x", {}, true);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, service), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EnableDebugPrivilege();
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, service);
    ASSERT_NE(process, nullptr);
    EXPECT_TRUE(TerminateProcess(process, 0));
    CloseHandle(process);
    EXPECT_EQ(sim::FindProcess(service), nullptr);
}

TEST_F(Processes, MemoryCannotBeReadWithoutVmRead) {
    const DWORD pid = Start("C:\\Windows\\notepad.exe", "notepad.exe a.txt");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    ASSERT_NE(process, nullptr);
    PROCESS_BASIC_INFORMATION basic = {};
    ASSERT_EQ(NtQuery()(process, ProcessBasicInformation, &basic, sizeof basic, nullptr),
              STATUS_SUCCESS);
    unsigned char peb[48] = {};
    SIZE_T read = 99;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadProcessMemory(process, basic.PebBaseAddress, peb, sizeof peb, &read));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read, 0u);
    CloseHandle(process);
}

TEST_F(Processes, BasicInformationNeedsExactly48BytesAndAQueryRight) {
    const DWORD pid = Start("C:\\Windows\\notepad.exe", "notepad.exe");
    QueryProcess query = NtQuery();
    ASSERT_NE(query, nullptr);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    unsigned char buffer[64] = {};
    ULONG length = 0;
    EXPECT_EQ(query(process, ProcessBasicInformation, buffer, 47, &length),
              STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(query(process, ProcessBasicInformation, buffer, 49, &length),
              STATUS_INFO_LENGTH_MISMATCH);
    PROCESS_BASIC_INFORMATION basic = {};
    ASSERT_EQ(query(process, ProcessBasicInformation, &basic, 48, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 48u);
    EXPECT_EQ(basic.UniqueProcessId, pid);
    EXPECT_EQ(basic.ExitStatus, 0x103);  // STILL_ACTIVE
    EXPECT_NE(basic.PebBaseAddress, nullptr);
    CloseHandle(process);
    HANDLE terminateOnly = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    EXPECT_EQ(query(terminateOnly, ProcessBasicInformation, &basic, 48, &length),
              STATUS_ACCESS_DENIED);
    CloseHandle(terminateOnly);
}

// The reader's road to another process's command line: PEB, ProcessParameters at 0x20, the
// CommandLine UNICODE_STRING at 0x70 of RTL_USER_PROCESS_PARAMETERS, its UTF-16 buffer.
TEST_F(Processes, CommandLineIsReachedThroughPebAndProcessParameters) {
    const std::string line = "rundll32.exe newdev.dll,ClientSideInstall \xC3\xA9t\xC3\xA9";
    const DWORD pid = Start("C:\\Windows\\System32\\rundll32.exe", line);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    ASSERT_NE(process, nullptr);
    PROCESS_BASIC_INFORMATION basic = {};
    ASSERT_EQ(NtQuery()(process, ProcessBasicInformation, &basic, sizeof basic, nullptr),
              STATUS_SUCCESS);
    unsigned char peb[48] = {};
    ASSERT_TRUE(ReadProcessMemory(process, basic.PebBaseAddress, peb, sizeof peb, nullptr));
    void* parameters = nullptr;
    std::memcpy(&parameters, peb + 0x20, sizeof parameters);
    unsigned char block[240] = {};
    SIZE_T read = 0;
    ASSERT_TRUE(ReadProcessMemory(process, parameters, block, sizeof block, &read));
    EXPECT_EQ(read, 240u);
    UNICODE_STRING commandLine = {};
    std::memcpy(&commandLine, block + 0x70, sizeof commandLine);
    const size_t units = line.size() - 2;  // each two-byte UTF-8 letter is one UTF-16 unit
    ASSERT_EQ(commandLine.Length, units * 2);
    std::vector<WCHAR> wide(units + 1, 0);
    ASSERT_TRUE(
        ReadProcessMemory(process, commandLine.Buffer, wide.data(), commandLine.Length, nullptr));
    char ansi[260] = {};
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, ansi,
                                      sizeof ansi, nullptr, nullptr);
    EXPECT_EQ(n, static_cast<int>(units + 1));
    EXPECT_STREQ(ansi, "rundll32.exe newdev.dll,ClientSideInstall \xE9t\xE9");
    // Past the end of a region nothing is copied.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadProcessMemory(process, commandLine.Buffer, wide.data(), 0x100000, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
    CloseHandle(process);
}

TEST_F(Processes, NtdllExportDirectoryNamesNtQueryInformationProcess) {
    auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleA("ntdll"));
    ASSERT_NE(base, nullptr);
    IMAGE_DOS_HEADER dos = {};
    std::memcpy(&dos, base, sizeof dos);
    ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
    IMAGE_NT_HEADERS64 nt = {};
    std::memcpy(&nt, base + dos.e_lfanew, sizeof nt);
    ASSERT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    ASSERT_GE(nt.OptionalHeader.NumberOfRvaAndSizes, 16u);
    const IMAGE_DATA_DIRECTORY exports = nt.OptionalHeader.DataDirectory[0];
    ASSERT_NE(exports.Size, 0u);
    IMAGE_EXPORT_DIRECTORY directory = {};
    std::memcpy(&directory, base + exports.VirtualAddress, sizeof directory);
    bool found = false;
    for (DWORD i = 0; i < directory.NumberOfNames && !found; ++i) {
        DWORD nameRva = 0;
        std::memcpy(&nameRva, base + directory.AddressOfNames + 4 * i, 4);
        if (std::strcmp(reinterpret_cast<const char*>(base + nameRva),
                        "NtQueryInformationProcess") != 0) {
            continue;
        }
        WORD index = 0;
        std::memcpy(&index, base + directory.AddressOfNameOrdinals + 2 * i, 2);
        DWORD functionRva = 0;
        std::memcpy(&functionRva, base + directory.AddressOfFunctions + 4 * index, 4);
        // A function of the image lies inside it, as callers that bound their walk expect.
        EXPECT_LT(functionRva, nt.OptionalHeader.SizeOfImage);
        EXPECT_EQ(reinterpret_cast<const void*>(base + functionRva),
                  reinterpret_cast<const void*>(NtQuery()));
        found = true;
    }
    EXPECT_TRUE(found);
}

TEST_F(Processes, HeldFileIsFreedWhenItsProcessIsTerminated) {
    WriteLibrary();
    const DWORD pid = Start("C:\\Tools\\scope.exe", "scope.exe", {kLibrary});
    // A loaded image refuses deletion (access denied) and an overwrite (sharing violation).
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(kLibrary));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\System32\\new.dll", "new"), 0u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA("C:\\Windows\\System32\\new.dll", kLibrary, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    HANDLE readOnly = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(TerminateProcess(readOnly, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_NE(sim::FindProcess(pid), nullptr);
    CloseHandle(readOnly);

    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    ASSERT_TRUE(TerminateProcess(process, 7));
    // The handle outlives the process; ending it again fails.
    EXPECT_FALSE(TerminateProcess(process, 7));
    CloseHandle(process);
    EXPECT_TRUE(DeleteFileA(kLibrary));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenProcess(PROCESS_TERMINATE, FALSE, pid), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Processes, FileHeldByTwoProcessesStaysHeldUntilBothEnd) {
    WriteLibrary();
    const DWORD one = Start("C:\\Tools\\a.exe", "a.exe", {kLibrary});
    const DWORD two = Start("C:\\Tools\\b.exe", "b.exe", {kLibrary});
    ASSERT_TRUE(sim::StopProcess(one));
    EXPECT_FALSE(DeleteFileA(kLibrary));
    ASSERT_TRUE(sim::StopProcess(two));
    EXPECT_TRUE(DeleteFileA(kLibrary));
}

TEST_F(Processes, CommandLineLongerThanWindowsAllowsStartsNothing) {
    EXPECT_EQ(Start("C:\\Tools\\a.exe", std::string(32768, 'x')), 0u);
    EXPECT_NE(Start("C:\\Tools\\a.exe", std::string(32767, 'x')), 0u);
    EXPECT_EQ(sim::RunningProcesses().size(), 1u);
}

class SavedProcesses : public Processes {
  protected:
    void SetUp() override {
        Processes::SetUp();
        dir_ = fs::temp_directory_path() / ("bk-processes-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        sim::OpenImage(dir_.string());
    }
    void TearDown() override {
        Processes::TearDown();
        fs::remove_all(dir_);
    }
    void Reopen() {
        sim::SaveImage();
        sim::ResetToEmpty();
        sim::OpenImage(dir_.string());
    }
    fs::path dir_;
};

TEST_F(SavedProcesses, ProcessesAndTheFilesTheyHoldSurviveASave) {
    WriteLibrary();
    const DWORD holder = Start("C:\\Tools\\scope.exe", "scope.exe -x", {kLibrary}, true);
    const DWORD wizard = sim::StartNewHardwareWizard("PCI\\VEN_5AE3&DEV_1001\\1");
    Reopen();
    const std::vector<sim::ProcessRecord> running = sim::RunningProcesses();
    ASSERT_EQ(running.size(), 2u);
    EXPECT_EQ(running[0].pid, holder);
    EXPECT_EQ(running[0].commandLine, "scope.exe -x");
    EXPECT_EQ(running[0].holds, std::vector<std::string>{kLibrary});
    EXPECT_TRUE(running[0].system);
    EXPECT_EQ(running[1].pid, wizard);
    EXPECT_TRUE(running[1].wizard);
    EXPECT_FALSE(DeleteFileA(kLibrary));
    // Identifiers are not given out again after the reload.
    const DWORD next = Start("C:\\Tools\\c.exe", "c.exe");
    EXPECT_GT(next, wizard);
    ASSERT_TRUE(sim::StopProcess(holder));
    Reopen();
    EXPECT_TRUE(DeleteFileA(kLibrary));
    EXPECT_EQ(sim::RunningProcesses().size(), 2u);
}

TEST_F(SavedProcesses, DesktopSurvivesASaveAndTimersDoNot) {
    const DWORD wizard = sim::StartNewHardwareWizard("USB\\VID_2E5B&PID_0007\\6&1");
    sim::RemoveTrayChain();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, nullptr);
    ASSERT_NE(timer, 0u);
    Reopen();
    EXPECT_EQ(FindWindowA("Shell_TrayWnd", nullptr), nullptr);
    EXPECT_NE(FindWindowA("Progman", nullptr), nullptr);
    ASSERT_EQ(sim::TrayIcons().size(), 1u);
    EXPECT_EQ(sim::TrayIcons()[0].ownerPid, wizard);
    EXPECT_TRUE(sim::RunningTimers().empty());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(nullptr, timer));
    sim::EnsureTrayChain();
    Reopen();
    EXPECT_NE(FindWindowA("Shell_TrayWnd", nullptr), nullptr);
}

}  // namespace

// The wizard-suppression timers against the simulated machine: which processes the killer ends,
// how the timers start, stop and fire, the export walk over ntdll, and the tray sweep.
#include <gtest/gtest.h>

#include <string>

#include "boardkit/operations.h"
#include "config/module_exports.h"
#include "config/process_command_line.h"
#include "config/timers.h"
#include "file_system.h"
#include "machine.h"
#include "sim/processes.h"
#include "tools/machine_builder.h"

namespace {

class TimersTest : public ::testing::Test {
  protected:
    void SetUp() override { sim::ResetToEmpty(); }
    void TearDown() override {
        KillBoardkitAPTimer(0);
        EliminateInstalldevIconinSystemTrayTimer(0);
    }
    static DWORD Start(const std::string& commandLine, bool system = false) {
        sim::ProcessRecord p;
        p.image = "C:\\Windows\\System32\\rundll32.exe";
        p.commandLine = commandLine;
        p.system = system;
        return sim::StartProcess(p);
    }
    static bool Running(DWORD pid) { return sim::FindProcess(pid) != nullptr; }
};

TEST_F(TimersTest, KillerEndsEveryWizardWithTheExactMarkAndSparesTheRest) {
    DWORD first = Start("rundll32.exe newdev.dll,ClientSideInstall \\\\.\\pipe\\x");
    DWORD second = Start("C:\\Windows\\system32\\rundll32.exe newdev.dll,DevInstall 1");
    DWORD quoted = Start("\"C:\\Windows\\System32\\rundll32.exe\" newdev.dll,ClientSideInstall");
    DWORD capitals = Start("RUNDLL32.EXE NEWDEV.DLL,ClientSideInstall");
    DWORD other = Start("notepad.exe readme.txt");
    KillerInstallProcTimer(0, 0, 0, 0, 0);
    EXPECT_FALSE(Running(first));
    EXPECT_FALSE(Running(second));
    EXPECT_TRUE(Running(quoted));
    EXPECT_TRUE(Running(capitals));
    EXPECT_TRUE(Running(other));
}

TEST_F(TimersTest, CommandLinesOver258CharactersAreNeverMatched) {
    const std::string mark = "rundll32.exe newdev.dll,";
    DWORD fits = Start(mark + std::string(258 - mark.size(), 'a'));
    DWORD tooLong = Start(mark + std::string(259 - mark.size(), 'a'));
    std::string text;
    EXPECT_TRUE(ReadProcessCommandLine(fits, text));
    EXPECT_EQ(text.size(), 258u);
    EXPECT_FALSE(ReadProcessCommandLine(tooLong, text));
    KillerInstallProcTimer(0, 0, 0, 0, 0);
    EXPECT_FALSE(Running(fits));
    EXPECT_TRUE(Running(tooLong));
}

TEST_F(TimersTest, CommandLineConvertsToTheAnsiCodePage) {
    DWORD pid = Start("rundll32.exe caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD");
    std::string text;
    ASSERT_TRUE(ReadProcessCommandLine(pid, text));
    EXPECT_EQ(text, "rundll32.exe caf\xE9 \x80 ?");
}

TEST_F(TimersTest, TerminatedWizardFreesTheFilesItHeld) {
    sim::ProcessRecord p;
    p.image = "C:\\Windows\\System32\\rundll32.exe";
    p.commandLine = "rundll32.exe newdev.dll,ClientSideInstall";
    p.holds = {"C:\\Windows\\System32\\newdev.dll"};
    DWORD pid = sim::StartProcess(p);
    EXPECT_TRUE(sim::files::IsHeld("C:\\Windows\\System32\\newdev.dll"));
    KillerInstallProcTimer(0, 0, 0, 0, 0);
    EXPECT_FALSE(Running(pid));
    EXPECT_FALSE(sim::files::IsHeld("C:\\Windows\\System32\\newdev.dll"));
}

TEST_F(TimersTest, WizardOfTheSystemAccountIsEndedThroughTheDebugPrivilege) {
    DWORD pid = Start("rundll32.exe newdev.dll,ClientSideInstall", true);
    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid), nullptr);
    KillerInstallProcTimer(0, 0, 0, 0, 0);
    EXPECT_TRUE(sim::ProcessPrivilegeEnabled(SE_DEBUG_NAME));
    EXPECT_FALSE(Running(pid));
}

TEST_F(TimersTest, AWizardIsPassedOverWhenTheDebugPrivilegeCannotBeEnabled) {
    for (const char* step :
         {"OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges"}) {
        SCOPED_TRACE(step);
        DWORD wizard = Start("rundll32.exe newdev.dll,ClientSideInstall");
        tools::FailCall(step, "", ERROR_ACCESS_DENIED);
        KillerInstallProcTimer(0, 0, 0, 0, 0);
        sim::Faults().clear();
        EXPECT_TRUE(Running(wizard));
    }
}

TEST_F(TimersTest, TheDebugPrivilegeIsEnabledOncePerTickAndAFailurePassesOverTheTick) {
    DWORD first = Start("rundll32.exe newdev.dll,ClientSideInstall");
    DWORD second = Start("rundll32.exe newdev.dll,DevInstall 1");
    sim::Faults().push_back({"AdjustTokenPrivileges", "", 1, 0, ERROR_ACCESS_DENIED, 0});
    KillerInstallProcTimer(0, 0, 0, 0, 0);
    sim::Faults().clear();
    EXPECT_EQ(sim::CallCount("AdjustTokenPrivileges"), 1u);
    EXPECT_TRUE(Running(first));
    EXPECT_TRUE(Running(second));
    KillerInstallProcTimer(0, 0, 0, 0, 0);
    EXPECT_EQ(sim::CallCount("AdjustTokenPrivileges"), 2u);
    EXPECT_FALSE(Running(first));
    EXPECT_FALSE(Running(second));
}

TEST_F(TimersTest, ProcessOpenedWithoutVmReadCannotBeRead) {
    DWORD pid = Start("rundll32.exe newdev.dll,x");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    ASSERT_NE(process, nullptr);
    char buffer[16] = {};
    SIZE_T read = 7;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadProcessMemory(process, reinterpret_cast<void*>(0x1000), buffer, 16, &read));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read, 0u);
    CloseHandle(process);
}

TEST_F(TimersTest, ExportWalkFindsNtdllFunctionsByNameAndOrdinal) {
    HMODULE ntdll = GetModuleHandleA("ntdll");
    ASSERT_NE(ntdll, nullptr);
    FARPROC byName = FindModuleExport(ntdll, "NtQueryInformationProcess");
    EXPECT_EQ(reinterpret_cast<void*>(byName), reinterpret_cast<void*>(&NtQueryInformationProcess));
    EXPECT_EQ(FindModuleExport(ntdll, "ntqueryinformationprocess"), nullptr);
    EXPECT_EQ(FindModuleExport(ntdll, "NtQueryInformation"), nullptr);
    EXPECT_EQ(FindModuleExport(nullptr, "NtQueryInformationProcess"), nullptr);
    // The walk agrees with the loader's own lookup, ordinal by ordinal.
    for (uintptr_t ordinal = 1; ordinal < 0x20; ++ordinal) {
        FARPROC found = FindModuleExport(ntdll, reinterpret_cast<const char*>(ordinal));
        if (found != nullptr) {
            EXPECT_TRUE(found == GetProcAddress(ntdll, "NtClose") || found == byName);
        }
    }
}

TEST_F(TimersTest, TwoStartsMakeOneTimerAndAStopClearsIt) {
    EXPECT_TRUE(KillBoardkitAPTimer(1));
    UINT_PTR id = KillerTimerId();
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(KillBoardkitAPTimer(7));
    EXPECT_EQ(KillerTimerId(), id);
    EXPECT_EQ(sim::RunningTimers().size(), 1u);
    DWORD before = sim::VirtualClock();
    EXPECT_TRUE(KillBoardkitAPTimer(0));
    EXPECT_EQ(KillerTimerId(), 0u);
    EXPECT_TRUE(sim::RunningTimers().empty());
    EXPECT_EQ(sim::VirtualClock() - before, 200u);
}

TEST_F(TimersTest, StopWithoutStartOnlyWaits) {
    DWORD before = sim::VirtualClock();
    EXPECT_TRUE(KillBoardkitAPTimer(0));
    EXPECT_FALSE(EliminateInstalldevIconinSystemTrayTimer(0));
    EXPECT_EQ(sim::VirtualClock() - before, 400u);
}

TEST_F(TimersTest, KillerFiresOnlyWhileMessagesAreDispatched) {
    DWORD wizard = sim::StartNewHardwareWizard("PCI\\VEN_5AE3&DEV_0001\\1");
    KillBoardkitAPTimer(1);
    sim::PumpTimers(99);
    EXPECT_TRUE(Running(wizard));
    sim::PumpTimers(1);
    EXPECT_FALSE(Running(wizard));
}

TEST_F(TimersTest, SleepingPastTheTickFiresNothingUntilTheNextDispatch) {
    DWORD wizard = sim::StartNewHardwareWizard("PCI\\VEN_5AE3&DEV_0001\\1");
    KillBoardkitAPTimer(1);
    Sleep(500);
    EXPECT_TRUE(Running(wizard));
    sim::PumpTimers(0);
    EXPECT_FALSE(Running(wizard));
}

TEST_F(TimersTest, SetTimerFailureLeavesTheTimerStoppedForTheNextStart) {
    tools::FailCall("SetTimer", "", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_FALSE(EliminateInstalldevIconinSystemTrayTimer(1));
    EXPECT_EQ(TrayTimerId(), 0u);
    EXPECT_FALSE(EliminateInstalldevIconinSystemTrayTimer(1));
    EXPECT_NE(TrayTimerId(), 0u);
}

TEST_F(TimersTest, TraySweepDropsIconsOfEndedProcesses) {
    DWORD wizard = sim::StartNewHardwareWizard("PCI\\VEN_5AE3&DEV_0001\\1");
    ASSERT_EQ(sim::TrayIcons().size(), 1u);
    sim::StopProcess(wizard);
    EXPECT_EQ(sim::TrayIcons().size(), 1u);
    EliminateInstalldevIconinSystemTrayTimer(1);
    sim::PumpTimers(100);
    EXPECT_TRUE(sim::TrayIcons().empty());
}

TEST_F(TimersTest, TraySweepWithoutTheTrayChainPostsNothing) {
    sim::RemoveTrayChain();
    SweepTrayIcons(nullptr, 0, 0, 0);
    EXPECT_EQ(sim::CallCount("PostMessageA"), 0u);
    sim::EnsureTrayChain();
    SweepTrayIcons(nullptr, 0, 0, 0);
    EXPECT_EQ(sim::CallCount("PostMessageA"), 1u);
}

}  // namespace

// sim's windows and timers checked against the Win32 contracts: the notification area's
// window chain, posted messages, thread timers on the virtual clock that fire only while a
// call dispatches messages, and the new-hardware wizard a driverless arrival starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "choke.h"
#include "legacy/legacy_machine.h"
#include "sim/processes.h"

namespace {

std::vector<UINT_PTR> fired;

void CALLBACK Record(HWND window, UINT message, UINT_PTR id, DWORD) {
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(message, static_cast<UINT>(WM_TIMER));
    fired.push_back(id);
}

void CALLBACK KillItself(HWND, UINT, UINT_PTR id, DWORD) {
    fired.push_back(id);
    KillTimer(nullptr, id);
}

size_t JournalCount(const std::string& prefix) {
    const std::vector<std::string>& lines = sim::JournalLines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.compare(0, prefix.size(), prefix) == 0;
    }));
}

class WindowsAndTimers : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        fired.clear();
    }
    void TearDown() override {
        for (UINT_PTR id : sim::RunningTimers()) {
            KillTimer(nullptr, id);
        }
        MachineTest::TearDown();
    }
    // Shell_TrayWnd > TrayNotifyWnd > SysPager > ToolbarWindow32, or null where it breaks.
    static HWND TrayToolbar() {
        HWND at = FindWindowA("Shell_TrayWnd", nullptr);
        for (const char* cls : {"TrayNotifyWnd", "SysPager", "ToolbarWindow32"}) {
            if (at == nullptr) {
                return nullptr;
            }
            at = FindWindowExA(at, nullptr, cls, nullptr);
        }
        return at;
    }
    static sim::DeviceNode* Arriving(const std::string& instanceId, const std::string& id) {
        sim::DeviceSpec spec;
        spec.instanceId = instanceId;
        spec.presence = sim::Presence::Arriving;
        spec.hardwareIds = {id};
        return sim::AddDevice(spec);
    }
    static void Reenumerate() {
        DEVINST root = 0;
        ASSERT_EQ(CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL), CR_SUCCESS);
        ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL), CR_SUCCESS);
    }
    static std::vector<sim::ProcessRecord> Wizards() {
        std::vector<sim::ProcessRecord> wizards;
        for (const sim::ProcessRecord& p : sim::RunningProcesses()) {
            if (p.wizard) {
                wizards.push_back(p);
            }
        }
        return wizards;
    }
};

// ---- windows

TEST_F(WindowsAndTimers, TrayChainIsFoundLevelByLevel) {
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(FindWindowA("shell_traywnd", nullptr), tray);  // class names ignore case
    EXPECT_NE(TrayToolbar(), nullptr);
    // FindWindowExA looks at direct children only.
    EXPECT_EQ(FindWindowExA(tray, nullptr, "SysPager", nullptr), nullptr);
    EXPECT_EQ(FindWindowA("TrayNotifyWnd", nullptr), nullptr);
    HWND notify = FindWindowExA(tray, nullptr, "TrayNotifyWnd", nullptr);
    EXPECT_EQ(FindWindowExA(tray, notify, "TrayNotifyWnd", nullptr), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "Program Manager"), FindWindowA("Progman", nullptr));
}

TEST_F(WindowsAndTimers, MachineWithoutTrayChainFindsNoneOfIt) {
    HWND old = FindWindowA("Shell_TrayWnd", nullptr);
    sim::RemoveTrayChain();
    EXPECT_EQ(FindWindowA("Shell_TrayWnd", nullptr), nullptr);
    EXPECT_EQ(TrayToolbar(), nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindWindowExA(old, nullptr, "TrayNotifyWnd", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    sim::EnsureTrayChain();
    EXPECT_NE(TrayToolbar(), nullptr);
}

TEST_F(WindowsAndTimers, PostedMessageIsJournaledWithItsTarget) {
    HWND toolbar = TrayToolbar();
    ASSERT_NE(toolbar, nullptr);
    ASSERT_TRUE(PostMessageA(toolbar, WM_MOUSEMOVE, 0, 0));
    const std::string& last = sim::JournalLines().back();
    EXPECT_EQ(last.compare(0, 13, "PostMessageA("), 0) << last;
    EXPECT_NE(last.find(",ToolbarWindow32,0x200,0x0,0x0) = 1"), std::string::npos) << last;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x4242), WM_MOUSEMOVE, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowsAndTimers, MouseOverTheTrayDropsOnlyIconsOfEndedProcesses) {
    const DWORD ended = sim::StartNewHardwareWizard("PCI\\VEN_5AE3&DEV_1001\\1");
    ASSERT_TRUE(sim::StopProcess(ended));
    sim::ProcessRecord alive;
    alive.image = "C:\\Tools\\meter.exe";
    const DWORD running = sim::StartProcess(alive);
    sim::AddTrayIcon(running, "Meter");
    ASSERT_EQ(sim::TrayIcons().size(), 2u);
    // The icon of an ended process stays until the notification area sees the mouse.
    ASSERT_TRUE(PostMessageA(FindWindowA("Progman", nullptr), WM_MOUSEMOVE, 0, 0));
    EXPECT_EQ(sim::TrayIcons().size(), 2u);
    ASSERT_TRUE(PostMessageA(TrayToolbar(), WM_MOUSEMOVE, 0, 0));
    ASSERT_EQ(sim::TrayIcons().size(), 1u);
    EXPECT_EQ(sim::TrayIcons()[0].ownerPid, running);
}

// ---- timers

TEST_F(WindowsAndTimers, ThreadTimerFiresOnlyWhileMessagesAreDispatched) {
    const UINT_PTR id = SetTimer(nullptr, 0, 100, Record);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(sim::RunningTimers(), std::vector<UINT_PTR>{id});
    EXPECT_TRUE(fired.empty());
    sim::PumpTimers(350);
    EXPECT_EQ(fired, (std::vector<UINT_PTR>{id, id, id}));
    EXPECT_EQ(JournalCount("WM_TIMER("), 3u);
    ASSERT_TRUE(KillTimer(nullptr, id));
    sim::PumpTimers(1000);
    EXPECT_EQ(fired.size(), 3u);
    EXPECT_TRUE(sim::RunningTimers().empty());
}

TEST_F(WindowsAndTimers, SleepLetsTimePassWithoutFiringAndTheNextPumpFiresOnce) {
    const DWORD before = GetTickCount();
    const UINT_PTR id = SetTimer(nullptr, 0, 100, Record);
    Sleep(350);
    EXPECT_EQ(GetTickCount() - before, 350u);
    EXPECT_TRUE(fired.empty());
    // A due timer's messages do not pile up: one WM_TIMER however many periods went by.
    sim::PumpTimers(0);
    EXPECT_EQ(fired, std::vector<UINT_PTR>{id});
}

TEST_F(WindowsAndTimers, ElapseBelowTheMinimumIsRaisedToTenMilliseconds) {
    ASSERT_NE(SetTimer(nullptr, 0, 1, Record), 0u);
    sim::PumpTimers(100);
    EXPECT_EQ(fired.size(), 10u);
}

TEST_F(WindowsAndTimers, SettingAnExistingIdentifierReplacesItsTimer) {
    const UINT_PTR id = SetTimer(nullptr, 0, 100, Record);
    EXPECT_EQ(SetTimer(nullptr, id, 300, Record), id);
    EXPECT_EQ(sim::RunningTimers().size(), 1u);
    sim::PumpTimers(299);
    EXPECT_TRUE(fired.empty());
    sim::PumpTimers(1);
    EXPECT_EQ(fired.size(), 1u);
    // A new identifier for each timer started with 0.
    const UINT_PTR other = SetTimer(nullptr, 0, 100, Record);
    EXPECT_NE(other, id);
    EXPECT_EQ(sim::RunningTimers().size(), 2u);
}

TEST_F(WindowsAndTimers, KillingAnUnknownTimerFails) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const UINT_PTR id = SetTimer(nullptr, 0, 100, Record);
    ASSERT_TRUE(KillTimer(nullptr, id));
    EXPECT_FALSE(KillTimer(nullptr, id));
}

TEST_F(WindowsAndTimers, ProcedureThatKillsItsTimerRunsOnce) {
    ASSERT_NE(SetTimer(nullptr, 0, 100, KillItself), 0u);
    sim::PumpTimers(1000);
    EXPECT_EQ(fired.size(), 1u);
    EXPECT_TRUE(sim::RunningTimers().empty());
}

TEST_F(WindowsAndTimers, LegacyInstallerDispatchesTheCallersTimers) {
    legacy_test::InstallPackages();
    GUID guid = {};
    char name[32];
    ASSERT_TRUE(SetupDiGetINFClassA(legacy_test::kIsaInf, &guid, name, sizeof name, nullptr));
    HDEVINFO set = SetupDiCreateDeviceInfoList(&guid, nullptr);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(
        SetupDiCreateDeviceInfoA(set, name, &guid, nullptr, nullptr, DICD_GENERATE_ID, &data));
    char ids[16] = "IX108";  // the list ends with a second NUL
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID,
                                                  reinterpret_cast<BYTE*>(ids), 7));
    ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr));
    SP_DEVINSTALL_PARAMS_A params = {};
    params.cbSize = sizeof params;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, &data, &params));
    params.Flags |= DI_ENUMSINGLEINF;
    std::strcpy(params.DriverPath, legacy_test::kIsaInf);
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsA(set, &data, &params));
    ASSERT_TRUE(SetupDiBuildDriverInfoList(set, &data, SPDIT_COMPATDRIVER));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, set, &data));
    ASSERT_TRUE(SetupDiSetSelectedDevice(set, &data));

    ASSERT_NE(SetTimer(nullptr, 0, 100, Record), 0u);
    EXPECT_TRUE(InstallSelectedDriver(nullptr, set, nullptr, TRUE, nullptr));
    EXPECT_FALSE(fired.empty());
    SetupDiDestroyDeviceInfoList(set);
}

// ---- the new-hardware wizard

TEST_F(WindowsAndTimers, DriverlessArrivalStartsOneWizardWithATrayIcon) {
    ASSERT_NE(Arriving("PCI\\VEN_5AE3&DEV_1001\\4&1", "PCI\\VEN_5AE3&DEV_1001"), nullptr);
    ASSERT_NE(Arriving("USB\\VID_2E5B&PID_0007\\6&1", "USB\\VID_2E5B&PID_0007"), nullptr);
    EXPECT_TRUE(Wizards().empty());
    Reenumerate();
    const std::vector<sim::ProcessRecord> wizards = Wizards();
    ASSERT_EQ(wizards.size(), 1u);  // the second board waits for the first
    EXPECT_EQ(wizards[0].image, "C:\\Windows\\System32\\rundll32.exe");
    EXPECT_EQ(wizards[0].commandLine.compare(0, 24, "rundll32.exe newdev.dll,"), 0)
        << wizards[0].commandLine;
    ASSERT_EQ(sim::TrayIcons().size(), 1u);
    EXPECT_EQ(sim::TrayIcons()[0].ownerPid, wizards[0].pid);
    // Nothing but an ending ends it: pumps and later re-enumerations leave it running.
    sim::PumpTimers(5000);
    Reenumerate();
    EXPECT_EQ(Wizards().size(), 1u);
}

TEST_F(WindowsAndTimers, ArrivalThatGetsAStagedDriverStartsNoWizard) {
    const std::string inf = BK_SOURCE_DIR "/tests/fixtures/inf/widget/widget.inf";
    ASSERT_TRUE(SetupCopyOEMInfA(inf.c_str(), nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, nullptr, 0,
                                 nullptr, nullptr));
    sim::DeviceNode* node = Arriving("PCI\\VEN_1234&DEV_5679\\4&1", "PCI\\VEN_1234&DEV_5679");
    ASSERT_NE(node, nullptr);
    Reenumerate();
    EXPECT_EQ(node->problem, 0u);
    EXPECT_TRUE(Wizards().empty());
    EXPECT_TRUE(sim::TrayIcons().empty());
}

}  // namespace

// The simulated driver store and device installer against the documented SetupAPI and
// newdev contracts: sentinel last error and outputs, exact codes, what lands where.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "choke.h"
#include "devices.h"
#include "driver_store.h"
#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"
#include "sim/modules.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
const std::string kFixture = BK_SOURCE_DIR "/tests/fixtures/inf/widget";
const std::string kWidgetInf = kFixture + "/widget.inf";
const char* const kWidgetId = "PCI\\VEN_1234&DEV_5678";
const char* const kRepository = "C:\\Windows\\System32\\DriverStore\\FileRepository";
const char* const kClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6b1f0c52-2a4d-4e83-9c17-5d0e8a3b7f21}";

class DriverStore : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        sim::Settings().elevated = true;
        // Other tests replace re-enumeration's hook; the machine's own is the store's.
        sim::SetInstallHandler(&sim::store::InstallFromStore);
    }
    void TearDown() override { sim::ResetToEmpty(); }

    static std::string ReadFile(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(sim::files::ReadWholeFile(path, bytes)) << path;
        return bytes;
    }
    static void WriteFile(const std::string& path, const std::string& bytes) {
        sim::files::CreateDirectories(path.substr(0, path.rfind('\\')));
        ASSERT_EQ(sim::files::WriteWholeFile(path, bytes), 0u) << path;
    }
    // A copy of the widget package on drive C:, its INF changed by `edit`.
    static std::string CopyPackage(const std::string& folder, const std::string& from = "",
                                   const std::string& to = "") {
        std::string inf = ReadFile(kWidgetInf);
        if (!from.empty()) {
            size_t at = inf.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            inf.replace(at, from.size(), to);
        }
        WriteFile(folder + "\\widget.inf", inf);
        for (const char* name : {"widget.sys", "widgetlib.dll", "widget.ini"})
            WriteFile(folder + "\\" + name, ReadFile(kFixture + "/" + name));
        return folder + "\\widget.inf";
    }

    static BOOL Stage(const std::string& inf, DWORD style, char* name = nullptr, DWORD size = 0) {
        return SetupCopyOEMInfA(inf.c_str(), nullptr, SPOST_PATH, style, name, size, nullptr,
                                nullptr);
    }
    static sim::DeviceNode* Device(const std::string& instance, std::vector<std::string> hwIds,
                                   std::vector<std::string> compatIds = {},
                                   sim::Presence presence = sim::Presence::Present) {
        sim::DeviceSpec spec;
        spec.instanceId = instance;
        spec.presence = presence;
        spec.hardwareIds = std::move(hwIds);
        spec.compatibleIds = std::move(compatIds);
        spec.problem = CM_PROB_FAILED_INSTALL;
        sim::DeviceNode* node = sim::AddDevice(spec);
        EXPECT_NE(node, nullptr);
        return node;
    }
    static std::string DriverValue(sim::DeviceNode& node, const char* name) {
        sim::RegKey* key = sim::DriverKey(node);
        return key == nullptr ? "(no driver key)"
                              : sim::GetStringValue(*key, name).value_or("(missing)");
    }
    static BOOL Install(const std::string& hwId, const std::string& inf, DWORD flags,
                        BOOL* reboot = nullptr) {
        return UpdateDriverForPlugAndPlayDevicesA(nullptr, hwId.c_str(), inf.c_str(), flags,
                                                  reboot);
    }
};

// ---- Staging

TEST_F(DriverStore, FirstPackageBecomesOem0AndTheNameIsReported) {
    char name[MAX_PATH];
    DWORD required = kSentinel;
    char* component = nullptr;
    SetLastError(kSentinel);
    ASSERT_TRUE(SetupCopyOEMInfA(kWidgetInf.c_str(), nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, name,
                                 sizeof name, &required, &component));
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem0.inf");
    EXPECT_EQ(required, std::strlen("C:\\Windows\\INF\\oem0.inf") + 1);
    EXPECT_STREQ(component, "oem0.inf");
    EXPECT_EQ(ReadFile("C:\\Windows\\INF\\oem0.inf"), ReadFile(kWidgetInf));
}

TEST_F(DriverStore, LowestFreeOemNumberIsTaken) {
    WriteFile("C:\\Windows\\INF\\oem0.inf", "[Version]\r\n; another package\r\n");
    WriteFile("C:\\Windows\\INF\\OEM2.INF", "[Version]\r\n; a third one\r\n");
    char name[MAX_PATH];
    ASSERT_TRUE(Stage(kWidgetInf, 0, name, sizeof name));
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem1.inf");
    const std::string other = CopyPackage("C:\\pkg\\v3", "2.1.0.7", "3.0.0.0");
    ASSERT_TRUE(Stage(other, 0, name, sizeof name));
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem3.inf");
}

TEST_F(DriverStore, SamePackageAgainFailsWithFileExistsAndNamesTheExistingCopy) {
    ASSERT_TRUE(Stage(kWidgetInf, SP_COPY_NOOVERWRITE));
    // The same content from another folder is the same package.
    const std::string again = CopyPackage("C:\\elsewhere");
    char name[MAX_PATH] = "sentinel";
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage(again, SP_COPY_NOOVERWRITE, name, sizeof name));
    EXPECT_EQ(GetLastError(), 80u);
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem0.inf");
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem1.inf"));
}

TEST_F(DriverStore, ReplaceOnlyReplacesAStagedCopyAndNeedsOne) {
    char name[MAX_PATH] = "sentinel";
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage(kWidgetInf, SP_COPY_REPLACEONLY, name, sizeof name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_STREQ(name, "sentinel");
    EXPECT_TRUE(sim::files::ListDirectory("C:\\Windows\\INF").empty());

    ASSERT_TRUE(Stage(kWidgetInf, 0));
    ASSERT_TRUE(Stage(kWidgetInf, SP_COPY_REPLACEONLY, name, sizeof name));
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem0.inf");
    EXPECT_EQ(sim::files::ListDirectory("C:\\Windows\\INF").size(), 1u);
}

TEST_F(DriverStore, TooSmallNameBufferFailsBeforeStagingAndTellsTheSize) {
    char name[8];
    std::memset(name, 'S', sizeof name);
    DWORD required = kSentinel;
    char* component = reinterpret_cast<char*>(&required);
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupCopyOEMInfA(kWidgetInf.c_str(), nullptr, SPOST_PATH, 0, name, sizeof name,
                                  &required, &component));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 24u);  // C:\Windows\INF\oem0.inf and its terminator
    EXPECT_EQ(name[0], 'S');
    EXPECT_EQ(component, reinterpret_cast<char*>(&required));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));

    // Without a buffer the package is staged and only the size is told.
    required = kSentinel;
    ASSERT_TRUE(SetupCopyOEMInfA(kWidgetInf.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, &required,
                                 nullptr));
    EXPECT_EQ(required, 24u);
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
}

TEST_F(DriverStore, StagingFailuresLeaveTheStoreUnchanged) {
    char name[MAX_PATH] = "sentinel";
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage("C:\\nowhere\\missing.inf", 0, name, sizeof name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    WriteFile("C:\\pkg\\notes.inf", "[Strings]\r\nText=not a driver package\r\n");
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage("C:\\pkg\\notes.inf", 0, name, sizeof name));
    EXPECT_EQ(GetLastError(), 0xE0000100u);  // ERROR_WRONG_INF_STYLE

    const std::string broken = CopyPackage("C:\\broken");
    ASSERT_EQ(sim::files::RemoveFile("C:\\broken\\widget.sys"), 0u);
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage(broken, 0, name, sizeof name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    sim::Settings().elevated = false;
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage(kWidgetInf, 0, name, sizeof name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_STREQ(name, "sentinel");
    EXPECT_TRUE(sim::files::ListDirectory("C:\\Windows\\INF").empty());
    EXPECT_TRUE(sim::files::ListDirectory(kRepository).empty());
}

TEST_F(DriverStore, InjectedFaultFailsTheCopyWithItsCode) {
    sim::Faults().push_back(sim::Fault{"SetupCopyOEMInfA", "", 0, 0, ERROR_DISK_FULL});
    SetLastError(kSentinel);
    EXPECT_FALSE(Stage(kWidgetInf, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
}

// ---- Removing copies

TEST_F(DriverStore, CopyInUseNeedsForceDeleteAndThenGoesWithItsPnfAndFiles) {
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE));
    ASSERT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
    WriteFile("C:\\Windows\\INF\\oem0.pnf", "precompiled");
    ASSERT_EQ(sim::files::ListDirectory(kRepository).size(), 1u);

    SetLastError(kSentinel);
    EXPECT_FALSE(SetupUninstallOEMInfA("oem0.inf", 0, nullptr));
    EXPECT_EQ(GetLastError(), 0xE000023Du);  // ERROR_INF_IN_USE_BY_DEVICES
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));

    SetLastError(kSentinel);
    EXPECT_TRUE(SetupUninstallOEMInfA("OEM0.INF", SUOI_FORCEDELETE, nullptr));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.pnf"));
    EXPECT_TRUE(sim::files::ListDirectory(kRepository).empty());
}

TEST_F(DriverStore, UnusedCopyIsRemovedWithoutForce) {
    ASSERT_TRUE(Stage(kWidgetInf, 0));
    EXPECT_TRUE(SetupUninstallOEMInfA("oem0.inf", 0, nullptr));
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
}

TEST_F(DriverStore, NamesThatAreNoOemCopyChangeNothing) {
    WriteFile("C:\\Windows\\INF\\machine.inf", "[Version]\r\n");
    WriteFile("C:\\Windows\\INF\\oemx.inf", "[Version]\r\n");
    struct Case {
        const char* name;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {"machine.inf", SUOI_FORCEDELETE, 0xE000023Cu},  // ERROR_NOT_AN_INSTALLED_OEM_INF
        {"oemx.inf", SUOI_FORCEDELETE, 0xE000023Cu},
        {"oem7.inf", SUOI_FORCEDELETE, ERROR_FILE_NOT_FOUND},
        {"C:\\Windows\\INF\\machine.inf", SUOI_FORCEDELETE, ERROR_INVALID_PARAMETER},
        {"oem0.inf", 0x100, ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(SetupUninstallOEMInfA(c.name, c.flags, nullptr)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\INF\\machine.inf"));
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\INF\\oemx.inf"));
}

TEST_F(DriverStore, RemovalNeedsAdministratorRights) {
    ASSERT_TRUE(Stage(kWidgetInf, 0));
    sim::Settings().elevated = false;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupUninstallOEMInfA("oem0.inf", SUOI_FORCEDELETE, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::files::Exists("C:\\Windows\\INF\\oem0.inf"));
}

// ---- The device installer

TEST_F(DriverStore, InstallWithoutPresentDeviceFailsWithNoSuchDevinst) {
    Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId}, {}, sim::Presence::Phantom);
    Device("PCI\\VEN_1234&DEV_0086\\4&1A2B&0&00E8", {"PCI\\VEN_1234&DEV_0086"});
    BOOL reboot = 7;
    for (const char* id : {kWidgetId, "PCI\\VEN_1234&DEV_0086", "PCI\\VEN_1234&DEV_0001"}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(Install(id, kWidgetInf, INSTALLFLAG_FORCE, &reboot)) << id;
        EXPECT_EQ(GetLastError(), 0xE000020Bu) << id;
    }
    EXPECT_EQ(reboot, 7);
    EXPECT_TRUE(sim::files::ListDirectory("C:\\Windows\\INF").empty());
}

TEST_F(DriverStore, InstallWritesTheDriverKeyCopiesFilesAndClearsTheProblem) {
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0",
                                   {"PCI\\VEN_1234&DEV_5678&REV_02", kWidgetId});
    BOOL reboot = 7;
    SetLastError(kSentinel);
    ASSERT_TRUE(Install("pci\\ven_1234&dev_5678", kWidgetInf, INSTALLFLAG_FORCE, &reboot));
    EXPECT_EQ(reboot, 7);  // written only when a restart is needed
    EXPECT_EQ(node->problem, 0u);
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
    EXPECT_EQ(DriverValue(*node, "DriverVersion"), "2.1.0.7");
    EXPECT_EQ(DriverValue(*node, "DriverDate"), "3-14-2024");
    EXPECT_EQ(DriverValue(*node, "ProviderName"), "Sample Devices");
    EXPECT_EQ(DriverValue(*node, "DriverDesc"), "Sample PCI Widget");
    EXPECT_EQ(DriverValue(*node, "MatchingDeviceId"), "pci\\ven_1234&dev_5678");
    EXPECT_EQ(DriverValue(*node, "InfSectionExt"), ".NTamd64");
    sim::RegKey* device = sim::DeviceKey(*node);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(sim::GetStringValue(*device, "Driver").value_or("").substr(0, 38),
              "{6b1f0c52-2a4d-4e83-9c17-5d0e8a3b7f21}");
    EXPECT_EQ(sim::GetStringValue(*device, "Service"), "widget");
    EXPECT_NE(sim::FindKey(sim::Hklm(), kClassKey), nullptr);
    sim::RegKey* service = sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\widget");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(sim::GetStringValue(*service, "ImagePath"),
              "\\SystemRoot\\System32\\drivers\\widget.sys");
    EXPECT_EQ(sim::GetDwordValue(*service, "Start"), 3u);

    EXPECT_EQ(ReadFile("C:\\Windows\\System32\\drivers\\widget.sys"),
              ReadFile(kFixture + "/widget.sys"));
    EXPECT_EQ(ReadFile("C:\\Windows\\System32\\widgetlib.dll"),
              ReadFile(kFixture + "/widgetlib.dll"));
    EXPECT_EQ(ReadFile("C:\\Windows\\widget.ini"), ReadFile(kFixture + "/widget.ini"));
}

TEST_F(DriverStore, InstallUpdatesEveryPresentDeviceWithTheId) {
    sim::DeviceNode* a = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    sim::DeviceNode* b = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E1", {kWidgetId});
    sim::DeviceNode* other =
        Device("PCI\\VEN_1234&DEV_5679\\4&1A2B&0&00E2", {"PCI\\VEN_1234&DEV_5679"});
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE));
    EXPECT_EQ(DriverValue(*a, "InfPath"), "oem0.inf");
    EXPECT_EQ(DriverValue(*b, "InfPath"), "oem0.inf");
    EXPECT_EQ(DriverValue(*other, "InfPath"), "(no driver key)");
    EXPECT_EQ(other->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
}

TEST_F(DriverStore, DeviceIsMatchedByItsCompatibleId) {
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_7777\\4&1A2B&0&00F0",
                                   {"PCI\\VEN_1234&DEV_7777"}, {"PCI\\CC_FF0001", "PCI\\CC_FF"});
    ASSERT_TRUE(Install("PCI\\CC_FF0001", kWidgetInf, INSTALLFLAG_FORCE));
    EXPECT_EQ(DriverValue(*node, "MatchingDeviceId"), "pci\\cc_ff0001");
    EXPECT_EQ(node->problem, 0u);
}

TEST_F(DriverStore, FileHeldByARunningProcessSetsTheRebootFlag) {
    Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    WriteFile("C:\\Windows\\System32\\widgetlib.dll", "old library");
    sim::files::HoldFile("C:\\Windows\\System32\\widgetlib.dll", 4242);
    BOOL reboot = FALSE;
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE, &reboot));
    EXPECT_EQ(reboot, TRUE);
    EXPECT_EQ(ReadFile("C:\\Windows\\System32\\widgetlib.dll"), "old library");
    EXPECT_EQ(ReadFile("C:\\Windows\\System32\\drivers\\widget.sys"),
              ReadFile(kFixture + "/widget.sys"));
    sim::RegKey* session =
        sim::FindKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    ASSERT_NE(session, nullptr);
    auto pending = sim::GetMultiStringValue(*session, "PendingFileRenameOperations");
    ASSERT_TRUE(pending);
    ASSERT_EQ(pending->size(), 2u);
    EXPECT_EQ((*pending)[1], "!\\??\\C:\\Windows\\System32\\widgetlib.dll");
    EXPECT_EQ(ReadFile((*pending)[0].substr(4)), ReadFile(kFixture + "/widgetlib.dll"));
}

TEST_F(DriverStore, WithoutForceOnlyANewerDriverReplacesTheInstalledOne) {
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, 0));
    ASSERT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");

    const std::string older = CopyPackage("C:\\old", "03/14/2024,2.1.0.7", "01/02/2023,1.0.0.0");
    SetLastError(kSentinel);
    EXPECT_FALSE(Install(kWidgetId, older, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    SetLastError(kSentinel);
    EXPECT_FALSE(Install(kWidgetId, kWidgetInf, 0));  // the same version
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(DriverValue(*node, "DriverVersion"), "2.1.0.7");

    ASSERT_TRUE(Install(kWidgetId, older, INSTALLFLAG_FORCE));
    EXPECT_EQ(DriverValue(*node, "DriverVersion"), "1.0.0.0");
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem1.inf");
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, 0));  // newer than what is installed now
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
}

TEST_F(DriverStore, InstallerRejectsBadArgumentsMissingFilesAndNonAdministrators) {
    Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    struct Case {
        const char* id;
        std::string inf;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {kWidgetId, kWidgetInf, 0x8, ERROR_INVALID_FLAGS},
        {nullptr, kWidgetInf, 0, ERROR_INVALID_PARAMETER},
        {kWidgetId, "C:\\nowhere\\widget.inf", INSTALLFLAG_FORCE, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(
            UpdateDriverForPlugAndPlayDevicesA(nullptr, c.id, c.inf.c_str(), c.flags, nullptr));
        EXPECT_EQ(GetLastError(), c.error) << c.inf;
    }
    const std::string broken = CopyPackage("C:\\broken");
    ASSERT_EQ(sim::files::RemoveFile("C:\\broken\\widget.ini"), 0u);
    SetLastError(kSentinel);
    EXPECT_FALSE(Install(kWidgetId, broken, INSTALLFLAG_FORCE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    sim::Settings().elevated = false;
    SetLastError(kSentinel);
    EXPECT_FALSE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::files::ListDirectory("C:\\Windows\\INF").empty());
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\System32\\drivers\\widget.sys"));
}

TEST_F(DriverStore, ArrivingDeviceGetsTheStagedPackage) {
    ASSERT_TRUE(Stage(kWidgetInf, SP_COPY_NOOVERWRITE));
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5679\\4&1A2B&0&00E8",
                                   {"PCI\\VEN_1234&DEV_5679"}, {}, sim::Presence::Arriving);
    sim::DeviceNode* stranger = Device("PCI\\VEN_9999&DEV_0001\\4&1A2B&0&00F8",
                                       {"PCI\\VEN_9999&DEV_0001"}, {}, sim::Presence::Arriving);
    sim::ReenumerateDevices(sim::RootDevice(), false);
    EXPECT_EQ(node->problem, 0u);
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
    EXPECT_EQ(DriverValue(*node, "DriverDesc"), "Sample PCI Bridge");
    EXPECT_EQ(ReadFile("C:\\Windows\\System32\\drivers\\widget.sys"),
              ReadFile(kFixture + "/widget.sys"));
    EXPECT_EQ(stranger->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
}

// A package that Windows staged, as a customer's machine brings it: the OEM copy and a store
// folder named by Windows's own hash, holding the INF and its files except `left out`.
void PlaceWindowsStagedWidget(const std::string& leftOut) {
    std::string inf;
    ASSERT_TRUE(sim::files::ReadWholeFile(kWidgetInf, inf));
    const std::string folder = std::string(kRepository) + "\\widget.inf_amd64_9e1f4c27d0b3a856";
    ASSERT_EQ(sim::files::CreateDirectories(folder), 0u);
    ASSERT_EQ(sim::files::CreateDirectories("C:\\Windows\\INF"), 0u);
    ASSERT_EQ(sim::files::WriteWholeFile("C:\\Windows\\INF\\oem4.inf", inf), 0u);
    ASSERT_EQ(sim::files::WriteWholeFile(folder + "\\widget.inf", inf), 0u);
    for (const char* name : {"widget.sys", "widgetlib.dll", "widget.ini"}) {
        std::string bytes;
        ASSERT_TRUE(sim::files::ReadWholeFile(kFixture + "/" + name, bytes));
        if (leftOut != name) {
            ASSERT_EQ(sim::files::WriteWholeFile(folder + "\\" + name, bytes), 0u);
        }
    }
}

TEST_F(DriverStore, ArrivingDeviceGetsAPackageThatWindowsStaged) {
    PlaceWindowsStagedWidget("");
    sim::DeviceNode* node =
        Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E8", {kWidgetId}, {}, sim::Presence::Arriving);
    sim::ReenumerateDevices(sim::RootDevice(), false);
    EXPECT_EQ(node->problem, 0u);
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem4.inf");
    EXPECT_EQ(ReadFile("C:\\Windows\\System32\\drivers\\widget.sys"),
              ReadFile(kFixture + "/widget.sys"));
}

TEST_F(DriverStore, ArrivalFromAPackageThatLacksAFileFailsAndTheJournalNamesTheFile) {
    PlaceWindowsStagedWidget("widgetlib.dll");
    sim::DeviceNode* node =
        Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E8", {kWidgetId}, {}, sim::Presence::Arriving);
    sim::ReenumerateDevices(sim::RootDevice(), false);
    EXPECT_EQ(node->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
    EXPECT_EQ(DriverValue(*node, "InfPath"), "(no driver key)");
    EXPECT_FALSE(sim::files::Exists("C:\\Windows\\System32\\drivers\\widget.sys"));
    const std::string expected =
        std::string(kRepository) + "\\widget.inf_amd64_9e1f4c27d0b3a856\\widgetlib.dll not found";
    bool named = false;
    for (const std::string& line : sim::JournalLines())
        named = named || (line.find("InstallDevice") != std::string::npos &&
                          line.find(expected) != std::string::npos);
    EXPECT_TRUE(named) << ::testing::PrintToString(sim::JournalLines());
}

// Removes the device through SetupAPI, as a program uninstalling it does.
void RemoveThroughSetupApi(const char* instanceId) {
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    bool removed = false;
    for (DWORD i = 0; !removed && SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char id[MAX_DEVICE_ID_LEN];
        if (SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr) &&
            std::strcmp(id, instanceId) == 0) {
            removed = SetupDiRemoveDevice(set, &data) != FALSE;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_TRUE(removed) << instanceId;
}

bool Located(const char* instanceId) {
    DEVINST dn = 0;
    return CM_Locate_DevNodeA(&dn, const_cast<char*>(instanceId), 0) == CR_SUCCESS;
}

TEST_F(DriverStore, ARemovedBoardStillPluggedInComesBackAtTheNextEnumerationWithItsDriver) {
    const char* const board = "PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0";
    const char* const madeBySoftware = "ROOT\\WIDGET\\0000";
    Device(board, {kWidgetId}, {"PCI\\CC_FF0001"});
    sim::SetProblem(*sim::FindDevice(board), 0);
    Device(madeBySoftware, {kWidgetId});
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE));
    RemoveThroughSetupApi(board);
    RemoveThroughSetupApi(madeBySoftware);
    EXPECT_FALSE(Located(board));
    EXPECT_EQ(sim::FindKey(sim::Hklm(), std::string(sim::kEnumKeyPath) + "\\" + board), nullptr);

    DEVINST root = 0;
    ASSERT_EQ(CM_Locate_DevNodeA(&root, nullptr, 0), CR_SUCCESS);
    ASSERT_EQ(CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL), CR_SUCCESS);
    ASSERT_TRUE(Located(board));
    sim::DeviceNode* node = sim::FindDevice(board);
    EXPECT_EQ(node->problem, 0u);
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
    EXPECT_EQ(sim::GetMultiStringValue(*sim::DeviceKey(*node), "CompatibleIDs"),
              std::vector<std::string>{"PCI\\CC_FF0001"});
    // No bus reports a node that software made.
    EXPECT_EQ(sim::FindDevice(madeBySoftware), nullptr);
}

TEST_F(DriverStore, ADeviceBelowAnAbsentParentGetsNoDriver) {
    Device("PCI\\VEN_8086&DEV_7000\\3&1&0&08", {"PCI\\VEN_8086&DEV_7000"});
    sim::DeviceSpec spec;
    spec.instanceId = "PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0";
    spec.parentId = "PCI\\VEN_8086&DEV_7000\\3&1&0&08";
    spec.hardwareIds = {kWidgetId};
    spec.problem = CM_PROB_FAILED_INSTALL;
    sim::DeviceNode* child = sim::AddDevice(spec);
    ASSERT_NE(child, nullptr);
    sim::SetPresence(*sim::FindDevice(spec.parentId), sim::Presence::Phantom);
    SetLastError(kSentinel);
    EXPECT_FALSE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE));
    EXPECT_EQ(GetLastError(), 0xE000020Bu);  // ERROR_NO_SUCH_DEVINST
    EXPECT_EQ(DriverValue(*child, "InfPath"), "(no driver key)");
}

TEST_F(DriverStore, AnUpdateLeavesADisabledDeviceDisabled) {
    sim::DeviceSpec spec;
    spec.instanceId = "PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0";
    spec.hardwareIds = {kWidgetId};
    spec.configFlags = 0x1;  // CONFIGFLAG_DISABLED
    spec.problem = CM_PROB_DISABLED;
    sim::DeviceNode* node = sim::AddDevice(spec);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(Install(kWidgetId, kWidgetInf, INSTALLFLAG_FORCE));
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
    EXPECT_EQ(node->problem, static_cast<ULONG>(CM_PROB_DISABLED));
    EXPECT_EQ(sim::GetDwordValue(*sim::DeviceKey(*node), "ConfigFlags"), 0x1u);
}

// ---- What re-enumeration knows of the store between retries
//
// The installer keeps what it read of the staged copies while they stay as they were; each
// case first lets a retry fail, so that knowledge exists, then changes the store behind it.

class StoreBetweenRetries : public DriverStore {
  protected:
    static void Retry() { sim::ReenumerateDevices(sim::RootDevice(), true); }
};

TEST_F(StoreBetweenRetries, APackageStagedAfterAFailedRetryServesTheNextOne) {
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    Retry();
    ASSERT_EQ(node->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
    ASSERT_TRUE(Stage(kWidgetInf, SP_COPY_NOOVERWRITE));
    Retry();
    EXPECT_EQ(node->problem, 0u);
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
}

TEST_F(StoreBetweenRetries, ACopyRewrittenInPlaceIsReadAgain) {
    // oem0.inf first serves another board; rewritten, it offers this one. (Its store folder
    // is named by the old content, so only the match is asked for here.)
    const std::string other =
        CopyPackage("C:\\pkg\\other", "PCI\\VEN_1234&DEV_5678", "PCI\\VEN_4321&DEV_0001");
    ASSERT_TRUE(Stage(other, SP_COPY_NOOVERWRITE));
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    Retry();
    ASSERT_EQ(node->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
    WriteFile("C:\\Windows\\INF\\oem0.inf", ReadFile(kWidgetInf));
    const std::vector<sim::store::StagedMatch> matches = sim::store::StagedMatches({kWidgetId});
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].package->name, "oem0.inf");
    EXPECT_EQ(matches[0].model->ids.front(), kWidgetId);
    EXPECT_EQ(matches[0].rank, 0u);
}

TEST_F(StoreBetweenRetries, ARemovedCopyNoLongerServes) {
    sim::DeviceNode* stranger =
        Device("PCI\\VEN_9999&DEV_0001\\4&1A2B&0&00F8", {"PCI\\VEN_9999&DEV_0001"});
    ASSERT_TRUE(Stage(kWidgetInf, SP_COPY_NOOVERWRITE));
    Retry();  // reads oem0.inf, which serves no node
    ASSERT_EQ(stranger->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
    ASSERT_TRUE(SetupUninstallOEMInfA("oem0.inf", 0, nullptr));
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    Retry();
    EXPECT_EQ(node->problem, static_cast<ULONG>(CM_PROB_FAILED_INSTALL));
    EXPECT_EQ(DriverValue(*node, "InfPath"), "(no driver key)");
}

TEST_F(StoreBetweenRetries, TheNewestPackageOfTheBestMatchWinsWhateverTheFolderOrder) {
    // oem0 matches by the compatible ID only, oem1 and oem2 by the hardware ID; oem2 is the
    // newest of those two, oem0 the newest of all.
    const std::string compatible = CopyPackage(
        "C:\\pkg\\compat", "DriverVer   = 03/14/2024,2.1.0.7", "DriverVer = 01/01/2030,9.0.0.0");
    ASSERT_TRUE(Stage(compatible, SP_COPY_NOOVERWRITE));  // oem0
    WriteFile("C:\\Windows\\INF\\oem0.inf", [&] {
        std::string inf = ReadFile("C:\\Windows\\INF\\oem0.inf");
        inf.replace(inf.find("PCI\\VEN_1234&DEV_5678"), 21, "PCI\\VEN_1234&DEV_ABCD");
        return inf;
    }());
    const std::string older =
        CopyPackage("C:\\pkg\\older", "03/14/2024,2.1.0.7", "03/14/2024,2.1.0.6");
    ASSERT_TRUE(Stage(older, SP_COPY_NOOVERWRITE));       // oem1
    ASSERT_TRUE(Stage(kWidgetInf, SP_COPY_NOOVERWRITE));  // oem2, 2.1.0.7
    sim::DeviceNode* node =
        Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId}, {"PCI\\CC_FF0001"});
    Retry();
    EXPECT_EQ(node->problem, 0u);
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem2.inf");
    EXPECT_EQ(DriverValue(*node, "MatchingDeviceId"), "pci\\ven_1234&dev_5678");
}

// ---- The library

TEST_F(DriverStore, NewdevIsLoadedByNameAndItsEntryPointInstalls) {
    sim::DeviceNode* node = Device("PCI\\VEN_1234&DEV_5678\\4&1A2B&0&00E0", {kWidgetId});
    HMODULE newdev = LoadLibraryA("newdev.dll");
    ASSERT_NE(newdev, nullptr);
    auto update = reinterpret_cast<decltype(&UpdateDriverForPlugAndPlayDevicesA)>(
        reinterpret_cast<void*>(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA")));
    ASSERT_NE(update, nullptr);
    EXPECT_TRUE(update(nullptr, kWidgetId, kWidgetInf.c_str(), INSTALLFLAG_FORCE, nullptr));
    EXPECT_EQ(DriverValue(*node, "InfPath"), "oem0.inf");
    EXPECT_TRUE(FreeLibrary(newdev));
}

TEST_F(DriverStore, MissingNewdevIsReachedThroughAFaultOnLoadLibrary) {
    sim::Faults().push_back(sim::Fault{"LoadLibraryA", "newdev.dll", 0, 0, ERROR_MOD_NOT_FOUND});
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryA("newdev.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(sim::LibraryLoadCount("newdev.dll"), 0u);
}

}  // namespace

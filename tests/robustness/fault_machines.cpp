#include "fault_machines.h"

#include "boardkit/operations.h"
#include "legacy/legacy_machine.h"
#include "sample_machine.h"
#include "uninstall/uninstall_machine.h"

namespace robustness {

const char* const kDemoInf = legacy_test::kDemoInf;
const char* const kIsaInf = legacy_test::kIsaInf;
const char* const kPxInf = "C:\\Drivers\\PX1001\\TolPx10s.inf";
const char* const kListFile = "C:\\Users\\Public\\boards.txt";

namespace {

const char* const kPxId = "PCI\\VEN_5AE3&DEV_1001";
const std::set<int> kActionCodes = {0, 2};
const std::set<int> kAnswerCodes = {16, 17};

void PutPackage(const std::string& inf, const std::string& id, const std::string& service,
                const std::string& sys, const std::string& version) {
    ASSERT_TRUE(tools::AddBoardPackage(inf, id, service, sys, version));
}

// An older version of the PX-1001 package staged into the driver store.
void StageOldPx(const std::string& folder, const std::string& version) {
    const std::string inf = folder + "\\TolPx10s.inf";
    PutPackage(inf, kPxId, "TolPx10S", "TolPx10s.sys", version);
    char name[MAX_PATH] = {};
    EXPECT_TRUE(SetupCopyOEMInfA(inf.c_str(), nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, name,
                                 MAX_PATH, nullptr, nullptr))
        << folder;
}

void Sample() {
    ASSERT_TRUE(tools::BuildSampleMachine());
}

// The sample machine with the folder a setup program asks for its list in.
void SampleForLists() {
    Sample();
    ASSERT_EQ(sim::files::CreateDirectories("C:\\Users\\Public"), 0u);
}

void SampleWithPackages() {
    Sample();
    legacy_test::InstallPackages();
    PutPackage(kPxInf, kPxId, "TolPx10S", "TolPx10s.sys", "2.0.0.0");
}

// Three records of the PX-1001 driver around the sample's demo record, each with its entry.
void SampleWithPxRecords() {
    Sample();
    for (unsigned n : {2u, 3u}) {
        config_test::Record(
            n, {tools::DwordValue("ProductID", 0x0101), tools::DwordValue("BusNumber", 9),
                tools::DwordValue("SlotNumber", n), tools::StringValue("KernelKey", "TolPx10S")});
        config_test::MapValue(n);
    }
}

void DriverFiles(const std::string& sys, const std::string& dll, const std::string& cfg) {
    EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\drivers\\" + sys, "sys"));
    EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\" + dll, "dll"));
    EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\" + cfg, "cfg"));
}

// Two demo boards with records, installed from one copy, another copy that names DEMO, the
// driver files, a pre-install record and an alias record for the final sweep.
void DemoDriverMachine() {
    EXPECT_NE(tools::AddDemoBoard(7, "oem3.inf"), "");
    EXPECT_NE(tools::AddDemoBoard(8, "oem3.inf"), "");
    uninstall_test::DemoRecord(4, 7);
    uninstall_test::DemoRecord(5, 8);
    config_test::Record(9,
                        {tools::StringValue("KernelKey", "Other"), tools::DwordValue("Alias", 1)});
    EXPECT_TRUE(tools::AddOemInfCopy("oem3.inf", "[Models]\nDEMO\n"));
    EXPECT_TRUE(tools::AddOemInfCopy("oem5.inf", "another package that names DEMO too\n"));
    DriverFiles("TolDemos.sys", "TolDemo.dll", "TolDemoCFG.dll");
    ASSERT_TRUE(tools::AddPreinstallRecord("TolDemo", "TolDemos.inf"));
}

// Two legacy boards installed from one copy, a record of their driver, the driver files.
void IsaDriverMachine() {
    EXPECT_NE(tools::AddDemoBoard(3, "oem6.inf", {"IX104"}), "");
    EXPECT_NE(tools::AddDemoBoard(4, "oem6.inf", {"IX108"}), "");
    config_test::Record(
        2, {tools::DwordValue("ProductID", 0x0701), tools::StringValue("KernelKey", "TolIx10S")});
    config_test::MapValue(2);
    EXPECT_TRUE(tools::AddOemInfCopy("oem6.inf", "[Models]\nIX104\nIX108\n"));
    DriverFiles("TolIx10s.sys", "TolIx10.dll", "TolIx10CFG.dll");
}

SweepCase Case(const std::string& name, std::function<void()> build, std::vector<std::string> words,
               std::set<int> codes) {
    return {{name, std::move(build), std::move(words)}, std::move(codes)};
}

}  // namespace

std::vector<SweepCase> SetupCases() {
    const std::string ua08Inf = "C:\\Drivers\\UA1008\\TolUa08s.inf";
    const std::string ua10Inf = "C:\\Drivers\\UA1016\\TolUa10s.inf";
    return {
        Case(
            "InstallDemoDevice",
            [] {
                SampleWithPackages();
                config_test::Record(9, {tools::DwordValue("Alias", 1)});
            },
            {"InstallDemoDevice", kDemoInf}, kActionCodes),
        Case("InstallDriver", SampleWithPackages, {"InstallDriver", kPxInf, kPxId}, kActionCodes),
        Case("UpdateDriver", SampleWithPackages, {"UpdateDriver", kPxInf, kPxId}, kActionCodes),
        Case(
            "UpdateNewDriver present board",
            [] {
                SampleWithPackages();
                StageOldPx("C:\\Drivers\\old1", "1.0.0.0");
                StageOldPx("C:\\Drivers\\old2", "1.5.0.0");
                ASSERT_TRUE(tools::AddPreinstallRecord("TolPx10", "TolPx10s.inf"));
            },
            {"UpdateNewDriver", kPxInf, kPxId}, kActionCodes),
        Case(
            "UpdateNewDriver remembered absent board",
            [ua08Inf] {
                Sample();
                EXPECT_NE(tools::AddBoard({"USB\\VID_2E5B&PID_1008\\6&1&0&2",
                                           {"USB\\VID_2E5B&PID_1008"},
                                           sim::Presence::Phantom}),
                          nullptr);
                EXPECT_NE(tools::AddBoard({"USB\\VID_2E5B&PID_1008\\6&1&0&3",
                                           {"USB\\VID_2E5B&PID_1008"},
                                           sim::Presence::Phantom}),
                          nullptr);
                PutPackage(ua08Inf, "USB\\VID_2E5B&PID_1008", "TolUa08S", "TolUa08s.sys",
                           "3.0.0.0");
            },
            {"UpdateNewDriver", ua08Inf, "USB\\VID_2E5B&PID_1008"}, kActionCodes),
        Case(
            "UpdateNewDriver board never seen",
            [ua10Inf] {
                Sample();
                PutPackage(ua10Inf, "USB\\VID_2E5B&PID_1016", "TolUa10S", "TolUa10s.sys",
                           "3.0.0.0");
            },
            {"UpdateNewDriver", ua10Inf, "USB\\VID_2E5B&PID_1016"}, kActionCodes),
        Case(
            "RefreshDevices",
            [] {
                Sample();
                EXPECT_NE(tools::AddBoard({"PCI\\VEN_5AE3&DEV_1001\\4&1A2B3C4D&0&0028",
                                           {kPxId},
                                           sim::Presence::Arriving}),
                          nullptr);
            },
            {"RefreshDevices"}, kActionCodes),
        Case(
            "IsDeviceUsing",
            [] {
                Sample();
                EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\system32\\TolPx10.dll",
                                                    "64-bit library"));
                EXPECT_TRUE(tools::WriteMachineFile("C:\\Windows\\SysWOW64\\TolPx10.dll",
                                                    "32-bit library"));
            },
            {"IsDeviceUsing", kPxId}, kAnswerCodes),
    };
}

std::vector<SweepCase> ConfigCases() {
    return {
        Case("RemoveConfigurationByKernelKey", SampleWithPxRecords,
             {"RemoveConfigurationByKernelKey", "TolPx10S"}, kActionCodes),
        Case("RemoveConfigurationByProductID", SampleWithPxRecords,
             {"RemoveConfigurationByProductID", "101"}, kActionCodes),
        Case("RemoveConfigurationByDeviceNum", Sample, {"RemoveConfigurationByDeviceNum", "1"},
             kActionCodes),
        Case(
            "GetDeviceInstalledList",
            [] {
                SampleWithPxRecords();
                ASSERT_EQ(sim::files::CreateDirectories("C:\\Users\\Public"), 0u);
                ASSERT_TRUE(tools::AddPreinstallRecord("TolUa08", "TolUa08s.inf"));
            },
            {"GetDeviceInstalledList", kListFile}, kAnswerCodes),
        Case(
            "GetDevicePreinstalledList",
            [] {
                SampleForLists();
                ASSERT_TRUE(tools::AddPreinstallRecord("TolUa08", "TolUa08s.inf"));
                ASSERT_TRUE(tools::AddPreinstallRecord("TolPx10", "TolPx10s.inf"));
            },
            {"GetDevicePreinstalledList", kListFile}, kAnswerCodes),
        Case("GetDeviceExistNotInstalledList", SampleForLists,
             {"GetDeviceExistNotInstalledList", kListFile}, kAnswerCodes),
        Case("EnableOrDisableDevice disable", Sample, {"EnableOrDisableDevice", "0", "1"},
             kActionCodes),
        Case(
            "EnableOrDisableDevice enable",
            [] {
                Sample();
                int reboot = 0;
                ASSERT_EQ(EnableOrDisableDevice(0, 1, &reboot), 0);
            },
            {"EnableOrDisableDevice", "1", "1"}, kActionCodes),
        Case("UnloadDevice", Sample, {"UnloadDevice", "1"}, kActionCodes),
        Case("RemoveDevice with a device number", Sample, {"RemoveDevice", kPxId, "0"},
             kActionCodes),
        Case("KillBoardkitAPTimer", Sample, {"KillBoardkitAPTimer", "1"}, {0}),
        Case("EliminateInstalldevIconinSystemTrayTimer", Sample,
             {"EliminateInstalldevIconinSystemTrayTimer", "1"}, {0}),
    };
}

std::vector<SweepCase> UninstallCases() {
    return {
        Case("UninstallDriver", DemoDriverMachine, {"UninstallDriver", "TolDemoS"}, kActionCodes),
        Case("RemoveDevice", Sample, {"RemoveDevice", kPxId}, kActionCodes),
        Case("UninstallNonePnpDriver", IsaDriverMachine,
             {"UninstallNonePnpDriver", kIsaInf, "IX10"}, kActionCodes),
        Case("InstallIsaDevicePnp", SampleWithPackages, {"InstallIsaDevicePnp", kIsaInf, "IX104"},
             kActionCodes),
        Case(
            "UpdateIsaDriver",
            [] {
                SampleWithPackages();
                EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0007", {"IX104"}}), nullptr);
                EXPECT_NE(tools::AddBoard({"ROOT\\TOLBOARDS\\0008", {"IX108"}}), nullptr);
            },
            {"UpdateIsaDriver", kIsaInf, "IX10"}, kActionCodes),
    };
}

std::vector<SweepCase> FrontEndCases() {
    return {Case("InstallCertificate", Sample, {"InstallCertificate"}, kActionCodes)};
}

}  // namespace robustness

// Enabling and disabling devices through property changes, and the install parameters of
// device information elements, against SetupAPI's documented contract.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "choke.h"
#include "devices.h"
#include "file_system.h"
#include "machine.h"
#include "platform/win32.h"
#include "registry_tree.h"
#include "resources_alloc.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
const char* const kBoard = "PCI\\VEN_5AE3&DEV_0001\\3&11583659&0&10";
const char* const kOtherBoard = "PCI\\VEN_5AE3&DEV_0002\\3&11583659&0&18";
const char* const kDriverImage = "C:\\Windows\\System32\\drivers\\tolpci.sys";

class DeviceState : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::ResetToEmpty();
        for (const char* id : {kBoard, kOtherBoard}) {
            sim::DeviceSpec spec;
            spec.instanceId = id;
            spec.hardwareIds = {std::string(id).substr(0, std::string(id).rfind('\\'))};
            spec.classGuid = "{3d5a1c7e-94b2-4f08-a6c3-1e7d2b9f5048}";
            spec.service = "TolPci";
            ASSERT_NE(sim::AddDevice(spec), nullptr);
        }
        sim::SetNodeResources(*sim::FindDevice(kBoard), {{ResType_IO, 0x300, 0x31F}});
        set_ = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        board_ = Element(0);
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        sim::files::ReleaseAllFiles();
        sim::ResetToEmpty();
    }

    SP_DEVINFO_DATA Element(DWORD index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        EXPECT_TRUE(SetupDiEnumDeviceInfo(set_, index, &data));
        return data;
    }
    static SP_PROPCHANGE_PARAMS Change(DWORD state, DWORD scope) {
        SP_PROPCHANGE_PARAMS p{};
        p.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        p.ClassInstallHeader.InstallFunction = 0x12;  // DIF_PROPERTYCHANGE
        p.StateChange = state;
        p.Scope = scope;
        return p;
    }
    BOOL Apply(DWORD state, DWORD scope, SP_DEVINFO_DATA* element = nullptr) {
        SP_DEVINFO_DATA* target = element != nullptr ? element : &board_;
        SP_PROPCHANGE_PARAMS p = Change(state, scope);
        if (!SetupDiSetClassInstallParamsA(set_, target, &p.ClassInstallHeader, sizeof p)) {
            return FALSE;
        }
        return SetupDiChangeState(set_, target);
    }
    static ULONG Problem(const char* id) {
        ULONG status = 0, problem = kSentinel;
        EXPECT_EQ(CM_Get_DevNode_Status(&status, &problem, sim::FindDevice(id)->devInst, 0),
                  CR_SUCCESS);
        return (status & DN_HAS_PROBLEM) != 0 ? problem : 0;
    }
    static CONFIGRET AllocConf(const char* id) {
        LOG_CONF conf = 0;
        CONFIGRET cr = CM_Get_First_Log_Conf(&conf, sim::FindDevice(id)->devInst, ALLOC_LOG_CONF);
        if (cr == CR_SUCCESS) {
            CM_Free_Log_Conf_Handle(conf);
        }
        return cr;
    }
    DWORD InstallFlags(SP_DEVINFO_DATA& element) {
        SP_DEVINSTALL_PARAMS_A params{};
        params.cbSize = sizeof params;
        EXPECT_TRUE(SetupDiGetDeviceInstallParamsA(set_, &element, &params));
        return params.Flags;
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA board_{};
};

TEST_F(DeviceState, DisablingInTheProfileGivesProblem22AndReleasesTheResources) {
    ASSERT_EQ(AllocConf(kBoard), CR_SUCCESS);
    EXPECT_TRUE(Apply(2, 2));  // DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC
    EXPECT_EQ(Problem(kBoard), 22u);
    EXPECT_EQ(AllocConf(kBoard), 0x0Eu);  // CR_NO_MORE_LOG_CONF
    EXPECT_EQ(Problem(kOtherBoard), 0u);

    EXPECT_TRUE(Apply(1, 2));  // DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC
    EXPECT_EQ(Problem(kBoard), 0u);
    EXPECT_EQ(AllocConf(kBoard), CR_SUCCESS);
}

TEST_F(DeviceState, AGlobalDisableOutlastsTheProfileEnableUntilItIsLifted) {
    EXPECT_TRUE(Apply(2, 1));  // DICS_DISABLE, DICS_FLAG_GLOBAL
    EXPECT_EQ(Problem(kBoard), 22u);
    EXPECT_EQ(
        sim::GetDwordValue(*sim::DeviceKey(*sim::FindDevice(kBoard)), "ConfigFlags").value_or(0) &
            1u,
        1u);  // CONFIGFLAG_DISABLED
    EXPECT_TRUE(Apply(1, 2));
    EXPECT_EQ(Problem(kBoard), 22u);
    EXPECT_TRUE(Apply(1, 1));
    EXPECT_EQ(Problem(kBoard), 0u);
}

TEST_F(DeviceState, ChangesAreJournaledWithTheirScope) {
    EXPECT_TRUE(Apply(2, 2));
    const auto& lines = sim::JournalLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("SetupDiChangeState"), std::string::npos);
    EXPECT_NE(lines.back().find("disable configspecific"), std::string::npos);
}

TEST_F(DeviceState, AHeldDriverFileAsksForARestartAndKeepsTheDeviceRunning) {
    sim::RegKey& service =
        sim::CreateKey(sim::Hklm(), "SYSTEM\\CurrentControlSet\\Services\\TolPci");
    sim::SetStringValue(service, "ImagePath", "\\SystemRoot\\System32\\drivers\\tolpci.sys",
                        REG_EXPAND_SZ);
    ASSERT_EQ(sim::files::CreateDirectories("C:\\Windows\\System32\\drivers"), 0u);
    ASSERT_EQ(sim::files::WriteWholeFile(kDriverImage, "MZ"), 0u);
    sim::files::HoldFile(kDriverImage, 1234);
    EXPECT_EQ(InstallFlags(board_) & DI_NEEDRESTART, 0u);
    EXPECT_TRUE(Apply(2, 2));
    EXPECT_NE(InstallFlags(board_) & 0x80u, 0u);  // DI_NEEDRESTART
    EXPECT_EQ(Problem(kBoard), 0u);

    // Once nothing holds the driver, the same change takes effect at once.
    sim::files::ReleaseAllFiles();
    SP_DEVINFO_DATA other = Element(1);
    EXPECT_TRUE(Apply(2, 2, &other));
    EXPECT_EQ(InstallFlags(other) & 0x80u, 0u);
    EXPECT_EQ(Problem(kOtherBoard), 22u);
}

TEST_F(DeviceState, ChangeStateWithoutParametersFailsAndChangesNothing) {
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiChangeState(set_, &board_));
    EXPECT_EQ(GetLastError(), 0xE0000215u);  // ERROR_NO_CLASSINSTALL_PARAMS
    EXPECT_EQ(Problem(kBoard), 0u);

    // Clearing the parameters with a null header takes them away again.
    SP_PROPCHANGE_PARAMS p = Change(2, 2);
    ASSERT_TRUE(SetupDiSetClassInstallParamsA(set_, &board_, &p.ClassInstallHeader, sizeof p));
    ASSERT_TRUE(SetupDiSetClassInstallParamsA(set_, &board_, nullptr, 0));
    EXPECT_FALSE(SetupDiChangeState(set_, &board_));
    EXPECT_EQ(Problem(kBoard), 0u);
}

TEST_F(DeviceState, ClassInstallParametersAreCheckedBeforeTheyAreKept) {
    SP_PROPCHANGE_PARAMS p = Change(2, 2);
    p.ClassInstallHeader.cbSize = sizeof p;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &board_, &p.ClassInstallHeader, sizeof p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

    p = Change(2, 2);
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &board_, &p.ClassInstallHeader, 16));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    p = Change(2, 8);
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &board_, &p.ClassInstallHeader, sizeof p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

    p = Change(9, 2);
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &board_, &p.ClassInstallHeader, sizeof p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

    // None of the refused calls left parameters behind.
    EXPECT_FALSE(SetupDiChangeState(set_, &board_));
    EXPECT_EQ(InstallFlags(board_) & 0x00100000u, 0u);  // DI_CLASSINSTALLPARAMS
    p = Change(2, 2);
    EXPECT_TRUE(SetupDiSetClassInstallParamsA(set_, &board_, &p.ClassInstallHeader, sizeof p));
    EXPECT_NE(InstallFlags(board_) & 0x00100000u, 0u);
}

TEST_F(DeviceState, WithoutAdministratorRightsTheStateStays) {
    sim::Settings().elevated = false;
    SetLastError(kSentinel);
    EXPECT_FALSE(Apply(2, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    sim::Settings().elevated = true;
    EXPECT_EQ(Problem(kBoard), 0u);
}

TEST_F(DeviceState, AnInjectedFaultFailsTheChangeWithItsCode) {
    sim::Faults().push_back({"SetupDiChangeState", "", 0, 0, ERROR_GEN_FAILURE, 0});
    SetLastError(kSentinel);
    EXPECT_FALSE(Apply(2, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(Problem(kBoard), 0u);
}

TEST_F(DeviceState, InstallParametersBelongToOneElement) {
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof params;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set_, &board_, &params));
    params.Flags |= 0x00010000 | 0x00000200;  // DI_ENUMSINGLEINF | DI_NOBROWSE
    params.FlagsEx |= 0x00000800;             // DI_FLAGSEX_ALLOWEXCLUDEDDRVS
    std::strcpy(params.DriverPath, "C:\\Drivers\\tolpci.inf");
    ASSERT_TRUE(SetupDiSetDeviceInstallParamsA(set_, &board_, &params));

    SP_DEVINSTALL_PARAMS_A back{};
    back.cbSize = sizeof back;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set_, &board_, &back));
    EXPECT_EQ(back.Flags, 0x00010200u);
    EXPECT_EQ(back.FlagsEx, 0x00000800u);
    EXPECT_STREQ(back.DriverPath, "C:\\Drivers\\tolpci.inf");

    SP_DEVINFO_DATA other = Element(1);
    SP_DEVINSTALL_PARAMS_A untouched{};
    untouched.cbSize = sizeof untouched;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set_, &other, &untouched));
    EXPECT_EQ(untouched.Flags, 0u);
    EXPECT_STREQ(untouched.DriverPath, "");
}

TEST_F(DeviceState, InstallParametersRefuseWrongSizesAndUnterminatedPaths) {
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof params - 4;
    params.Flags = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceInstallParamsA(set_, &board_, &params));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(params.Flags, kSentinel);

    params.cbSize = sizeof params;
    params.Flags = 0x80;
    std::memset(params.DriverPath, 'x', sizeof params.DriverPath);
    EXPECT_FALSE(SetupDiSetDeviceInstallParamsA(set_, &board_, &params));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(InstallFlags(board_), 0u);

    EXPECT_FALSE(SetupDiGetDeviceInstallParamsA(set_, &board_, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(DeviceState, ARemovedNodeTakesItsResourcesAlong) {
    EXPECT_TRUE(SetupDiRemoveDevice(set_, &board_));
    EXPECT_EQ(sim::FindDevice(kBoard), nullptr);
    sim::DeviceSpec spec;
    spec.instanceId = kBoard;
    ASSERT_NE(sim::AddDevice(spec), nullptr);
    EXPECT_TRUE(sim::NodeResources(*sim::FindDevice(kBoard)).empty());
}

}  // namespace

// sim's node creation and driver selection checked against the SetupAPI contract: results,
// exact error codes, and out-parameters left alone by a failed call.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "legacy/legacy_machine.h"
#include "sim/modules.h"

namespace {

using legacy_test::kIsaInf;

class DeviceCreation : public setup_test::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        legacy_test::InstallPackages();
    }
};

TEST_F(DeviceCreation, TheInfClassComesFromVersion) {
    GUID guid = {};
    char name[32];
    DWORD required = 0;
    ASSERT_TRUE(SetupDiGetINFClassA(kIsaInf, &guid, name, sizeof name, &required));
    EXPECT_STREQ(name, "TolBoards");
    EXPECT_EQ(required, 10u);
    EXPECT_EQ(guid.Data1, 0x3D5A1C7Eu);
    EXPECT_EQ(guid.Data4[7], 0x48);
}

TEST_F(DeviceCreation, ATooSmallNameBufferReportsTheSizeAndKeepsTheOutputs) {
    GUID guid = {};
    guid.Data1 = 0xdeadbeef;
    char name[4] = "xyz";
    DWORD required = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetINFClassA(kIsaInf, &guid, name, sizeof name, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 10u);
    EXPECT_STREQ(name, "xyz");
    EXPECT_EQ(guid.Data1, 0xdeadbeefu);
}

TEST_F(DeviceCreation, AnInfWithoutClassOrFileFails) {
    ASSERT_TRUE(tools::WriteMachineFile("C:\\Drivers\\x.inf",
                                        "[Version]\r\nSignature=\"$Windows NT$\"\r\n"));
    GUID guid = {};
    char name[32] = "";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetINFClassA("C:\\Drivers\\x.inf", &guid, name, sizeof name, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CLASS));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetINFClassA("C:\\Drivers\\none.inf", &guid, name, sizeof name, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(DeviceCreation, AFailingListCreationGivesAnInvalidHandle) {
    tools::FailCall("SetupDiCreateDeviceInfoList", "", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetupDiCreateDeviceInfoList(nullptr, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

// A registered root node of the packages' class, with the given hardware ID.
struct Node {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data = {};
    explicit Node(const char* id) {
        GUID guid = {};
        char name[32];
        EXPECT_TRUE(SetupDiGetINFClassA(kIsaInf, &guid, name, sizeof name, nullptr));
        set = SetupDiCreateDeviceInfoList(&guid, nullptr);
        data.cbSize = sizeof data;
        EXPECT_TRUE(
            SetupDiCreateDeviceInfoA(set, name, &guid, nullptr, nullptr, DICD_GENERATE_ID, &data));
        char ids[32] = {};
        std::strcpy(ids, id);
        EXPECT_TRUE(SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID,
                                                      reinterpret_cast<BYTE*>(ids),
                                                      static_cast<DWORD>(std::strlen(id) + 2)));
        EXPECT_TRUE(SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr));
    }
    ~Node() { SetupDiDestroyDeviceInfoList(set); }
    void PointAtInf(const char* inf) {
        SP_DEVINSTALL_PARAMS_A params = {};
        params.cbSize = sizeof params;
        ASSERT_TRUE(SetupDiGetDeviceInstallParamsA(set, &data, &params));
        params.Flags |= DI_ENUMSINGLEINF;
        std::strcpy(params.DriverPath, inf);
        ASSERT_TRUE(SetupDiSetDeviceInstallParamsA(set, &data, &params));
    }
};

TEST_F(DeviceCreation, NoDriverIsSelectedBeforeTheClassInstallerChooses) {
    Node node("IX108");
    node.PointAtInf(kIsaInf);
    ASSERT_TRUE(SetupDiBuildDriverInfoList(node.set, &node.data, SPDIT_COMPATDRIVER));
    SP_DRVINFO_DATA_V2_A driver = {};
    driver.cbSize = sizeof driver;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetSelectedDriverA(node.set, &node.data, &driver));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DRIVER_SELECTED));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, node.set, &node.data));
    driver.cbSize = sizeof driver - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetSelectedDriverA(node.set, &node.data, &driver));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    driver.cbSize = sizeof driver;
    ASSERT_TRUE(SetupDiGetSelectedDriverA(node.set, &node.data, &driver));
    EXPECT_STREQ(driver.Description, "Tolvan IX-108");
    EXPECT_STREQ(driver.ProviderName, "Tolvan Test Boards");
    EXPECT_EQ(driver.DriverType, static_cast<DWORD>(SPDIT_COMPATDRIVER));
    EXPECT_EQ(driver.DriverVersion, 0x0003000000010000ull);
}

TEST_F(DeviceCreation, ANodeNoModelServesHasNoCompatibleDriver) {
    Node node("PCL818L");
    node.PointAtInf(kIsaInf);
    ASSERT_TRUE(SetupDiBuildDriverInfoList(node.set, &node.data, SPDIT_COMPATDRIVER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, node.set, &node.data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_COMPAT_DRIVERS));
}

TEST_F(DeviceCreation, InstallSelectedDriverNeedsASelectedDevice) {
    Node node("IX108");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InstallSelectedDriver(nullptr, node.set, nullptr, TRUE, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DEVICE_SELECTED));
    ASSERT_TRUE(SetupDiSetSelectedDevice(node.set, &node.data));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InstallSelectedDriver(nullptr, node.set, nullptr, TRUE, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DRIVER_SELECTED));
}

}  // namespace

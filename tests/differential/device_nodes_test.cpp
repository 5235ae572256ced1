// A root-enumerated device node made, read and removed through SetupAPI on both platforms, and
// the state it leaves where Windows keeps it: the node's Enum key and its values.
#include <string>

#include "differential.h"

namespace {

using differential::kSentinel;
using differential::OnWine;

// A class of this check's own, so that no device of the machine is touched.
const GUID kDiffClass = {
    0x2c84e1f0, 0x7a1b, 0x4e55, {0x8d, 0x03, 0x6e, 0x91, 0xb2, 0x4f, 0x0a, 0x3c}};
const char kDiffClassText[] = "{2C84E1F0-7A1B-4E55-8D03-6E91B24F0A3C}";
const char kHardwareIds[] = "ROOT\\BKDIFFNODE\0";
const char kCompatibleIds[] = "Init 0300 0010 05\0BKDIFF\0";
const char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\BKDIFFNODE\\0000";

void RemoveDiffDevices() {
    HDEVINFO set = SetupDiGetClassDevsA(&kDiffClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        SetupDiRemoveDevice(set, &data);
    }
    SetupDiDestroyDeviceInfoList(set);
}

// The value `name` of the node's Enum key: its type and bytes, or type 0 when absent.
std::string EnumValue(const char* name, DWORD* type) {
    *type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::string();
    }
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    LONG status =
        RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        *type = 0;
        return std::string();
    }
    return std::string(buffer, size);
}

class DeviceNode : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveDiffDevices();
        set_ = SetupDiCreateDeviceInfoList(&kDiffClass, nullptr);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        data_.cbSize = sizeof data_;
        ASSERT_TRUE(SetupDiCreateDeviceInfoA(set_, "BkDiffNode", &kDiffClass, nullptr, nullptr,
                                             DICD_GENERATE_ID, &data_))
            << GetLastError();
        SetMulti(SPDRP_HARDWAREID, kHardwareIds, sizeof kHardwareIds);
        SetMulti(SPDRP_COMPATIBLEIDS, kCompatibleIds, sizeof kCompatibleIds);
        ASSERT_TRUE(SetupDiRegisterDeviceInfo(set_, &data_, 0, nullptr, nullptr, nullptr))
            << GetLastError();
    }
    void TearDown() override {
        SetupDiDestroyDeviceInfoList(set_);
        RemoveDiffDevices();
    }
    void SetMulti(DWORD property, const char* list, DWORD size) {
        ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set_, &data_, property,
                                                      reinterpret_cast<const BYTE*>(list), size))
            << GetLastError();
    }
    HDEVINFO set_ = nullptr;
    SP_DEVINFO_DATA data_ = {};
};

TEST_F(DeviceNode, EnumKeyHoldsTheIdListsAndTheClass) {
    DWORD type = 0;
    EXPECT_EQ(EnumValue("HardwareID", &type), std::string(kHardwareIds, sizeof kHardwareIds));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(EnumValue("CompatibleIDs", &type),
              std::string(kCompatibleIds, sizeof kCompatibleIds));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::string guid = EnumValue("ClassGUID", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(differential::Lower(guid.c_str()), differential::Lower(kDiffClassText));
}

TEST_F(DeviceNode, ClassPropertyReadsAsTheGuidText) {
    char buffer[64] = {};
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_CLASSGUID, &type,
                                                  reinterpret_cast<BYTE*>(buffer), sizeof buffer,
                                                  &size))
        << GetLastError();
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof kDiffClassText);
    EXPECT_EQ(differential::Lower(buffer), differential::Lower(kDiffClassText));
}

TEST_F(DeviceNode, PropertyNeverSetIsInvalidDataAndLeavesTheBuffer) {
    char buffer[16] = "untouched";
    DWORD size = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_LOCATION_INFORMATION,
                                                   nullptr, reinterpret_cast<BYTE*>(buffer),
                                                   sizeof buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_STREQ(buffer, "untouched");
}

TEST_F(DeviceNode, HardwareIdBufferTooSmallGivesTheFullSize) {
    char small[4] = {};
    DWORD size = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &data_, SPDRP_HARDWAREID, nullptr,
                                                   reinterpret_cast<BYTE*>(small), sizeof small,
                                                   &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, sizeof kHardwareIds);
}

TEST_F(DeviceNode, RemovalDeletesTheEnumKey) {
    SetLastError(kSentinel);
    ASSERT_TRUE(SetupDiRemoveDevice(set_, &data_)) << GetLastError();
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(DeviceNode, TreeRootIsLocated) {
    DEVINST root = 0;
    const CONFIGRET status = CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    EXPECT_WINE_DIFFERS(status, static_cast<CONFIGRET>(CR_SUCCESS),
                        static_cast<CONFIGRET>(CR_FAILURE),
                        "Wine's Configuration Manager has no device tree to walk");
}

}  // namespace
